#include "platform/registry/HiveText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace showsaver::registry {

namespace {

constexpr std::string_view kVersionLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kDwordPrefix = "dword:";

char FoldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Eight bytes with A-Z turned to a-z, all at once.
uint64_t FoldCase8(uint64_t bytes)
{
    constexpr uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    uint64_t low7 = bytes & ~highs;
    uint64_t atLeastA = low7 + (0x80 - 'A') * ones;   // high bit set where the byte's low 7 bits >= 'A'
    uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * ones;
    uint64_t upper = atLeastA & ~aboveZ & ~bytes & highs;
    return bytes | (upper >> 2);
}

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

// Length of the well-formed UTF-8 sequence starting at `at`, or 0 when the bytes there
// are not one (stray continuation bytes, overlong forms, surrogates, beyond U+10FFFF).
size_t Utf8SequenceLength(std::string_view text, size_t at)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xbf;   // allowed range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    }
    return length;
}

bool IsValidKeyComponent(std::string_view component)
{
    for (size_t i = 0; i < component.size();) {
        size_t length = Utf8SequenceLength(component, i);
        if (length == 0 || IsControl(static_cast<unsigned char>(component[i])))
            return false;
        i += length;
    }
    return true;
}

std::string_view Trim(std::string_view text)
{
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Where the next '"' or '\\' is in `text` from `at` on, or its size: sixteen bytes
// at a time, as most of a hive's bytes are inside quotes.
size_t FindQuoteOrEscape(std::string_view text, size_t at)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), escape = _mm_set1_epi8('\\');
    for (; at + 16 <= text.size(); at += 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        auto found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, quote), _mm_cmpeq_epi8(block, escape))));
        if (found != 0)
            return at + static_cast<size_t>(std::countr_zero(found));
    }
#endif
    while (at < text.size() && text[at] != '"' && text[at] != '\\')
        ++at;
    return at;
}

// How many of the bytes of `text` are `a` and how many `b`, in one pass: byte counters
// that each compare adds to, summed every 255 blocks before they can overflow.
std::pair<size_t, size_t> CountBytes(std::string_view text, char a, char b)
{
    size_t as = 0, bs = 0, at = 0;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), zero = _mm_setzero_si128();
    auto total = [&](__m128i counts) {
        __m128i sums = _mm_sad_epu8(counts, zero);
        return static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
    };
    while (at + 16 <= text.size()) {
        __m128i countA = zero, countB = zero;
        for (int round = 0; round < 255 && at + 16 <= text.size(); ++round, at += 16) {
            __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
            // A match is all ones, that is minus one.
            countA = _mm_sub_epi8(countA, _mm_cmpeq_epi8(block, va));
            countB = _mm_sub_epi8(countB, _mm_cmpeq_epi8(block, vb));
        }
        as += total(countA);
        bs += total(countB);
    }
#endif
    for (; at < text.size(); ++at) {
        as += text[at] == a;
        bs += text[at] == b;
    }
    return { as, bs };
}

// The inside of a quoted string whose escapes were checked, decoded.
std::string Unescape(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out.push_back(raw[i]);
        } else if (raw[i + 1] == 'x') {
            out.push_back(static_cast<char>(HexDigit(raw[i + 2]) * 16 + HexDigit(raw[i + 3])));
            i += 3;
        } else {
            out.push_back(raw[++i]);
        }
    }
    return out;
}

// The path of a header's key when it is already normalized ("\\A\\B" below the root
// gives "A\\B"), so the key can point into the text; nothing when it needs rewriting or
// is refused.
std::optional<std::string_view> NormalizedInPlace(std::string_view keyPath)
{
    if (keyPath.empty())
        return keyPath;
    if (keyPath.front() != '\\')
        return std::nullopt;
    keyPath.remove_prefix(1);
    if (keyPath.empty() || keyPath.back() == '\\')
        return std::nullopt;
    size_t start = 0;
    for (size_t i = 0; i <= keyPath.size(); ++i) {
        if (i < keyPath.size() && keyPath[i] != '\\') {
            auto c = static_cast<unsigned char>(keyPath[i]);
            if (c < 0x80 && !IsControl(c))
                continue;
            // Anything else takes the full check of its component.
            size_t end = std::min(keyPath.find('\\', i), keyPath.size());
            if (!IsValidKeyComponent(keyPath.substr(start, end - start)))
                return std::nullopt;
            i = end;
        }
        if (i == start)
            return std::nullopt;   // an empty component
        start = i + 1;
    }
    return keyPath;
}

}

