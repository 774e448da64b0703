// GIF: a header and logical screen, an optional global colour table, then
// blocks: extensions (of which only the graphic control's transparent index
// matters here), image descriptors with their LZW data in sub-blocks of up
// to 255 bytes, and the trailer.

#include "flash/characters/Gif.h"

#include "flash/format/Reader.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace showsaver::flash {
namespace {

constexpr uint8_t kExtension = 0x21, kImage = 0x2C, kGraphicControl = 0xF9;
constexpr int kMaxCodeBits = 12;
constexpr size_t kTableSize = size_t{1} << kMaxCodeBits;

bool SizeAllowed(int width, int height) {
    return width > 0 && height > 0 && width <= Limits::kMaxBitmapSide && height <= Limits::kMaxBitmapSide &&
           int64_t{width} * height <= Limits::kMaxBitmapPixels;
}

void ReadColourTable(Reader& r, uint8_t flags, std::array<uint32_t, 256>& palette) {
    if (!(flags & 0x80)) return;
    size_t count = size_t{2} << (flags & 7);
    for (size_t i = 0; i < count; ++i) {
        uint32_t red = r.U8(), green = r.U8(), blue = r.U8();
        palette[i] = 0xFF000000u | red << 16 | green << 8 | blue;
    }
}

// The sub-blocks after an image descriptor or an extension, joined; an
// empty sub-block ends them.
std::vector<uint8_t> ReadSubBlocks(Reader& r) {
    std::vector<uint8_t> data;
    while (!r.Failed()) {
        uint8_t size = r.U8();
        if (size == 0) break;
        auto block = r.Take(size);
        data.insert(data.end(), block.begin(), block.end());
    }
    return data;
}

// Variable-width LZW codes, least significant bit first.
class LzwDecoder {
public:
    LzwDecoder(std::span<const uint8_t> data, int minCodeSize) : m_data(data), m_min(minCodeSize) { Reset(); }

    // Writes up to `out.size()` pixels; stops at the end code, a bad code or
    // the end of the data.
    void Decode(std::span<uint8_t> out) {
        const int clear = 1 << m_min, end = clear + 1;
        size_t written = 0;
        int previous = -1;
        uint8_t first = 0;
        while (written < out.size()) {
            int code = NextCode();
            if (code < 0 || code == end) return;
            if (code == clear) {
                Reset();
                previous = -1;
                continue;
            }
            if (previous < 0) {
                if (code >= clear) return;
                out[written++] = static_cast<uint8_t>(code);
                previous = code;
                first = static_cast<uint8_t>(code);
                continue;
            }
            if (code > m_next) return;
            // A code not in the table yet is the previous string and its own first byte.
            int walk = code == m_next ? previous : code;
            size_t depth = 0;
            if (code == m_next) m_stack[depth++] = first;
            while (walk >= clear + 2) {
                m_stack[depth++] = m_suffix[static_cast<size_t>(walk)];
                walk = m_prefix[static_cast<size_t>(walk)];
            }
            m_stack[depth++] = static_cast<uint8_t>(walk);
            first = static_cast<uint8_t>(walk);
            while (depth > 0 && written < out.size()) out[written++] = m_stack[--depth];
            if (m_next < static_cast<int>(kTableSize)) {
                m_prefix[static_cast<size_t>(m_next)] = static_cast<uint16_t>(previous);
                m_suffix[static_cast<size_t>(m_next)] = first;
                ++m_next;
                if (m_next == (1 << m_bits) && m_bits < kMaxCodeBits) ++m_bits;
            }
            previous = code;
        }
    }

private:
    void Reset() {
        m_bits = m_min + 1;
        m_next = (1 << m_min) + 2;
    }

