#include "platform/registry/HiveText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <utility>

namespace showsaver::registry {

namespace {

constexpr std::string_view kVersionLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kDwordPrefix = "dword:";

char FoldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
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

// Reads one line of a hive file into `data`. Keeps the current key between lines.
class LineParser {
public:
    LineParser(HiveData& data, Hive hive)
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

private:
    Status<> ParseHeader(std::string_view line)
    {
        if (line.back() != ']')
            return Error{"a key header must end with ']'"};
        std::string_view inner = line.substr(1, line.size() - 2);
        if (!inner.empty() && inner.front() == '-')
            return Error{"key deletions ([-...]) are not stored in a hive file"};
        std::string_view root = inner.substr(0, inner.find('\\'));
        if (!EqualsIgnoringCase(root, m_root))
            return Error{"the key is not under " + std::string(m_root)};
        auto path = NormalizeKeyPath(inner.substr(root.size()));
        if (!path)
            return Error{"the key name holds control characters or bytes that are not UTF-8"};
        m_key = m_data.KeyIndexFor(*path);
        return {};
    }

    Status<> ParseValue(std::string_view line)
    {
        if (m_key == kNoKey)
            return Error{"a value comes before any [key] header"};
        std::string name;
        std::string_view rest = line;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else if (auto read = ReadQuoted(rest, name); !read) {
            return Error{"in the value name: " + read.Error().what};
        }
        if (rest.empty() || rest.front() != '=')
            return Error{"expected '=' after the value name"};
        rest.remove_prefix(1);

        if (!rest.empty() && rest.front() == '"') {
            std::string text;
            if (auto read = ReadQuoted(rest, text); !read)
                return Error{"in the value text: " + read.Error().what};
            if (!rest.empty())
                return Error{"unexpected text after the closing quote"};
            m_data.SetValueAt(m_key, std::move(name), std::move(text));
            return {};
        }
        if (StartsWithIgnoringCase(rest, kDwordPrefix)) {
            auto digits = rest.substr(kDwordPrefix.size());
            uint32_t number = 0;
            auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
            if (digits.empty() || digits.size() > 8 || status != std::errc() || end != digits.data() + digits.size())
                return Error{"a dword needs 1 to 8 hexadecimal digits"};
            m_data.SetValueAt(m_key, std::move(name), number);
            return {};
        }
        if (rest == "-")
            return Error{"value deletions (=-) are not stored in a hive file"};
        return Error{"unsupported value type (only \"text\" and dword: are stored)"};
    }

    // Reads a quoted, escaped string from the front of `rest` and leaves `rest` after the
    // closing quote.
    static Status<> ReadQuoted(std::string_view& rest, std::string& out)
    {
        size_t i = 1;   // past the opening quote
        while (i < rest.size()) {
            // The plain run up to the next quote or escape goes over in one piece.
            size_t run = i;
            while (run < rest.size() && rest[run] != '"' && rest[run] != '\\')
                ++run;
            out.append(rest.data() + i, run - i);
            i = run;
            if (i >= rest.size())
                break;
            if (rest[i] == '"') {
                rest.remove_prefix(i + 1);
                return {};
            }
            if (i + 1 >= rest.size())
                break;
            char escaped = rest[i + 1];
            if (escaped == '\\' || escaped == '"') {
                out.push_back(escaped);
                i += 2;
            } else if (escaped == 'x' && i + 3 < rest.size() && HexDigit(rest[i + 2]) >= 0 && HexDigit(rest[i + 3]) >= 0) {
                out.push_back(static_cast<char>(HexDigit(rest[i + 2]) * 16 + HexDigit(rest[i + 3])));
                i += 4;
            } else {
                return Error{"unknown escape '\\" + std::string(1, escaped) + "' (only \\\\, \\\" and \\xHH are used)"};
            }
        }
        return Error{"missing closing quote"};
    }

    HiveData& m_data;
    std::string_view m_root;
    static constexpr size_t kNoKey = std::string::npos;
    size_t m_key = kNoKey;   // the key the value lines belong to
};

}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return FoldCase(x) == FoldCase(y); });
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

// A key with more values than this gets an index of their names.
constexpr size_t kValuesSearchedInPlace = 8;

std::string Folded(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        c = FoldCase(c);
    return folded;
}

// FNV-1a over the case-folded bytes, without making the folded copy.
uint64_t FoldedHash(std::string_view text)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (char c : text)
        hash = (hash ^ static_cast<unsigned char>(FoldCase(c))) * 0x100000001b3u;
    return hash;
}

}

size_t HiveData::KeySlot(std::string_view path, uint64_t hash) const
{
    size_t mask = m_keyTable.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        uint32_t entry = m_keyTable[slot];
        if (entry == 0 || (m_keyHashes[entry - 1] == hash && EqualsIgnoringCase(m_keys[entry - 1].path, path)))
            return slot;
    }
}

void HiveData::ReserveKeys(size_t keys)
{
    m_keys.reserve(keys);
    m_keyHashes.reserve(keys);
    if (m_keyTable.size() < keys * 2)
        GrowKeyTable(std::bit_ceil(keys * 2));
}

void HiveData::GrowKeyTable(size_t slots)
{
    std::vector<uint32_t> table(std::max<size_t>({ 16, slots, m_keyTable.size() * 2 }), 0);
    size_t mask = table.size() - 1;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        size_t slot = m_keyHashes[i] & mask;
        while (table[slot] != 0)
            slot = (slot + 1) & mask;
        table[slot] = static_cast<uint32_t>(i + 1);
    }
    m_keyTable = std::move(table);
}

