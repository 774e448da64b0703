#include "show/ShowReader.h"

#include "show/Windows1252.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace showsaver {

namespace {

// Adds `delta` to every byte of `in` into `out` (which may be `in`), `Width`
// bytes a vector and two vectors a step: an embedded file is unscrambled at
// copying speed.
template <size_t Width>
[[gnu::always_inline]] inline void AddToBytesBy(const uint8_t* in, uint8_t* out, size_t size, uint8_t delta) {
    typedef uint8_t Block __attribute__((vector_size(Width)));
    Block add;
    for (auto& lane : reinterpret_cast<uint8_t(&)[Width]>(add)) lane = delta;
    size_t i = 0;
    for (; i + 2 * Width <= size; i += 2 * Width) {
        Block first, second;
        std::memcpy(&first, in + i, Width);
        std::memcpy(&second, in + i + Width, Width);
        first += add;
        second += add;
        std::memcpy(out + i, &first, Width);
        std::memcpy(out + i + Width, &second, Width);
    }
    for (; i < size; ++i) out[i] = static_cast<uint8_t>(in[i] + delta);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void AddToBytesAvx2(const uint8_t* in, uint8_t* out, size_t size, uint8_t delta) {
    AddToBytesBy<32>(in, out, size, delta);
}
#endif

void AddToBytes(const uint8_t* in, uint8_t* out, size_t size, uint8_t delta) {
#if defined(__x86_64__)
    static const bool haveAvx2 = __builtin_cpu_supports("avx2");
    if (haveAvx2 && size >= 64) return AddToBytesAvx2(in, out, size, delta);
#endif
    AddToBytesBy<16>(in, out, size, delta);
}

uint8_t ShiftFor(uint64_t length, ScrambleDirection direction) {
    int shift = ScrambleShift(length);
    return static_cast<uint8_t>(direction == ScrambleDirection::Reading ? shift : 256 - shift);
}

} // namespace

void Scramble(std::span<uint8_t> bytes, ScrambleDirection direction) { Scramble(bytes, direction, bytes.size()); }

void Scramble(std::span<uint8_t> part, ScrambleDirection direction, uint64_t length) {
    AddToBytes(part.data(), part.data(), part.size(), ShiftFor(length, direction));
}

void ShowReader::Fail(std::string what) {
    if (m_failed) return;
    m_failed = true;
    m_error = LoadError{Offset(), std::move(what)};
    // Nothing more is read: every later read finds the end.
    m_bytes = m_bytes.first(m_next);
    m_filled = m_next;
}

bool ShowReader::Fill(size_t count) {
    if (m_failed) return false;
    auto filled = m_supply ? m_supply->Supply(count) : Result<size_t>(m_filled);
    if (!filled) {
        Fail(filled.Error().what);
        return false;
    }
    m_filled = std::min(*filled, m_bytes.size());
    if (m_filled < count) {
        Fail("the data ends early");
        return false;
    }
    return true;
}

const uint8_t* ShowReader::TakeSlowly(size_t n) {
    if (m_failed) return nullptr;
    if (m_bytes.size() - m_next < n) {
        m_next = m_bytes.size();
        Fail("the data ends early");
        return nullptr;
    }
    if (m_filled - m_next < n && !Fill(m_next + n)) return nullptr;
    const uint8_t* at = m_bytes.data() + m_next;
    m_next += n;
    return at;
}

uint32_t ShowReader::ReadUInt32Slowly() {
    const uint8_t* b = Take(4);
    if (!b) return 0;
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

float ShowReader::ReadFloat() { return std::bit_cast<float>(ReadUInt32()); }

void ShowReader::ReadInt32s(std::span<int32_t> out) {
    if (m_failed || Remaining() < out.size() * 4) {
        // One by one, so that the values before the end are kept.
        for (auto& value : out) value = ReadInt32();
        return;
    }
    const uint8_t* b = Take(out.size() * 4);
    if (!b) {
        std::fill(out.begin(), out.end(), 0);
        return;
    }
    for (auto& value : out) {
        value = static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 |
                                     uint32_t{b[3]} << 24);
        b += 4;
    }
}

void ShowReader::ReadInto(std::span<uint8_t> out) {
    const uint8_t* from = Take(out.size());
    if (from)
        std::memcpy(out.data(), from, out.size());
    else
        std::memset(out.data(), 0, out.size());
}

bool ShowReader::FailLength(uint64_t bytes, const char* what) {
    if (m_failed) return false;
    Fail(std::string(what) + " of " + std::to_string(bytes) + " bytes exceeds the " + std::to_string(Remaining()) +
         " bytes left");
    return false;
}

std::unique_ptr<uint8_t[]> ShowReader::ReadBlock(uint32_t size) {
    if (!CheckLength(size, "a block")) return nullptr;
    auto block = std::make_unique_for_overwrite<uint8_t[]>(size);
    std::memcpy(block.get(), Take(size), size);
    return block;
}

std::unique_ptr<uint8_t[]> ShowReader::ReadScrambledBlock(uint32_t size) {
    if (!CheckLength(size, "a block")) return nullptr;
    auto block = std::make_unique_for_overwrite<uint8_t[]>(size);
    AddToBytes(Take(size), block.get(), size, ShiftFor(size, ScrambleDirection::Reading));
    return block;
}

std::shared_ptr<const uint8_t> ShowReader::ReadScrambledShared(uint32_t size) {
    if (!m_owner) {
        auto block = ReadScrambledBlock(size);
        if (!block) return nullptr;
        return std::shared_ptr<const uint8_t>(block.release(), std::default_delete<const uint8_t[]>());
    }
    if (!CheckLength(size, "a block")) return nullptr;
    // Unscrambled where it lies, each part as soon as it has been read.
    const uint8_t shift = ShiftFor(size, ScrambleDirection::Reading);
    const size_t start = m_next;
    const size_t end = start + size;
    for (size_t done = start; done < end;) {
        if (m_filled == done && !Fill(done + 1)) return nullptr;
        size_t part = std::min(end, m_filled) - done;
        AddToBytes(m_writable + done, m_writable + done, part, shift);
        done += part;
    }
    m_next = end;
    // Shares the owner's count, points at the block.
    return std::shared_ptr<const uint8_t>(m_owner, m_writable + start);
}

std::optional<StoredBlock> ShowReader::LeaveScrambled(uint32_t size) {
    if (!m_supply || size < kLeftInFileFrom || !CheckLength(size, "a block")) return std::nullopt;
    auto stored = m_supply->Leave(m_next, size);
    if (!stored) return std::nullopt;
    m_next += size;
    m_filled = std::max(m_filled, m_next);
    return stored;
}

// The archive's length prefix: one byte below 0xFF, else a 16-bit length
// below 0xFFFF, else a 32-bit length.
uint64_t ShowReader::ReadLengthPrefix() {
    const uint8_t* b = Take(1);
    if (!b) return 0;
    if (*b < 0xFF) return *b;
    const uint8_t* w = Take(2);
    if (!w) return 0;
    uint32_t length = w[0] | w[1] << 8;
    if (length < 0xFFFF) return length;
    return ReadUInt32();
}

std::string ShowReader::ReadText() {
    const uint8_t* first = Take(1);
    if (!first) return {};
    uint64_t length = *first;
    bool wide = false;
    if (length == 0xFF) {
        const uint8_t* w = Take(2);
        if (!w) return {};
        length = w[0] | w[1] << 8;
        if (length == 0xFFFE) {
            // Wide-text marker: a second prefix counts UTF-16 characters.
            wide = true;
            length = ReadLengthPrefix();
        } else if (length == 0xFFFF) {
            length = ReadUInt32();
        }
    }
    if (m_failed) return {};
    if (!wide) {
        if (!CheckLength(length, "a text")) return {};
        return std::string(reinterpret_cast<const char*>(Take(length)), length);
    }
    if (!CheckLength(length * 2, "a wide text")) return {};
    const uint8_t* raw = Take(length * 2);
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t unit = raw[2 * i] | raw[2 * i + 1] << 8;
        // A surrogate pair is one character that Windows-1252 cannot hold.
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < length) {
            char32_t next = raw[2 * i + 2] | raw[2 * i + 3] << 8;
            if (next >= 0xDC00 && next < 0xE000) ++i;
        }
        auto byte = unit >= 0xD800 && unit < 0xE000 ? std::nullopt : CodePointToCp1252(unit);
        text += byte ? static_cast<char>(*byte) : '?';
    }
    return text;
}

void ShowReader::ReadScrambledTextSlowly(std::string& text) {
    text = ReadText();
    Scramble({reinterpret_cast<uint8_t*>(text.data()), text.size()}, ScrambleDirection::Reading);
}

} // namespace showsaver