// Reads one line of a hive file into `data`. Keeps the current key between lines.
// Every line is checked in full; what is stored are views of the text.
class HiveParser {
public:
    HiveParser(HiveData& data, Hive hive)
        : m_data(data)
        , m_root(RootName(hive))
    {
    }

    // Fails with a message saying what is wrong with the line.
    Status<> Parse(std::string_view line)
    {
        if (line.empty() || line.front() == ';')
            return {};
        if (line.front() == '[')
            return ParseHeader(line);
        if (line.front() == '@' || line.front() == '"')
            return ParseValue(line);
        return Error{"expected a [key] header or a \"name\"=value line"};
    }

    // The normalized key path of a header line: a view of the line when it is already
    // normalized (`inPlace`), else a copy.
    struct HeaderPath {
        std::string_view view;
        std::string copy;
        bool inPlace = true;
        std::string_view Path() const { return inPlace ? view : std::string_view(copy); }
    };
    static Result<HeaderPath> ReadHeader(std::string_view line, std::string_view root)
    {
        if (line.back() != ']')
            return Error{"a key header must end with ']'"};
        std::string_view inner = line.substr(1, line.size() - 2);
        if (!inner.empty() && inner.front() == '-')
            return Error{"key deletions ([-...]) are not stored in a hive file"};
        std::string_view head = inner.substr(0, inner.find('\\'));
        if (!EqualsIgnoringCase(head, root))
            return Error{"the key is not under " + std::string(root)};
        if (auto inPlace = NormalizedInPlace(inner.substr(head.size())))
            return HeaderPath { *inPlace, {}, true };
        auto path = NormalizeKeyPath(inner.substr(head.size()));
        if (!path)
            return Error{"the key name holds control characters or bytes that are not UTF-8"};
        return HeaderPath { {}, std::move(*path), false };
    }

    // Checks a value line (trimmed, starting with '@' or '"') and describes it in `entry`
    // by places in the text that starts at `base`.
    static Status<> ReadValue(std::string_view line, const char* base, HiveData::Entry& entry)
    {
        auto offset = [base](std::string_view view) { return static_cast<uint32_t>(view.data() - base); };
        entry = HiveData::Entry {};
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else {
            std::string_view name;
            bool escaped = false;
            if (auto read = ReadQuoted(rest, name, escaped); !read)
                return Error{"in the value name: " + read.Error().what};
            entry.nameAt = offset(name);
            entry.nameLength = static_cast<uint32_t>(name.size());
            entry.flags |= escaped ? HiveData::Entry::NameEscaped : 0;
        }
        if (rest.empty() || rest.front() != '=')
            return Error{"expected '=' after the value name"};
        rest.remove_prefix(1);

        if (!rest.empty() && rest.front() == '"') {
            std::string_view text;
            bool escaped = false;
            if (auto read = ReadQuoted(rest, text, escaped); !read)
                return Error{"in the value text: " + read.Error().what};
            entry.textAt = offset(text);
            entry.textLength = static_cast<uint32_t>(text.size());
            entry.flags |= escaped ? HiveData::Entry::TextEscaped : 0;
            if (!rest.empty())
                return Error{"unexpected text after the closing quote"};
            return {};
        }
        if (StartsWithIgnoringCase(rest, kDwordPrefix)) {
            auto digits = rest.substr(kDwordPrefix.size());
            uint32_t number = 0;
            auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
            if (digits.empty() || digits.size() > 8 || status != std::errc() || end != digits.data() + digits.size())
                return Error{"a dword needs 1 to 8 hexadecimal digits"};
            entry.flags |= HiveData::Entry::Dword;
            entry.textAt = number;
            return {};
        }
        if (rest == "-")
            return Error{"value deletions (=-) are not stored in a hive file"};
        return Error{"unsupported value type (only \"text\" and dword: are stored)"};
    }

private:
    Status<> ParseHeader(std::string_view line)
    {
        auto header = ReadHeader(line, m_root);
        if (!header)
            return header.Error();
        m_key = header->inPlace ? m_data.AddParsedKey(header->view, true) : m_data.AddParsedKey(header->copy, false);
        return {};
    }

    Status<> ParseValue(std::string_view line)
    {
        if (m_key == kNoKey)
            return Error{"a value comes before any [key] header"};
        HiveData::Entry entry;
        if (auto read = ReadValue(line, m_data.m_text.get(), entry); !read)
            return read;
        m_data.Append(m_key, entry);
        return {};
    }

