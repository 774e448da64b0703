// BMP reader. A file is a 14-byte file header, an info header (the 12-byte
// OS/2 core header or a Windows header of 40 bytes or more), optional
// bit-field masks, a palette, and the pixel rows, bottom-up unless the
// height is negative. Steps: ReadFileHeader, ReadInfoHeader, ReadMasks,
// ReadPalette, then one of DecodeUncompressed, DecodeRle.

#include <algorithm>
#include <array>
#include <bit>

#include "codec/CodecInternal.h"
#include "codec/PixelRows.h"

namespace showsaver::codec {
namespace {

using detail::CheckPictureSize;
using detail::CodecError;
using detail::Le16;
using detail::Le32;
using detail::LeSigned32;
using detail::Result;
using detail::Rgb;
using detail::Status;

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2InfoHeaderSize = 64;

enum Compression : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,
};

constexpr CodecError Bad(const char* what) { return {ErrorCode::BadBmp, what}; }

struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

struct BmpHeader {
    uint32_t pixelOffset = 0; // from the file header; 0 means "right after the palette"
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0; // always positive; topDown says which way the rows go
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t colorsUsed = 0;
    size_t paletteOffset = 0;
    size_t paletteEntrySize = 4;
    std::array<Channel, 3> channels{};
};

using Palette = std::array<Rgb, 256>;

Status ReadFileHeader(std::span<const uint8_t> file, BmpHeader& header) {
    if (file.size() < kFileHeaderSize + 4) return Bad("the file is shorter than its headers");
    if (file[0] != 'B' || file[1] != 'M') return Bad("the file does not start with BM");
    header.pixelOffset = Le32(&file[10]);
    header.headerSize = Le32(&file[14]);
    return {};
}

Status ReadInfoHeader(std::span<const uint8_t> file, BmpHeader& header) {
    const uint32_t size = header.headerSize;
    if (size != kCoreHeaderSize && size < kInfoHeaderSize) return Bad("unknown info header size");
    if (size > file.size() - kFileHeaderSize) return Bad("the info header is cut short");
    const uint8_t* info = &file[kFileHeaderSize];
    int planes = 0;
    if (size == kCoreHeaderSize) {
        header.width = Le16(&info[4]);
        header.height = Le16(&info[6]);
        planes = Le16(&info[8]);
        header.bitCount = Le16(&info[10]);
        header.paletteEntrySize = 3;
    } else {
        header.width = LeSigned32(&info[4]);
        const int32_t height = LeSigned32(&info[8]);
        if (height == INT32_MIN) return Bad("the height is out of range");
        header.topDown = height < 0;
        header.height = height < 0 ? -height : height;
        planes = Le16(&info[12]);
        header.bitCount = Le16(&info[14]);
        header.compression = Le32(&info[16]);
        header.colorsUsed = Le32(&info[32]);
        // OS/2 2.x headers number their own compressions 3 (Huffman 1D)
        // and 4 (RLE24); neither is decoded here.
        if (size == kOs2InfoHeaderSize && (header.compression == 3 || header.compression == 4))
            return CodecError{ErrorCode::UnsupportedCompression, "OS/2 Huffman and RLE24 are not decoded"};
    }
    header.paletteOffset = kFileHeaderSize + size;
    if (planes != 1) return Bad("the plane count is not 1");
    if (header.width <= 0 || header.height <= 0) return Bad("the picture has no pixels");
    return {};
}

Status CheckCompression(const BmpHeader& header) {
    const int bits = header.bitCount;
    switch (header.compression) {
    case kRgb:
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) return {};
        return Bad("unsupported bit count");
    case kRle8:
        if (bits == 8) return {};
        return Bad("RLE8 needs 8 bits per pixel");
    case kRle4:
        if (bits == 4) return {};
        return Bad("RLE4 needs 4 bits per pixel");
    case kBitFields:
    case kAlphaBitFields:
        if (bits == 16 || bits == 32) return {};
        return Bad("bit fields need 16 or 32 bits per pixel");
    case kJpeg:
    case kPng:
        return CodecError{ErrorCode::UnsupportedCompression, "JPEG and PNG inside BMP are not decoded"};
    default:
        return CodecError{ErrorCode::UnsupportedCompression, "unknown compression"};
    }
}

Result<Channel> MakeChannel(uint32_t mask) {
    Channel channel;
    if (mask == 0) return channel; // the channel reads as 0
    channel.mask = mask;
    channel.shift = std::countr_zero(mask);
    channel.bits = std::popcount(mask);
    if (std::countr_one(mask >> channel.shift) != channel.bits) return Bad("a bit-field mask is not contiguous");
    return channel;
}

