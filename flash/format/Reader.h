#pragma once
// Bounded readers over a movie's bytes. Every read past the end yields zeros
// and marks the reader failed, so a parser reads on without branching at each
// field and checks Failed() once at the end of a record.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "flash/format/Types.h"

namespace showsaver::flash {

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    bool Failed() const { return m_failed; }
    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_pos < m_bytes.size() ? m_bytes.size() - m_pos : 0; }
    bool AtEnd() const { return Remaining() == 0; }
    std::span<const uint8_t> Bytes() const { return m_bytes; }

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int16_t S16() { return static_cast<int16_t>(U16()); }
    // A zero-terminated string, at most the bytes left.
    std::string String();
    // The next `count` bytes (fewer, and failed, when the data ends first).
    std::span<const uint8_t> Take(size_t count);
    std::span<const uint8_t> Rest() { return Take(Remaining()); }
    void Skip(size_t count) { (void)Take(count); }

    // Bit fields, most significant bit first. Byte reads align first.
    uint32_t Bits(int count);
    int32_t SignedBits(int count);
    // A 16.16 fixed-point bit field.
    double FixedBits(int count) { return SignedBits(count) / 65536.0; }
    bool Flag() { return Bits(1) != 0; }
    void Align() { m_bitCount = 0; }

    Rect ReadRect();
    Matrix ReadMatrix();
    ColorTransform ReadColorTransform(bool withAlpha);
    Rgba ReadRgb();
    Rgba ReadRgba();
    // RGB for the oldest record versions, RGBA from `rgbaFrom` on.
    Rgba ReadColor(bool rgba) { return rgba ? ReadRgba() : ReadRgb(); }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
    uint32_t m_bitBuffer = 0;
    int m_bitCount = 0;
    bool m_failed = false;
};

} // namespace showsaver::flash
