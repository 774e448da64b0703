#pragma once
// Writes the show file's encodings into memory; the counterpart of
// ShowReader, used by showpack and the tests. Texts are written with the
// shortest length prefix that holds them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace showsaver {

class ShowWriter {
public:
    void WriteInt32(int32_t value) { WriteUInt32(static_cast<uint32_t>(value)); }
    void WriteUInt32(uint32_t value);
    void WriteFloat(float value);
    void WriteText(std::string_view cp1252);
    void WriteScrambledText(std::string_view cp1252);
    void WriteBytes(std::span<const uint8_t> bytes);
    void WriteScrambledBytes(std::span<const uint8_t> bytes);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t> TakeBytes() { return std::move(m_bytes); }

    // Marks what is written as incomplete (a file's bytes could not be had);
    // the first reason is kept.
    void Fail(std::string what) {
        if (!m_error) m_error = std::move(what);
    }
    const std::optional<std::string>& Error() const { return m_error; }

private:
    void WriteLengthPrefix(uint64_t length);

    std::vector<uint8_t> m_bytes;
    std::optional<std::string> m_error;
};

} // namespace showsaver