const Key* HiveData::FindKey(std::string_view path) const
{
    if (m_keyTable.empty())
        return nullptr;
    uint32_t entry = m_keyTable[KeySlot(path, FoldedHash(path))];
    return entry == 0 ? nullptr : &m_keys[entry - 1];
}

Key* HiveData::FindKeyMutable(std::string_view path)
{
    return const_cast<Key*>(std::as_const(*this).FindKey(path));
}

size_t HiveData::FindValueIndex(size_t keyIndex, std::string_view name) const
{
    const std::vector<NamedValue>& values = m_keys[keyIndex].values;
    if (values.size() <= kValuesSearchedInPlace) {
        for (size_t i = 0; i < values.size(); ++i)
            if (EqualsIgnoringCase(values[i].name, name))
                return i;
        return std::string::npos;
    }
    const auto& index = m_valueIndexes.at(keyIndex);
    auto found = index.find(Folded(name));
    return found == index.end() ? std::string::npos : found->second;
}

void HiveData::IndexValues(size_t keyIndex)
{
    const std::vector<NamedValue>& values = m_keys[keyIndex].values;
    if (values.size() <= kValuesSearchedInPlace) {
        m_valueIndexes.erase(keyIndex);
        return;
    }
    auto& index = m_valueIndexes[keyIndex];
    index.clear();
    for (size_t i = 0; i < values.size(); ++i)
        index.emplace(Folded(values[i].name), i);
}

bool HiveData::HasKeyOrSubkey(std::string_view path) const
{
    if (path.empty())
        return true;
    return std::ranges::any_of(m_keys, [&](const Key& key) {
        if (key.path.size() < path.size() || !EqualsIgnoringCase(std::string_view(key.path).substr(0, path.size()), path))
            return false;
        return key.path.size() == path.size() || key.path[path.size()] == '\\';
    });
}

const Value* HiveData::FindValue(std::string_view path, std::string_view name) const
{
    const Key* key = FindKey(path);
    if (!key)
        return nullptr;
    size_t index = FindValueIndex(static_cast<size_t>(key - m_keys.data()), name);
    return index == std::string::npos ? nullptr : &key->values[index].value;
}

size_t HiveData::KeyIndexFor(std::string_view path)
{
    // The table stays at most half full, so that probes stay short.
    if ((m_keys.size() + 1) * 2 > m_keyTable.size())
        GrowKeyTable(0);
    uint64_t hash = FoldedHash(path);
    size_t slot = KeySlot(path, hash);
    if (m_keyTable[slot] != 0)
        return m_keyTable[slot] - 1;
    m_keyTable[slot] = static_cast<uint32_t>(m_keys.size() + 1);
    m_keyHashes.push_back(hash);
    m_keys.push_back(Key { std::string(path), {} });
    // Most keys hold a few values.
    m_keys.back().values.reserve(4);
    return m_keys.size() - 1;
}

Key& HiveData::KeyFor(std::string_view path)
{
    return m_keys[KeyIndexFor(path)];
}

void HiveData::SetValueAt(size_t keyIndex, std::string name, Value value)
{
    std::vector<NamedValue>& values = m_keys[keyIndex].values;
    if (size_t index = FindValueIndex(keyIndex, name); index != std::string::npos) {
        values[index].value = std::move(value);   // the name keeps the case it was first written with
        return;
    }
    values.push_back({ std::move(name), std::move(value) });
    if (values.size() == kValuesSearchedInPlace + 1)
        IndexValues(keyIndex);
    else if (values.size() > kValuesSearchedInPlace + 1)
        m_valueIndexes[keyIndex].emplace(Folded(values.back().name), values.size() - 1);
}

void HiveData::SetValue(std::string_view path, std::string_view name, Value value)
{
    SetValueAt(KeyIndexFor(path), std::string(name), std::move(value));
}

bool HiveData::DeleteValue(std::string_view path, std::string_view name)
{
    const Key* key = FindKey(path);
    if (!key)
        return false;
    auto keyIndex = static_cast<size_t>(key - m_keys.data());
    size_t index = FindValueIndex(keyIndex, name);
    if (index == std::string::npos)
        return false;
    auto& values = m_keys[keyIndex].values;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
    // The values after it moved up by one.
    IndexValues(keyIndex);
    return true;
}

Result<HiveData, ParseError> ParseHive(std::string_view text, Hive hive)
{
    auto fail = [](int line, std::string message) { return ParseError { line, std::move(message) }; };
    if (RootName(hive).empty())
        return fail(0, "unknown hive");
    if (text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());

    HiveData data;
    // Every header holds a '[' and the root's name: that bounds the keys (a cheap pass
    // over the text), and no more is reserved than the text can describe.
    size_t brackets = 0;
    for (const char* at = text.data(); (at = static_cast<const char*>(std::memchr(at, '[', text.data() + text.size() - at)));
         ++at)
        ++brackets;
    data.ReserveKeys(std::min(brackets, text.size() / (RootName(hive).size() + 2)));
    LineParser parser(data, hive);
    bool seenVersion = false;
    int lineNumber = 0;
    while (!text.empty()) {
        size_t end = std::min(text.find('\n'), text.size());
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
