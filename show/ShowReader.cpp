#include "show/ShowReader.h"

#include "show/Windows1252.h"

#include <bit>
#include <cstring>

namespace showsaver {

void Scramble(std::span<uint8_t> bytes, ScrambleDirection direction) {
    int shift = ScrambleShift(bytes.size());
    auto delta = static_cast<uint8_t>(direction == ScrambleDirection::Reading ? shift : 256 - shift);
    for (auto& b : bytes) b = static_cast<uint8_t>(b + delta);
}

ShowReader::ShowReader(ByteSource& source, uint64_t baseOffset)
    : m_source(source), m_offset(baseOffset), m_baseOffset(baseOffset) {}

void ShowReader::Fail(std::string what) {
    if (m_failed) return;
    m_failed = true;
    m_error = LoadError{m_offset, std::move(what)};
}

bool ShowReader::Take(std::span<uint8_t> out) {
    if (m_failed) {
        std::memset(out.data(), 0, out.size());
        return false;
    }
    size_t done = 0;
    while (done < out.size()) {
        if (m_next == m_end) {
            size_t left = out.size() - done;
            if (left >= m_buffer.size()) {
                // Large blocks go straight to their destination.
                size_t n = m_source.Read(out.subspan(done));
                done += n;
                m_offset += n;
                if (n < left) break;
                continue;
            }
            m_next = 0;
            m_end = m_source.Read(m_buffer);
            if (m_end == 0) break;
        }
        size_t n = std::min(out.size() - done, m_end - m_next);
        std::memcpy(out.data() + done, m_buffer.data() + m_next, n);
        m_next += n;
        done += n;
        m_offset += n;
    }
    if (done < out.size()) {
        std::memset(out.data(), 0, out.size());
        Fail("the data ends early");
        return false;
    }
    return true;
}

uint32_t ShowReader::ReadUInt32() {
    std::array<uint8_t, 4> b{};
    Take(b);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

int32_t ShowReader::ReadInt32() { return static_cast<int32_t>(ReadUInt32()); }

float ShowReader::ReadFloat() { return std::bit_cast<float>(ReadUInt32()); }

void ShowReader::ReadInto(std::span<uint8_t> out) { Take(out); }

bool ShowReader::CheckLength(uint64_t bytes, const char* what) {
    if (m_failed) return false;
    if (bytes > Remaining()) {
        Fail(std::string(what) + " of " + std::to_string(bytes) + " bytes exceeds the " +
             std::to_string(Remaining()) + " bytes left");
        return false;
    }
    return true;
}

std::unique_ptr<uint8_t[]> ShowReader::ReadBlock(uint32_t size) {
    if (!CheckLength(size, "a block")) return nullptr;
    auto block = std::make_unique_for_overwrite<uint8_t[]>(size);
    if (!Take({block.get(), size})) return nullptr;
    return block;
}

// The archive's length prefix: one byte below 0xFF, else a 16-bit length
// below 0xFFFF, else a 32-bit length.
uint64_t ShowReader::ReadLengthPrefix() {
    uint8_t shortLength = 0;
    Take({&shortLength, 1});
    if (shortLength < 0xFF) return shortLength;
    std::array<uint8_t, 2> w{};
    Take(w);
    uint32_t length = w[0] | w[1] << 8;
    if (length < 0xFFFF) return length;
    return ReadUInt32();
}

std::string ShowReader::ReadText() {
    uint8_t first = 0;
    Take({&first, 1});
    uint64_t length = first;
    bool wide = false;
    if (first == 0xFF) {
        std::array<uint8_t, 2> w{};
        Take(w);
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
        std::string text(length, '\0');
        Take({reinterpret_cast<uint8_t*>(text.data()), text.size()});
        return text;
    }
    if (!CheckLength(length * 2, "a wide text")) return {};
    std::vector<uint8_t> raw(length * 2);
    Take(raw);
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < raw.size(); i += 2) {
        char32_t unit = raw[i] | raw[i + 1] << 8;
        // Surrogate halves have no Windows-1252 byte either.
        auto byte = unit >= 0xD800 && unit < 0xE000 ? std::nullopt : CodePointToCp1252(unit);
        text += byte ? static_cast<char>(*byte) : '?';
    }
    return text;
}

std::string ShowReader::ReadScrambledText() {
    std::string text = ReadText();
    Scramble({reinterpret_cast<uint8_t*>(text.data()), text.size()}, ScrambleDirection::Reading);
    return text;
}

} // namespace showsaver