    // Checks a quoted, escaped string at the front of `rest`: `out` becomes its inside,
    // as written, and `escaped` whether it holds escapes. Leaves `rest` after the closing
    // quote.
    static Status<> ReadQuoted(std::string_view& rest, std::string_view& out, bool& escaped)
    {
        size_t i = 1;   // past the opening quote
        escaped = false;
        while (i < rest.size()) {
            i = FindQuoteOrEscape(rest, i);
            if (i >= rest.size())
                break;
            if (rest[i] == '"') {
                out = rest.substr(1, i - 1);
                rest.remove_prefix(i + 1);
                return {};
            }
            if (i + 1 >= rest.size())
                break;
            escaped = true;
            char next = rest[i + 1];
            if (next == '\\' || next == '"') {
                i += 2;
            } else if (next == 'x' && i + 3 < rest.size() && HexDigit(rest[i + 2]) >= 0 && HexDigit(rest[i + 3]) >= 0) {
                i += 4;
            } else {
                return Error{"unknown escape '\\" + std::string(1, next) + "' (only \\\\, \\\" and \\xHH are used)"};
            }
        }
        return Error{"missing closing quote"};
    }

    HiveData& m_data;
    std::string_view m_root;
    static constexpr size_t kNoKey = std::string::npos;
    size_t m_key = kNoKey;   // the key the value lines belong to
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    size_t i = 0;
    for (; i + 8 <= a.size(); i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y && FoldCase8(x) != FoldCase8(y))
            return false;
    }
    for (; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

std::optional<std::string> NormalizeKeyPath(std::string_view keyPath)
{
    std::string normalized;
    while (!keyPath.empty()) {
        size_t end = std::min(keyPath.find('\\'), keyPath.size());
        std::string_view component = keyPath.substr(0, end);
        keyPath.remove_prefix(std::min(end + 1, keyPath.size()));
        if (component.empty())
            continue;
        if (!IsValidKeyComponent(component))
            return std::nullopt;
        if (!normalized.empty())
            normalized.push_back('\\');
        normalized.append(component);
    }
    return normalized;
}

namespace {

// A key with more entries than this folds duplicates through a hash map.
constexpr size_t kEntriesSearchedInPlace = 16;

std::string Folded(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        c = FoldCase(c);
    return folded;
}

constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;

// The high bit of each of the eight bytes that equals `c`, and of no other.
uint64_t BytesEqual(uint64_t bytes, unsigned char c)
{
    uint64_t v = bytes ^ (kOnes * c);
    return ~(((v & ~kHighs) + ~kHighs) | v | ~kHighs);
}

// Nonzero when one of the eight bytes is a control byte, DEL or above 0x7f.
uint64_t NotPlainAscii(uint64_t bytes)
{
    // A byte below 0x20 borrows; a borrow into a higher byte comes from a lower one
    // that is below 0x20 itself, so the answer "any" is exact.
    return ((bytes - kOnes * 0x20) & ~bytes & kHighs) | (bytes & kHighs) | BytesEqual(bytes, 0x7f);
}

// A hash of the case-folded bytes without making the folded copy: eight bytes at a
// time, turn about into two lanes so that their multiplications overlap. With
// `kCheck`, also false when the text holds a byte that is not plain ASCII or two '\\'
// in a row.
template <bool kCheck>
bool HashFolded(std::string_view text, uint64_t& out)
{
    constexpr uint64_t kMultiplier = 0x9e3779b97f4a7c15u;
    uint64_t lanes[2] = { 0xcbf29ce484222325u ^ text.size(), 0x84222325cbf29ce4u };
    auto mix = [&](size_t chunk, uint64_t folded) {
        uint64_t& lane = lanes[chunk & 1];
        lane = (std::rotl(lane, 23) ^ folded) * kMultiplier;
    };
    uint64_t bad = 0, slashBefore = 0;   // the high bit of the byte before the chunk, when it is '\\'
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the same folding, checks and chunks.
    {
        const __m128i beforeA = _mm_set1_epi8('A' - 1), afterZ = _mm_set1_epi8('Z' + 1), caseBit = _mm_set1_epi8(0x20);
        const __m128i space = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7f), slash = _mm_set1_epi8('\\');
        unsigned badBytes = 0, slashAtEnd = 0;
        for (; i + 16 <= text.size(); i += 16) {
            __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
            __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(bytes, beforeA), _mm_cmplt_epi8(bytes, afterZ));
            __m128i folded = _mm_or_si128(bytes, _mm_and_si128(upper, caseBit));
            if constexpr (kCheck) {
                // Signed, bytes above 0x7f are below 0x20 too.
                auto notPlain = static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(bytes, space), _mm_cmpeq_epi8(bytes, del))));
                auto slashes = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, slash)));
                badBytes |= notPlain | (slashes & (slashes >> 1)) | (slashAtEnd & slashes);
                slashAtEnd = slashes >> 15;
            }
            mix(i / 8, static_cast<uint64_t>(_mm_cvtsi128_si64(folded)));
            mix(i / 8 + 1, static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(folded, folded))));
        }
        bad = badBytes;
        slashBefore = uint64_t { slashAtEnd } << 7;
    }
