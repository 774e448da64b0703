#include "flash/format/Reader.h"

#include <cstring>

namespace showsaver::flash {

uint8_t Reader::U8() {
    Align();
    if (m_pos >= m_bytes.size()) {
        m_failed = true;
        return 0;
    }
    return m_bytes[m_pos++];
}

uint16_t Reader::U16() {
    uint16_t low = U8();
    return static_cast<uint16_t>(low | (U8() << 8));
}

uint32_t Reader::U32() {
    uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
}

std::string Reader::String() {
    Align();
    std::string text;
    while (m_pos < m_bytes.size() && m_bytes[m_pos] != 0) text.push_back(static_cast<char>(m_bytes[m_pos++]));
    if (m_pos >= m_bytes.size())
        m_failed = true;
    else
        ++m_pos;
    return text;
}

std::span<const uint8_t> Reader::Take(size_t count) {
    Align();
    size_t available = Remaining();
    if (count > available) {
        m_failed = true;
        count = available;
    }
    auto part = m_bytes.subspan(m_pos, count);
    m_pos += count;
    return part;
}

uint32_t Reader::Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        if (m_bitCount == 0) {
            if (m_pos >= m_bytes.size()) {
                m_failed = true;
                return 0;
            }
            m_bitBuffer = m_bytes[m_pos++];
            m_bitCount = 8;
        }
        --m_bitCount;
        value = (value << 1) | ((m_bitBuffer >> m_bitCount) & 1u);
    }
    return value;
}

int32_t Reader::SignedBits(int count) {
    if (count <= 0) return 0;
    uint32_t raw = Bits(count);
    if (count < 32 && (raw & (1u << (count - 1)))) raw |= ~0u << count;
    return static_cast<int32_t>(raw);
}

Rect Reader::ReadRect() {
    Align();
    int bits = static_cast<int>(Bits(5));
    Rect rect;
    rect.xMin = SignedBits(bits);
    rect.xMax = SignedBits(bits);
    rect.yMin = SignedBits(bits);
    rect.yMax = SignedBits(bits);
    Align();
    return rect;
}

Matrix Reader::ReadMatrix() {
    Align();
    Matrix m;
    if (Flag()) {
        int bits = static_cast<int>(Bits(5));
        m.a = FixedBits(bits);
        m.d = FixedBits(bits);
    }
    if (Flag()) {
        int bits = static_cast<int>(Bits(5));
        m.b = FixedBits(bits);
        m.c = FixedBits(bits);
    }
    int bits = static_cast<int>(Bits(5));
    m.tx = SignedBits(bits);
    m.ty = SignedBits(bits);
    Align();
    return m;
}

ColorTransform Reader::ReadColorTransform(bool withAlpha) {
    Align();
    bool hasAdd = Flag();
    bool hasMult = Flag();
    int bits = static_cast<int>(Bits(4));
    ColorTransform t;
    if (hasMult) {
        t.mr = SignedBits(bits) / 256.0;
        t.mg = SignedBits(bits) / 256.0;
        t.mb = SignedBits(bits) / 256.0;
        if (withAlpha) t.ma = SignedBits(bits) / 256.0;
    }
    if (hasAdd) {
        t.ar = SignedBits(bits);
        t.ag = SignedBits(bits);
        t.ab = SignedBits(bits);
        if (withAlpha) t.aa = SignedBits(bits);
    }
    Align();
    return t;
}

Rgba Reader::ReadRgb() {
    Rgba c;
    c.r = U8();
    c.g = U8();
    c.b = U8();
    return c;
}

Rgba Reader::ReadRgba() {
    Rgba c = ReadRgb();
    c.a = U8();
    return c;
}

} // namespace showsaver::flash