    int NextCode() {
        while (m_count < m_bits) {
            if (m_pos >= m_data.size()) return -1;
            m_buffer |= uint32_t{m_data[m_pos++]} << m_count;
            m_count += 8;
        }
        int code = static_cast<int>(m_buffer & ((1u << m_bits) - 1));
        m_buffer >>= m_bits;
        m_count -= m_bits;
        return code;
    }

    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    uint32_t m_buffer = 0;
    int m_count = 0;
    int m_min;
    int m_bits = 0;
    int m_next = 0;
    // Every entry's prefix is an earlier entry, so a string is at most the
    // table long, plus the one byte a not-yet-known code adds.
    std::array<uint16_t, kTableSize> m_prefix{};
    std::array<uint8_t, kTableSize> m_suffix{};
    std::array<uint8_t, kTableSize + 1> m_stack{};
};

// Interlaced rows come in four passes: every 8th from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1.
void Deinterlace(GifImage& image) {
    std::vector<uint8_t> rows(image.indices.size());
    const size_t w = static_cast<size_t>(image.width);
    int decoded = 0;
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < image.height; y += kStep[pass], ++decoded)
            std::memcpy(&rows[static_cast<size_t>(y) * w], &image.indices[static_cast<size_t>(decoded) * w], w);
    image.indices = std::move(rows);
}

bool ReadImage(Reader& r, GifImage& image, std::optional<uint8_t> transparent, MemoryBudget& budget) {
    image.left = r.U16();
    image.top = r.U16();
    image.width = r.U16();
    image.height = r.U16();
    uint8_t flags = r.U8();
    if (flags & 0x80) {
        image.palette.fill(0xFF000000u);
        ReadColourTable(r, flags, image.palette);
    }
    int minCodeSize = r.U8();
    if (r.Failed() || !SizeAllowed(image.width, image.height) || minCodeSize < 2 || minCodeSize > 8) return false;
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    const bool interlaced = (flags & 0x40) != 0;
    // The indices (twice for undoing the interlace) are made only when the
    // bitmap they become, four bytes a pixel, would fit beside them: else a
    // few bytes of file asked for a large index buffer that the bitmap
    // then refused.
    const uint64_t indexBytes = interlaced ? 2 * uint64_t{pixels} : pixels;
    if (!budget.Affords(indexBytes + 4 * uint64_t{pixels}) || !budget.Charge(indexBytes)) return false;
    if (transparent) image.palette[*transparent] = 0;
    image.indices.assign(pixels, 0);
    std::vector<uint8_t> data = ReadSubBlocks(r);
    auto decoder = std::make_unique<LzwDecoder>(data, minCodeSize);
    decoder->Decode(image.indices);
    if (interlaced) Deinterlace(image);
    return true;
}

} // namespace

bool LooksLikeGif(std::span<const uint8_t> data) {
    return data.size() >= 6 && (std::memcmp(data.data(), "GIF87a", 6) == 0 || std::memcmp(data.data(), "GIF89a", 6) == 0);
}

std::optional<GifImage> DecodeGif(std::span<const uint8_t> data, MemoryBudget& budget) {
    if (!LooksLikeGif(data)) return std::nullopt;
    Reader r(data.subspan(6));
    GifImage image;
    image.screenWidth = r.U16();
    image.screenHeight = r.U16();
    uint8_t flags = r.U8();
    r.Skip(2);   // background colour index, aspect ratio
    image.palette.fill(0xFF000000u);
    ReadColourTable(r, flags, image.palette);
    std::optional<uint8_t> transparent;
    while (!r.Failed()) {
        uint8_t block = r.U8();
        if (block == kImage) {
            if (!ReadImage(r, image, transparent, budget)) return std::nullopt;
            // A screen of no size is taken from the image.
            if (image.screenWidth == 0 || image.screenHeight == 0) {
                image.screenWidth = image.left + image.width;
                image.screenHeight = image.top + image.height;
            }
            if (!SizeAllowed(image.screenWidth, image.screenHeight)) return std::nullopt;
            return image;
        }
        if (block != kExtension) return std::nullopt;   // the trailer, or damage: no image
        uint8_t label = r.U8();
        std::vector<uint8_t> body = ReadSubBlocks(r);
        if (label == kGraphicControl && body.size() >= 4 && (body[0] & 1)) transparent = body[3];
    }
    return std::nullopt;
}

} // namespace showsaver::flash