#endif
    auto check = [&](uint64_t chunk, uint64_t valid) {
        uint64_t slashes = BytesEqual(chunk, '\\') & valid;
        bad |= (NotPlainAscii(chunk) | (slashes & (slashes << 8)) | (slashBefore & slashes)) & valid;
        slashBefore = slashes >> 56;
    };
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t chunk;
        std::memcpy(&chunk, text.data() + i, 8);
        if constexpr (kCheck)
            check(chunk, ~uint64_t { 0 });
        mix(i / 8, FoldCase8(chunk));
    }
    if (i < text.size()) {
        const size_t rest = text.size() - i;
        uint64_t chunk = 0;
        if (text.size() >= 8) {
            // The last eight bytes, shifted down past those already mixed: the same
            // zero-padded chunk without a copy of a varying length.
            std::memcpy(&chunk, text.data() + text.size() - 8, 8);
            chunk >>= 8 * (8 - rest);
        } else {
            std::memcpy(&chunk, text.data() + i, rest);
        }
        if constexpr (kCheck)
            check(chunk, (uint64_t { 1 } << (8 * rest)) - 1);
        mix(i / 8, FoldCase8(chunk));
    }
    uint64_t hash = lanes[0] ^ std::rotl(lanes[1], 31);
    // The table uses the low bits: make them depend on every byte.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdu;
    hash ^= hash >> 33;
    out = hash;
    return bad == 0;
}

uint64_t FoldedHash(std::string_view text)
{
    uint64_t hash;
    HashFolded<false>(text, hash);
    return hash;
}

// For a header's key path below the root ("\\A\\B") that is plain ASCII and already
// normalized: its path ("A\\B") and the FoldedHash of it. Nothing for any other path,
// which takes the full check.
std::optional<std::string_view> PlainKeyPath(std::string_view path, uint64_t& hash)
{
    if (path.size() < 2 || path[0] != '\\' || path[1] == '\\' || path.back() == '\\')
        return std::nullopt;
    path.remove_prefix(1);
    if (!HashFolded<true>(path, hash))
        return std::nullopt;
    return path;
}

}

std::optional<std::string_view> NormalizeKeyPath(std::string_view keyPath, std::string& storage)
{
    uint64_t hash;
    if (!keyPath.empty() && keyPath.front() != '\\' && keyPath.back() != '\\' && HashFolded<true>(keyPath, hash))
        return keyPath;
    auto normalized = NormalizeKeyPath(keyPath);
    if (!normalized)
        return std::nullopt;
    storage = std::move(*normalized);
    return std::string_view(storage);
}

size_t HiveData::KeySlot(std::string_view path, uint64_t hash) const
{
    size_t mask = m_keyTable.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        uint64_t entry = m_keyTable[slot];
        if (entry == 0 || ((entry ^ hash) >> 32 == 0 && EqualsIgnoringCase(m_keys[KeyOf(entry)].path, path)))
            return slot;
    }
}

size_t HiveData::AddParsedKey(std::string_view path, bool owned)
{
    return AddParsedKey(path, owned, FoldedHash(path));
}

size_t HiveData::AddParsedKey(std::string_view path, bool owned, uint64_t hash)
{
    m_keyHashes.push_back(hash);
    m_keys.push_back(StoredKey { owned ? path : Own(path) });
    return m_keys.size() - 1;
}

void HiveData::IndexParsedKeys()
{
    // In one batch after the parse, each slot fetched ahead of its use: the table is
    // larger than the caches hold, and most headers are new keys.
    const size_t count = m_keys.size();
    m_keyTable.assign(std::max<size_t>(16, std::bit_ceil(count * 2 + 1)), 0);
    const size_t mask = m_keyTable.size() - 1;
    constexpr size_t kAhead = 8;
    std::vector<bool> repeated;
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count)
            __builtin_prefetch(&m_keyTable[m_keyHashes[i + kAhead] & mask]);
        size_t slot = KeySlot(m_keys[i].path, m_keyHashes[i]);
        if (m_keyTable[slot] == 0) {
            m_keyTable[slot] = TableEntry(i, m_keyHashes[i]);
            continue;
        }
        // A header seen before: its values go after the key's.
        StoredKey& key = m_keys[KeyOf(m_keyTable[slot])];
        const StoredKey& again = m_keys[i];
        AppendList(m_entries, key.first, key.last, again.first, again.last);
        AppendList(m_regions, key.region, key.lastRegion, again.region, again.lastRegion);
        repeated.resize(count);
        repeated[i] = true;
    }
    if (repeated.empty())
        return;
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (repeated[i])
            continue;
        m_keys[kept] = m_keys[i];
        m_keyHashes[kept++] = m_keyHashes[i];
    }
    m_keys.resize(kept);
    m_keyHashes.resize(kept);
    const size_t slots = m_keyTable.size();
    m_keyTable.clear();
    GrowKeyTable(slots);
}