// The masks of 16 and 32-bit pictures: in a header of 52 bytes or more
// they are part of it, after a 40-byte header they follow it (and the
// palette moves behind them), and BI_RGB implies 5-5-5 or 8-8-8.
Status ReadMasks(std::span<const uint8_t> file, BmpHeader& header) {
    if (header.bitCount != 16 && header.bitCount != 32) return {};
    std::array<uint32_t, 3> masks{};
    if (header.compression == kRgb) {
        masks = header.bitCount == 16 ? std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                      : std::array<uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF};
    } else {
        size_t at = kFileHeaderSize + kInfoHeaderSize;
        if (header.headerSize == kInfoHeaderSize)
            header.paletteOffset += header.compression == kAlphaBitFields ? 16 : 12;
        if (at + 12 > file.size()) return Bad("the bit-field masks are cut short");
        for (auto& mask : masks) {
            mask = Le32(&file[at]);
            at += 4;
        }
    }
    for (size_t i = 0; i < masks.size(); ++i) {
        auto channel = MakeChannel(masks[i]);
        if (!channel) return channel.Error();
        header.channels[i] = *channel;
    }
    return {};
}

Result<Palette> ReadPalette(std::span<const uint8_t> file, const BmpHeader& header) {
    Palette palette{};
    if (header.bitCount > 8) return palette;
    const size_t maxEntries = size_t{1} << header.bitCount;
    size_t entries = header.colorsUsed != 0 ? std::min<size_t>(header.colorsUsed, maxEntries) : maxEntries;
    if (header.paletteOffset > file.size()) return Bad("the palette lies past the end of the file");
    // A palette never runs into the pixels nor past the end of the file;
    // indexes beyond the entries that are there read as black.
    size_t end = file.size();
    if (header.pixelOffset > header.paletteOffset) end = std::min<size_t>(end, header.pixelOffset);
    entries = std::min(entries, (end - header.paletteOffset) / header.paletteEntrySize);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = &file[header.paletteOffset + i * header.paletteEntrySize];
        palette[i] = {entry[2], entry[1], entry[0]};
    }
    return palette;
}

Result<std::span<const uint8_t>> LocatePixels(std::span<const uint8_t> file, const BmpHeader& header) {
    size_t offset = header.pixelOffset;
    if (offset == 0) {
        const size_t entries = header.bitCount <= 8 ? (header.colorsUsed != 0 ? header.colorsUsed : 1u << header.bitCount) : 0;
        offset = header.paletteOffset + std::min<size_t>(entries, 256) * header.paletteEntrySize;
    }
    if (offset < kFileHeaderSize + kCoreHeaderSize || offset >= file.size())
        return Bad("the pixel data lies outside the file");
    return file.subspan(offset);
}

uint8_t ReadChannel(uint32_t pixel, const Channel& channel) {
    if (channel.bits == 0) return 0;
    const uint32_t value = (pixel & channel.mask) >> channel.shift;
    if (channel.bits >= 8) return static_cast<uint8_t>(value >> (channel.bits - 8));
    return detail::WidenChannel(value, channel.bits);
}

void DecodeIndexedRow(const uint8_t* src, uint8_t* dst, int width, int bits, const Palette& palette) {
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < width; ++x) {
        const int shift = 8 - bits * (x % perByte + 1);
        const Rgb& c = palette[(src[x / perByte] >> shift) & mask];
        dst[0] = c.r;
        dst[1] = c.g;
        dst[2] = c.b;
        dst += 3;
    }
}

// 32-bit pixels whose masks are the plain B, G, R, x bytes.
bool IsPlainBgrx(const BmpHeader& header) {
    const auto& [red, green, blue] = header.channels;
    return header.bitCount == 32 && red.mask == 0xFF0000 && green.mask == 0x00FF00 && blue.mask == 0x0000FF;
}

void DecodeMaskedRow(const uint8_t* src, uint8_t* dst, int width, const BmpHeader& header) {
    const auto& [red, green, blue] = header.channels;
    const bool wide = header.bitCount == 32;
    for (int x = 0; x < width; ++x, dst += 3) {
        const uint32_t pixel = wide ? Le32(src + 4 * static_cast<size_t>(x)) : Le16(src + 2 * static_cast<size_t>(x));
        dst[0] = ReadChannel(pixel, red);
        dst[1] = ReadChannel(pixel, green);
        dst[2] = ReadChannel(pixel, blue);
    }
}

Result<RgbImage> DecodeUncompressed(std::span<const uint8_t> pixels, const BmpHeader& header, const Palette& palette) {
    const uint64_t rowBits = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.bitCount);
    const uint64_t stride = (rowBits + 31) / 32 * 4;
    // Every row but the last needs its padding; the last only its pixels.
    const uint64_t needed =
        detail::SaturatingMultiply(stride, static_cast<uint64_t>(header.height - 1)) + (rowBits + 7) / 8;
    if (needed > pixels.size()) return Bad("the pixel data is cut short");
    if (auto size = CheckPictureSize(header.width, header.height, UINT64_MAX, ErrorCode::BadBmp); !size)
        return size.Error();

    RgbImage image = RgbImage::Uninitialized(header.width, header.height);
    const bool plainBgrx = IsPlainBgrx(header);
    for (int row = 0; row < header.height; ++row) {
        const uint8_t* src = pixels.data() + stride * static_cast<uint64_t>(row);
        uint8_t* dst = image.Row(header.topDown ? row : header.height - 1 - row);
        if (header.bitCount <= 8)
            DecodeIndexedRow(src, dst, header.width, header.bitCount, palette);
        else if (header.bitCount == 24)
            detail::SwapRedBlue(src, dst, static_cast<size_t>(header.width));
        else if (plainBgrx)
            detail::BgrxToRgb(src, dst, static_cast<size_t>(header.width));
        else
            DecodeMaskedRow(src, dst, header.width, header);
    }
    return image;
}

