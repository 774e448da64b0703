// PCX reader. A 128-byte header, then the scan lines, each made of `planes`
// plane rows of `bytesPerLine` bytes (padding past the picture's width is
// ignored), usually RLE-compressed (PcxRle.h).
//
// Colours: a single 1-bit plane is black and white; other pictures of up to
// 16 colours (1, 2 or 4 bits, or 2 to 4 one-bit planes) use the header's
// palette; 8-bit pictures use the 256-colour palette that follows the data
// after a 0x0C byte, or a grey ramp without it; 3 and 4 planes of 8 bits
// are red, green, blue (and an alpha plane that is dropped).

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codec/CodecInternal.h"
#include "codec/PcxRle.h"
#include "codec/PixelRows.h"

namespace showsaver::codec {
namespace {

using detail::CheckPictureSize;
using detail::CodecError;
using detail::Le16;
using detail::Result;
using detail::Rgb;
using detail::Status;

constexpr size_t kHeaderSize = 128;
constexpr size_t kHeaderPaletteOffset = 16;
constexpr size_t kTrailerSize = 769; // 0x0C and 256 × 3 bytes
constexpr uint8_t kTrailerMark = 0x0C;

constexpr CodecError Bad(const char* what) { return {ErrorCode::BadPcx, what}; }

struct PcxHeader {
    int bitsPerPixel = 0;
    int planes = 0;
    int width = 0;
    int height = 0;
    size_t bytesPerLine = 0;
    bool compressed = true;
};

using Palette = std::array<Rgb, 256>;

Result<PcxHeader> ReadHeader(std::span<const uint8_t> file) {
    if (file.size() < kHeaderSize) return Bad("the file is shorter than its header");
    if (file[0] != 0x0A) return Bad("the file does not start with 0A");
    if (file[2] > 1) return Bad("unknown encoding");
    PcxHeader header;
    header.compressed = file[2] == 1;
    header.bitsPerPixel = file[3];
    header.planes = file[65];
    const int xMin = Le16(&file[4]), yMin = Le16(&file[6]), xMax = Le16(&file[8]), yMax = Le16(&file[10]);
    if (xMax < xMin || yMax < yMin) return Bad("the picture window is inverted");
    header.width = xMax - xMin + 1;
    header.height = yMax - yMin + 1;
    header.bytesPerLine = Le16(&file[66]);

    const int bits = header.bitsPerPixel, planes = header.planes;
    const bool indexed = (bits == 1 && planes <= 4) || ((bits == 2 || bits == 4 || bits == 8) && planes == 1);
    const bool direct = bits == 8 && (planes == 3 || planes == 4);
    if (planes < 1 || !(indexed || direct)) return Bad("unsupported combination of bits and planes");
    const size_t rowBytes = (static_cast<size_t>(header.width) * static_cast<size_t>(bits) + 7) / 8;
    if (header.bytesPerLine < rowBytes) return Bad("the bytes per line do not hold the picture's width");
    return header;
}

bool HasTrailerPalette(std::span<const uint8_t> file) {
    return file.size() >= kHeaderSize + kTrailerSize && file[file.size() - kTrailerSize] == kTrailerMark;
}

Palette ReadPalette(std::span<const uint8_t> file, const PcxHeader& header) {
    Palette palette{};
    if (header.bitsPerPixel == 1 && header.planes == 1) {
        palette[1] = {255, 255, 255};
    } else if (header.bitsPerPixel == 8 && header.planes == 1) {
        if (HasTrailerPalette(file)) {
            const uint8_t* entry = &file[file.size() - kTrailerSize + 1];
            for (auto& color : palette) {
                color = {entry[0], entry[1], entry[2]};
                entry += 3;
            }
        } else {
            for (size_t i = 0; i < palette.size(); ++i) {
                const auto level = static_cast<uint8_t>(i);
                palette[i] = {level, level, level};
            }
        }
    } else if (header.planes * header.bitsPerPixel <= 4) {
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t* entry = &file[kHeaderPaletteOffset + 3 * i];
            palette[i] = {entry[0], entry[1], entry[2]};
        }
    }
    return palette;
}

void DecodeIndexedLine(const uint8_t* line, uint8_t* dst, const PcxHeader& header, const Palette& palette) {
    const int bits = header.bitsPerPixel;
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < header.width; ++x, dst += 3) {
        const int shift = 8 - bits * (x % perByte + 1);
        unsigned index = 0;
        for (int plane = 0; plane < header.planes; ++plane) {
            const uint8_t byte = line[static_cast<size_t>(plane) * header.bytesPerLine + static_cast<size_t>(x / perByte)];
            index |= ((byte >> shift) & mask) << (plane * bits);
        }
        const Rgb& c = palette[index];
        dst[0] = c.r;
        dst[1] = c.g;
        dst[2] = c.b;
    }
}

void DecodePlanarLine(const uint8_t* line, uint8_t* dst, const PcxHeader& header) {
    const uint8_t* red = line;
    const uint8_t* green = line + header.bytesPerLine;
    const uint8_t* blue = green + header.bytesPerLine;
    detail::PlanesToRgb(red, green, blue, dst, static_cast<size_t>(header.width));
}

Result<RgbImage> DecodePcx(std::span<const uint8_t> file) {
    auto header = ReadHeader(file);
    if (!header) return header.Error();
    const Palette palette = ReadPalette(file, *header);

    auto data = file.subspan(kHeaderSize);
    if (header->bitsPerPixel == 8 && header->planes == 1 && HasTrailerPalette(file))
        data = data.first(data.size() - kTrailerSize);
    // One RLE pair gives at most 63 bytes, so the data describes at most
    // 31.5 bytes of scan line per byte (one when stored raw).
    const uint64_t lineBytes = static_cast<uint64_t>(header->planes) * header->bytesPerLine;
    const uint64_t expansion = header->compressed ? 32 : 1;
    const uint64_t describableLines = detail::SaturatingMultiply(data.size(), expansion) / lineBytes;
    const uint64_t describable = detail::SaturatingMultiply(describableLines, static_cast<uint64_t>(header->width));
    if (auto size = CheckPictureSize(header->width, header->height, describable, ErrorCode::BadPcx); !size)
        return size.Error();

    RgbImage image = RgbImage::Uninitialized(header->width, header->height);
    std::vector<uint8_t> buffer(lineBytes + detail::RleLineReader::kSlack);
    const std::span<uint8_t> line(buffer.data(), lineBytes);
    detail::RleLineReader reader(data, header->compressed);
    const bool direct = header->bitsPerPixel == 8 && header->planes >= 3;
    for (int y = 0; y < header->height; ++y) {
        if (auto status = reader.Next(line); !status) return status.Error();
        if (direct)
            DecodePlanarLine(line.data(), image.Row(y), *header);
        else
            DecodeIndexedLine(line.data(), image.Row(y), *header, palette);
    }
    return image;
}

} // namespace

std::optional<RgbImage> ReadPcx(Source& source) {
    return detail::AtBoundary([&] { return DecodePcx(source.TakeRemainder()); });
}

} // namespace showsaver::codec