void HiveData::GrowKeyTable(size_t slots)
{
    std::vector<uint64_t> table(std::max<size_t>({ 16, slots, m_keyTable.size() * 2 }), 0);
    size_t mask = table.size() - 1;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        size_t slot = m_keyHashes[i] & mask;
        while (table[slot] != 0)
            slot = (slot + 1) & mask;
        table[slot] = TableEntry(i, m_keyHashes[i]);
    }
    m_keyTable = std::move(table);
}

std::string_view HiveData::Own(std::string_view text)
{
    m_owned.push_back(std::make_shared<const std::string>(text));
    return *m_owned.back();
}

size_t HiveData::KeyIndexFor(std::string_view path, bool owned)
{
    // The table stays at most half full, so that probes stay short.
    if ((m_keys.size() + 1) * 2 > m_keyTable.size())
        GrowKeyTable(0);
    uint64_t hash = FoldedHash(path);
    size_t slot = KeySlot(path, hash);
    if (m_keyTable[slot] != 0)
        return KeyOf(m_keyTable[slot]);
    m_keyTable[slot] = TableEntry(m_keys.size(), hash);
    m_keyHashes.push_back(hash);
    m_keys.push_back(StoredKey { owned ? path : Own(path) });
    return m_keys.size() - 1;
}

void HiveData::Append(size_t keyIndex, const Entry& entry)
{
    auto index = static_cast<uint32_t>(m_entries.size());
    m_entries.push_back(entry);
    m_entries.back().next = kNone;
    StoredKey& key = m_keys[keyIndex];
    AppendList(m_entries, key.first, key.last, index, index);
}

uint32_t HiveData::TextOffset(std::string_view view) const
{
    return static_cast<uint32_t>(view.data() - m_text.get());
}

std::string_view HiveData::NameView(const Entry& entry) const
{
    if (entry.flags & Entry::NameOwned)
        return *m_owned[entry.nameAt];
    return { m_text.get() + entry.nameAt, entry.nameLength };
}

std::string_view HiveData::TextView(const Entry& entry) const
{
    if (entry.flags & Entry::TextOwned)
        return *m_owned[entry.textAt];
    return { m_text.get() + entry.textAt, entry.textLength };
}

bool HiveData::NameMatches(const Entry& entry, std::string_view name) const
{
    if (!(entry.flags & Entry::NameEscaped))
        return EqualsIgnoringCase(NameView(entry), name);
    return EqualsIgnoringCase(Unescape(NameView(entry)), name);
}

std::string HiveData::NameOf(const Entry& entry) const
{
    return entry.flags & Entry::NameEscaped ? Unescape(NameView(entry)) : std::string(NameView(entry));
}

Value HiveData::ValueOf(const Entry& entry) const
{
    if (entry.flags & Entry::Dword)
        return entry.textAt;
    return entry.flags & Entry::TextEscaped ? Unescape(TextView(entry)) : std::string(TextView(entry));
}

uint32_t HiveData::FirstMatch(size_t keyIndex, std::string_view name) const
{
    for (uint32_t at = m_keys[keyIndex].first; at != kNone; at = m_entries[at].next)
        if (NameMatches(m_entries[at], name))
            return at;
    return kNone;
}

bool HiveData::HasKey(std::string_view path) const
{
    return !m_keyTable.empty() && m_keyTable[KeySlot(path, FoldedHash(path))] != 0;
}

bool HiveData::HasKeyOrSubkey(std::string_view path) const
{
    if (path.empty())
        return true;
    return std::ranges::any_of(m_keys, [&](const StoredKey& key) {
        if (key.path.size() < path.size() || !EqualsIgnoringCase(key.path.substr(0, path.size()), path))
            return false;
        return key.path.size() == path.size() || key.path[path.size()] == '\\';
    });
}

std::optional<Value> HiveData::FindValue(std::string_view path, std::string_view name) const
{
    auto found = Lookup(path, name);
    return found ? std::move(*found) : std::nullopt;
}