// Walks an RLE8 or RLE4 stream. Runs repeat one byte (RLE4: two alternating
// nibbles); escapes end a row (00 00), end the picture (00 01), move right
// and up (00 02 dx dy), or copy the next n indexes (00 n, padded to 16 bits).
// Pixels past a row's end are dropped; pixels never reached stay black.
class RleDecoder {
public:
    RleDecoder(std::span<const uint8_t> data, const BmpHeader& header, const Palette& palette, RgbImage& image)
        : m_data(data), m_header(header), m_palette(palette), m_image(image), m_fourBit(header.compression == kRle4) {}

    Status Run() {
        while (m_at + 2 <= m_data.size()) {
            const uint8_t count = m_data[m_at];
            const uint8_t value = m_data[m_at + 1];
            m_at += 2;
            if (count != 0) {
                for (int i = 0; i < count; ++i) Put(m_fourBit ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
                continue;
            }
            if (value == 0) {
                NextRow(1);
            } else if (value == 1) {
                return {};
            } else if (value == 2) {
                if (m_at + 2 > m_data.size()) return Bad("an RLE delta is cut short");
                m_x += m_data[m_at];
                NextRowKeepingColumn(m_data[m_at + 1]);
                m_at += 2;
            } else if (auto copied = CopyAbsolute(value); !copied) {
                return copied;
            }
            if (m_y >= m_header.height) return {};
        }
        // No end-of-picture marker: fine once the last row has been reached.
        if (m_y >= m_header.height - 1) return {};
        return Bad("the RLE data ends before the picture does");
    }

private:
    Status CopyAbsolute(int count) {
        const size_t bytes = m_fourBit ? (static_cast<size_t>(count) + 1) / 2 : static_cast<size_t>(count);
        const size_t padded = (bytes + 1) & ~size_t{1};
        if (m_at + bytes > m_data.size()) return Bad("an RLE literal run is cut short");
        for (int i = 0; i < count; ++i) {
            const uint8_t byte = m_data[m_at + (m_fourBit ? static_cast<size_t>(i / 2) : static_cast<size_t>(i))];
            Put(m_fourBit ? (i % 2 == 0 ? byte >> 4 : byte & 15) : byte);
        }
        m_at = std::min(m_at + padded, m_data.size());
        return {};
    }

    void Put(int index) {
        if (m_x < m_header.width && m_y < m_header.height) {
            const int row = m_header.topDown ? m_y : m_header.height - 1 - m_y;
            uint8_t* dst = m_image.Row(row) + 3 * static_cast<size_t>(m_x);
            const Rgb& c = m_palette[static_cast<size_t>(index)];
            dst[0] = c.r;
            dst[1] = c.g;
            dst[2] = c.b;
        }
        // Columns past the end are never drawn; clamping keeps m_x bounded.
        m_x = std::min(m_x + 1, m_header.width);
    }

    void NextRow(int rows) {
        m_x = 0;
        NextRowKeepingColumn(rows);
    }
    void NextRowKeepingColumn(int rows) {
        m_y = std::min(m_y + rows, m_header.height);
        m_x = std::min(m_x, m_header.width);
    }

    std::span<const uint8_t> m_data;
    const BmpHeader& m_header;
    const Palette& m_palette;
    RgbImage& m_image;
    bool m_fourBit;
    size_t m_at = 0;
    int m_x = 0;
    int m_y = 0;
};

Result<RgbImage> DecodeRle(std::span<const uint8_t> data, const BmpHeader& header, const Palette& palette) {
    const uint64_t describable = detail::SaturatingMultiply(data.size(), kMaxPixelsPerCompressedByte);
    if (auto size = CheckPictureSize(header.width, header.height, describable, ErrorCode::BadBmp); !size)
        return size.Error();
    RgbImage image = RgbImage::Black(header.width, header.height);
    if (auto status = RleDecoder(data, header, palette, image).Run(); !status) return status.Error();
    return image;
}

Result<RgbImage> DecodeBmp(std::span<const uint8_t> file) {
    BmpHeader header;
    if (auto s = ReadFileHeader(file, header); !s) return s.Error();
    if (auto s = ReadInfoHeader(file, header); !s) return s.Error();
    if (auto s = CheckCompression(header); !s) return s.Error();
    if (auto s = ReadMasks(file, header); !s) return s.Error();
    auto palette = ReadPalette(file, header);
    if (!palette) return palette.Error();
    auto pixels = LocatePixels(file, header);
    if (!pixels) return pixels.Error();
    if (header.compression == kRle8 || header.compression == kRle4) return DecodeRle(*pixels, header, *palette);
    return DecodeUncompressed(*pixels, header, *palette);
}

} // namespace

std::optional<RgbImage> ReadBmp(Source& source) {
    return detail::AtBoundary([&] { return DecodeBmp(source.TakeRemainder()); });
}

} // namespace showsaver::codec
