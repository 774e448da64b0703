#include "show/ShowWriter.h"

#include "show/ShowReader.h"

#include <bit>

namespace showsaver {

void ShowWriter::WriteUInt32(uint32_t value) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void ShowWriter::WriteFloat(float value) { WriteUInt32(std::bit_cast<uint32_t>(value)); }

void ShowWriter::WriteLengthPrefix(uint64_t length) {
    if (length < 0xFF) {
        m_bytes.push_back(static_cast<uint8_t>(length));
        return;
    }
    m_bytes.push_back(0xFF);
    if (length < 0xFFFE) {
        m_bytes.push_back(static_cast<uint8_t>(length));
        m_bytes.push_back(static_cast<uint8_t>(length >> 8));
        return;
    }
    // 0xFFFE is the wide-text marker, so that length takes the long form too.
    m_bytes.push_back(0xFF);
    m_bytes.push_back(0xFF);
    WriteUInt32(static_cast<uint32_t>(length));
}

void ShowWriter::WriteText(std::string_view cp1252) {
    WriteLengthPrefix(cp1252.size());
    m_bytes.insert(m_bytes.end(), cp1252.begin(), cp1252.end());
}

void ShowWriter::WriteScrambledText(std::string_view cp1252) {
    WriteLengthPrefix(cp1252.size());
    size_t start = m_bytes.size();
    m_bytes.insert(m_bytes.end(), cp1252.begin(), cp1252.end());
    Scramble(std::span(m_bytes).subspan(start), ScrambleDirection::Writing);
}

void ShowWriter::WriteBytes(std::span<const uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void ShowWriter::WriteScrambledBytes(std::span<const uint8_t> bytes) {
    size_t start = m_bytes.size();
    WriteBytes(bytes);
    Scramble(std::span(m_bytes).subspan(start), ScrambleDirection::Writing);
}

} // namespace showsaver