Result<std::optional<Value>, ParseError> HiveData::Lookup(std::string_view path, std::string_view name) const
{
    if (m_keyTable.empty())
        return std::optional<Value> {};
    uint64_t slot = m_keyTable[KeySlot(path, FoldedHash(path))];
    if (slot == 0)
        return std::optional<Value> {};
    const StoredKey& key = m_keys[KeyOf(slot)];
    // A name written twice reads as its last value.
    Entry found;
    bool any = false;
    for (uint32_t at = key.first; at != kNone; at = m_entries[at].next) {
        if (NameMatches(m_entries[at], name)) {
            found = m_entries[at];
            any = true;
        }
    }
    for (uint32_t at = key.region; at != kNone; at = m_regions[at].next) {
        bool read = ReadRegion(m_regions[at], [&](const Entry& entry) {
            if (NameMatches(entry, name)) {
                found = entry;
                any = true;
            }
        });
        if (!read)
            return FirstError();
    }
    if (!any)
        return std::optional<Value> {};
    return std::optional<Value> { ValueOf(found) };
}

template <typename Take>
bool HiveData::ReadRegion(const Region& region, Take&& take) const
{
    const char* base = m_text.get();
    std::string_view text(base + region.begin, region.end - region.begin);
    while (!text.empty()) {
        const auto* newline = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
        size_t end = newline ? static_cast<size_t>(newline - text.data()) : text.size();
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() != '@' && line.front() != '"')
            return false;
        Entry entry;
        if (!HiveParser::ReadValue(line, base, entry))
            return false;
        take(entry);
    }
    return true;
}

ParseError HiveData::FirstError() const
{
    auto parsed = ParseHive(m_text, m_textSize, m_hive);
    if (!parsed)
        return parsed.Error();
    // Both readers check a line alike, so this is never reached.
    return ParseError { 0, "a value line reads differently the second time" };
}

Status<ParseError> HiveData::ParseRemaining()
{
    if (m_allRead)
        return {};
    bool broken = false;
    for (size_t index = 0; index < m_keys.size(); ++index) {
        // A key's lines after a broken one are not its values.
        for (uint32_t at = m_keys[index].region; at != kNone; at = m_regions[at].next) {
            if (!ReadRegion(m_regions[at], [&](const Entry& entry) { Append(index, entry); })) {
                broken = true;
                break;
            }
        }
        m_keys[index].region = m_keys[index].lastRegion = kNone;
    }
    m_regions = {};
    m_allRead = true;
    if (broken)
        return FirstError();
    return {};
}

void HiveData::ReadAll()
{
    static_cast<void>(ParseRemaining());
}

std::vector<Key> HiveData::Keys() const
{
    if (!m_allRead) {
        HiveData read = *this;
        read.ReadAll();
        return read.Keys();
    }
    std::vector<Key> keys;
    keys.reserve(m_keys.size());
    for (const StoredKey& stored : m_keys) {
        Key& key = keys.emplace_back(Key { std::string(stored.path), {} });
        size_t count = 0;
        for (uint32_t at = stored.first; at != kNone; at = m_entries[at].next)
            ++count;
        // The folded names of the values so far, when there are many.
        std::unordered_map<std::string, size_t> places;
        for (uint32_t at = stored.first; at != kNone; at = m_entries[at].next) {
            const Entry& entry = m_entries[at];
            std::string name = NameOf(entry);
            size_t place = key.values.size();
            if (count > kEntriesSearchedInPlace) {
                place = places.emplace(Folded(name), key.values.size()).first->second;
            } else {
                for (size_t i = 0; i < key.values.size(); ++i)
                    if (EqualsIgnoringCase(key.values[i].name, name))
                        place = i;
            }
            if (place == key.values.size())
                key.values.push_back({ std::move(name), ValueOf(entry) });
            else
                key.values[place].value = ValueOf(entry);   // the name keeps the case it was first written with
        }
    }
    return keys;
}

void HiveData::AddKey(std::string_view path)
{
    ReadAll();
    KeyIndexFor(path, false);
}

void HiveData::SetValue(std::string_view path, std::string_view name, Value value)
{
    ReadAll();
    size_t keyIndex = KeyIndexFor(path, false);
    Entry entry;
    if (auto* number = std::get_if<uint32_t>(&value)) {
        entry.flags = Entry::Dword;
        entry.textAt = *number;
    } else {
        Own(std::get<std::string>(value));
        entry.flags = Entry::TextOwned;
        entry.textAt = static_cast<uint32_t>(m_owned.size() - 1);
    }
    uint32_t first = FirstMatch(keyIndex, name);
    if (first == kNone) {
        Own(name);
        entry.flags |= Entry::NameOwned;
        entry.nameAt = static_cast<uint32_t>(m_owned.size() - 1);
        Append(keyIndex, entry);
        return;
    }
    // The first entry of the name takes the value and keeps its name; later ones go.
    Entry& kept = m_entries[first];
    entry.nameAt = kept.nameAt;
    entry.nameLength = kept.nameLength;
    entry.flags |= kept.flags & (Entry::NameEscaped | Entry::NameOwned);
    entry.next = kept.next;
    kept = entry;
    uint32_t previous = first;
    for (uint32_t at = kept.next; at != kNone; at = m_entries[at].next) {
        if (NameMatches(m_entries[at], name))
            m_entries[previous].next = m_entries[at].next;
        else
            previous = at;
    }
    m_keys[keyIndex].last = previous;
}

bool HiveData::DeleteValue(std::string_view path, std::string_view name)
{
    if (!HasKey(path))
        return false;
    ReadAll();
    size_t keyIndex = KeyIndexFor(path, false);
    StoredKey& key = m_keys[keyIndex];
    bool found = false;
    uint32_t previous = kNone;
    for (uint32_t at = key.first; at != kNone; at = m_entries[at].next) {
        if (!NameMatches(m_entries[at], name)) {
            previous = at;
            continue;
        }
        found = true;
        if (previous == kNone)
            key.first = m_entries[at].next;
        else
            m_entries[previous].next = m_entries[at].next;
    }
    key.last = previous;
    return found;
}

Result<HiveData, ParseError> ParseHive(std::string_view text, Hive hive)
{
    std::shared_ptr<char[]> copy(new char[std::max<size_t>(text.size(), 1)]);
    if (!text.empty())
        std::memcpy(copy.get(), text.data(), text.size());
    return ParseHive(std::move(copy), text.size(), hive);
}

Result<HiveData, ParseError> ParseHive(std::shared_ptr<const char[]> bytes, size_t size, Hive hive)
{
    auto fail = [](int line, std::string message) { return ParseError { line, std::move(message) }; };
    if (RootName(hive).empty())
        return fail(0, "unknown hive");
    // Entries hold 32-bit places in the text.
    if (size > UINT32_MAX)
        return fail(0, "the file is larger than 4 GB");
    std::string_view text(bytes.get(), size);
    if (text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());

    HiveData data;
    data.m_text = std::move(bytes);
    data.m_textSize = size;
    data.m_hive = hive;
    // Every header holds a '[' and the root's name, and every value is a line: that
    // bounds what is reserved by what the text can describe.
    auto [brackets, lines] = CountBytes(text, '[', '\n');
    data.m_keys.reserve(std::min(brackets, text.size() / (RootName(hive).size() + 2)));
    data.m_keyHashes.reserve(data.m_keys.capacity());
    data.m_entries.reserve(lines + 1);
    HiveParser parser(data, hive);
    bool seenVersion = false;
    int lineNumber = 0;
    while (!text.empty()) {
        const auto* newline = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
        size_t end = newline ? static_cast<size_t>(newline - text.data()) : text.size();
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (!seenVersion) {
            if (line.empty())
                continue;
            if (line != kVersionLine)
                return fail(lineNumber, "the file does not start with \"" + std::string(kVersionLine) + "\"");
            seenVersion = true;
            continue;
        }
        if (auto parsed = parser.Parse(line); !parsed)
            return fail(lineNumber, parsed.Error().what);
    }
    data.IndexParsedKeys();
    return data;
}

Result<HiveData, ParseError> OpenHive(std::shared_ptr<const char[]> bytes, size_t size, Hive hive)
{
    // Whatever is wrong now is reported as the full parse reports it: the file's first error.
    auto fullParse = [&] { return ParseHive(bytes, size, hive); };
    const std::string_view root = RootName(hive);
    if (root.empty() || size > UINT32_MAX)
        return fullParse();
    const char* base = bytes.get();
    std::string_view text(base, size);
    if (text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());

    // The version line, after blank lines.
    size_t body = 0;
    bool seenVersion = false;
    while (body < text.size() && !seenVersion) {
        const auto* newline = static_cast<const char*>(std::memchr(text.data() + body, '\n', text.size() - body));
        size_t end = newline ? static_cast<size_t>(newline - text.data()) : text.size();
        std::string_view line = Trim(text.substr(body, end - body));
        body = std::min(end + 1, text.size());
        if (line.empty())
            continue;
        if (line != kVersionLine)
            return fullParse();
        seenVersion = true;
    }

    HiveData data;
    data.m_text = bytes;
    data.m_textSize = size;
    data.m_hive = hive;
    auto offset = [&](size_t at) { return static_cast<uint32_t>(text.data() + at - base); };
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    // Headers are the lines whose first byte past blanks is '['. Value lines never span
    // lines, so no '[' of a value's text can start a line. First where they start, so
    // that the keys are reserved once.
    std::vector<uint32_t> headers;
    // A header line holds '[', the root's name, ']' and its newline (but the last): a
    // text with more header lines than that allows has a bad one.
    const size_t mostHeaders = (text.size() - body + 1) / (root.size() + 3);
    for (size_t at = body; at < text.size();) {
        const auto* bracket = static_cast<const char*>(std::memchr(text.data() + at, '[', text.size() - at));
        if (!bracket)
            break;
        size_t open = static_cast<size_t>(bracket - text.data());
        size_t lineStart = open;
        while (lineStart > body && isSpace(text[lineStart - 1]))
            --lineStart;
        if (lineStart == body || text[lineStart - 1] == '\n') {
            if (headers.size() == mostHeaders)
                return fullParse();
            headers.push_back(static_cast<uint32_t>(lineStart));
        }
        at = open + 1;
    }
    data.m_keys.reserve(headers.size());
    data.m_keyHashes.reserve(headers.size());
    data.m_regions.reserve(headers.size());

    size_t regionBegin = body;   // of the lines after the last header
    bool anyHeader = false;
    // Gives the lines up to `end` to the last header's key; before the first header,
    // checks that they are only blank lines and comments.
    auto closeRegion = [&](size_t end) {
        HiveData::Region lines { offset(regionBegin), offset(end), HiveData::kNone };
        if (anyHeader) {
            auto& key = data.m_keys.back();
            key.region = key.lastRegion = static_cast<uint32_t>(data.m_regions.size());
            data.m_regions.push_back(lines);
            return true;
        }
        bool anyValue = false;
        return data.ReadRegion(lines, [&](const HiveData::Entry&) { anyValue = true; }) && !anyValue;
    };
    for (size_t h = 0; h < headers.size(); ++h) {
        const uint32_t lineStart = headers[h];
        // The scan has left the caches by now: fetch the header lines a few ahead.
        constexpr size_t kAhead = 4;
        if (h + kAhead < headers.size()) {
            __builtin_prefetch(text.data() + headers[h + kAhead]);
            __builtin_prefetch(text.data() + headers[h + kAhead] + 63);
        }
        if (!closeRegion(lineStart))
            return fullParse();
        const auto* newline = static_cast<const char*>(std::memchr(text.data() + lineStart, '\n', text.size() - lineStart));
        size_t end = newline ? static_cast<size_t>(newline - text.data()) : text.size();
        std::string_view line = Trim(text.substr(lineStart, end - lineStart));
        // Most headers name their key under the root in plain ASCII, already normalized.
        std::string_view inner = line.substr(1, line.size() - 1);
        uint64_t hash = 0;
        std::optional<std::string_view> plain;
        if (inner.size() > root.size() + 1 && inner.back() == ']' && inner[root.size()] == '\\'
            && EqualsIgnoringCase(inner.substr(0, root.size()), root))
            plain = PlainKeyPath(inner.substr(root.size(), inner.size() - 1 - root.size()), hash);
        if (plain) {
            data.AddParsedKey(*plain, true, hash);
        } else {
            auto header = HiveParser::ReadHeader(line, root);
            if (!header)
                return fullParse();
            if (header->inPlace)
                data.AddParsedKey(header->view, true);
            else
                data.AddParsedKey(header->copy, false);
        }
        anyHeader = true;
        regionBegin = std::min(end + 1, text.size());
    }
    if (!closeRegion(text.size()))
        return fullParse();
    data.m_allRead = !anyHeader;
    data.IndexParsedKeys();
    return data;
}

std::string EscapeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = Utf8SequenceLength(text, i);
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (length == 0 || IsControl(c)) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out.append(escape);
            length = 1;
        } else {
            out.append(text.substr(i, length));
        }
        i += std::max<size_t>(length, 1);
    }
    return out;
}

std::string FormatHive(const HiveData& data, Hive hive)
{
    std::string out(kVersionLine);
    out += "\n\n";
    for (const Key& key : data.Keys()) {
        out += '[';
        out += RootName(hive);
        if (!key.path.empty())
            out += '\\' + key.path;
        out += "]\n";
        for (const NamedValue& value : key.values) {
            out += value.name.empty() ? "@" : '"' + EscapeText(value.name) + '"';
            out += '=';
            if (auto* text = std::get_if<std::string>(&value.value)) {
                out += '"' + EscapeText(*text) + '"';
            } else {
                char dword[16];
                std::snprintf(dword, sizeof dword, "dword:%08x", std::get<uint32_t>(value.value));
                out += dword;
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}
