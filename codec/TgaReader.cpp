// TGA reader. An 18-byte header, an optional image ID, an optional colour
// map, then the pixels in file order: rows from the bottom up unless bit 5
// of the descriptor says top-down, left to right unless bit 4 says otherwise.
// Image types 1, 2, 3 are colour-mapped, true-colour and grey; 9, 10, 11
// the same RLE-compressed in packets (a header byte whose high bit marks a
// run of one repeated pixel, the low 7 bits the count minus one), which may
// cross rows. The footer of TGA 2.0 files is not needed and not read.

#include <algorithm>
#include <vector>

#include "codec/CodecInternal.h"
#include "codec/PixelRows.h"

namespace showsaver::codec {
namespace {

using detail::CheckPictureSize;
using detail::CodecError;
using detail::Le16;
using detail::Result;
using detail::Rgb;
using detail::Status;

constexpr size_t kHeaderSize = 18;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopDown = 0x20;

constexpr CodecError Bad(const char* what) { return {ErrorCode::BadTga, what}; }

enum class Kind { ColorMapped, TrueColor, Grey };

struct TgaHeader {
    Kind kind = Kind::TrueColor;
    bool compressed = false;
    int width = 0;
    int height = 0;
    int pixelBits = 0;
    size_t pixelBytes = 0;
    bool topDown = false;
    bool rightToLeft = false;
    int mapFirst = 0;
    int mapLength = 0;
    int mapEntryBits = 0;
    size_t mapOffset = 0;
    size_t dataOffset = 0;
};

size_t BytesFor(int bits) { return (static_cast<size_t>(bits) + 7) / 8; }

Result<TgaHeader> ReadHeader(std::span<const uint8_t> file) {
    if (file.size() < kHeaderSize) return Bad("the file is shorter than its header");
    TgaHeader header;
    const uint8_t idLength = file[0], mapType = file[1], imageType = file[2];
    if (mapType > 1) return Bad("unknown colour map type");
    switch (imageType & ~8) {
    case 1: header.kind = Kind::ColorMapped; break;
    case 2: header.kind = Kind::TrueColor; break;
    case 3: header.kind = Kind::Grey; break;
    default: return Bad("unknown image type");
    }
    header.compressed = (imageType & 8) != 0;
    header.mapFirst = Le16(&file[3]);
    header.mapLength = mapType ? Le16(&file[5]) : 0;
    header.mapEntryBits = file[7];
    header.width = Le16(&file[12]);
    header.height = Le16(&file[14]);
    header.pixelBits = file[16];
    header.pixelBytes = BytesFor(header.pixelBits);
    header.rightToLeft = (file[17] & kRightToLeft) != 0;
    header.topDown = (file[17] & kTopDown) != 0;

    const int bits = header.pixelBits;
    switch (header.kind) {
    case Kind::ColorMapped:
        if (!mapType || (bits != 8 && bits != 16)) return Bad("a colour-mapped picture needs a map and 8 or 16-bit indexes");
        break;
    case Kind::TrueColor:
        if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return Bad("unsupported true-colour depth");
        break;
    case Kind::Grey:
        if (bits != 8 && bits != 16) return Bad("unsupported grey depth");
        break;
    }
    const int entry = header.mapEntryBits;
    if (mapType && entry != 15 && entry != 16 && entry != 24 && entry != 32) return Bad("unsupported colour map entry size");

    header.mapOffset = kHeaderSize + idLength;
    header.dataOffset = header.mapOffset + static_cast<size_t>(header.mapLength) * (mapType ? BytesFor(entry) : 0);
    if (header.dataOffset > file.size()) return Bad("the colour map is cut short");
    return header;
}

// A pixel in the 16-bit layout A RRRRR GGGGG BBBBB (little-endian).
Rgb From555(const uint8_t* p) {
    const unsigned v = Le16(p);
    return {detail::WidenChannel((v >> 10) & 31, 5), detail::WidenChannel((v >> 5) & 31, 5),
            detail::WidenChannel(v & 31, 5)};
}

Rgb FromTrueColor(const uint8_t* p, size_t bytes) {
    if (bytes == 2) return From555(p);
    return {p[2], p[1], p[0]}; // BGR, then alpha in 32-bit pixels
}

std::vector<Rgb> ReadColorMap(std::span<const uint8_t> file, const TgaHeader& header) {
    std::vector<Rgb> map(static_cast<size_t>(header.mapLength));
    const size_t entryBytes = BytesFor(header.mapEntryBits);
    for (size_t i = 0; i < map.size(); ++i) map[i] = FromTrueColor(&file[header.mapOffset + i * entryBytes], entryBytes);
    return map;
}

class PixelConverter {
public:
    PixelConverter(const TgaHeader& header, std::vector<Rgb> map) : m_header(header), m_map(std::move(map)) {}

    Rgb operator()(const uint8_t* p) const {
        switch (m_header.kind) {
        case Kind::ColorMapped: {
            const int index = (m_header.pixelBytes == 2 ? Le16(p) : p[0]) - m_header.mapFirst;
            if (index < 0 || static_cast<size_t>(index) >= m_map.size()) return {}; // outside the map: black
            return m_map[static_cast<size_t>(index)];
        }
        case Kind::Grey:
            return {p[0], p[0], p[0]}; // a 16-bit grey pixel's second byte is alpha
        case Kind::TrueColor:
            break;
        }
        return FromTrueColor(p, m_header.pixelBytes);
    }

private:
    const TgaHeader& m_header;
    std::vector<Rgb> m_map;
};

// Hands out one row of file-order pixels at a time: a view of the file for
// raw data, RLE packets expanded into a buffer otherwise; a packet left
// unfinished at a row's end carries over.
class RowReader {
public:
    RowReader(std::span<const uint8_t> data, const TgaHeader& header)
        : m_data(data), m_header(header), m_rowBytes(static_cast<size_t>(header.width) * header.pixelBytes) {
        if (header.compressed) m_row.resize(m_rowBytes);
    }

    Result<std::span<const uint8_t>> Next() {
        if (!m_header.compressed) {
            if (m_data.size() - m_at < m_rowBytes) return Bad("the pixel data ends before the picture does");
            const auto row = m_data.subspan(m_at, m_rowBytes);
            m_at += m_rowBytes;
            return row;
        }
        const size_t bytes = m_header.pixelBytes;
        for (size_t x = 0; x < m_rowBytes; x += bytes) {
            if (m_left == 0)
                if (auto status = StartPacket(); !status) return status.Error();
            if (!m_run) {
                m_pixel = m_at;
                m_at += bytes;
            }
            std::copy_n(&m_data[m_pixel], bytes, &m_row[x]);
            --m_left;
        }
        return std::span<const uint8_t>(m_row);
    }

private:
    Status StartPacket() {
        const size_t bytes = m_header.pixelBytes;
        if (m_at >= m_data.size()) return Bad("the RLE data ends before the picture does");
        const uint8_t packet = m_data[m_at++];
        m_run = (packet & 0x80) != 0;
        m_left = (packet & 0x7F) + 1;
        const size_t needed = m_run ? bytes : bytes * static_cast<size_t>(m_left);
        if (m_data.size() - m_at < needed) return Bad("an RLE packet is cut short");
        if (m_run) {
            m_pixel = m_at; // the repeated pixel
            m_at += bytes;
        }
        return {};
    }

    std::span<const uint8_t> m_data;
    const TgaHeader& m_header;
    size_t m_rowBytes;
    std::vector<uint8_t> m_row;
    size_t m_at = 0;
    size_t m_pixel = 0; // where the pixel to copy next starts
    int m_left = 0;
    bool m_run = false;
};

void ConvertRow(std::span<const uint8_t> row, uint8_t* dst, const TgaHeader& header, const PixelConverter& convert) {
    const auto width = static_cast<size_t>(header.width);
    if (header.kind == Kind::TrueColor && header.pixelBytes == 3) return detail::SwapRedBlue(row.data(), dst, width);
    if (header.kind == Kind::TrueColor && header.pixelBytes == 4) return detail::BgrxToRgb(row.data(), dst, width);
    for (size_t x = 0; x < width; ++x, dst += 3) {
        const Rgb c = convert(&row[x * header.pixelBytes]);
        dst[0] = c.r;
        dst[1] = c.g;
        dst[2] = c.b;
    }
}

void ReversePixels(uint8_t* row, int width) {
    for (int left = 0, right = width - 1; left < right; ++left, --right)
        std::swap_ranges(row + 3 * static_cast<size_t>(left), row + 3 * static_cast<size_t>(left) + 3,
                         row + 3 * static_cast<size_t>(right));
}

Result<RgbImage> DecodeTga(std::span<const uint8_t> file) {
    auto header = ReadHeader(file);
    if (!header) return header.Error();
    const auto data = file.subspan(header->dataOffset);
    // Raw data needs every pixel's bytes; an RLE packet of at least
    // 1 + pixelBytes bytes gives at most 128 pixels.
    const uint64_t describable = header->compressed ? detail::SaturatingMultiply(data.size() / (1 + header->pixelBytes), 128)
                                                    : data.size() / header->pixelBytes;
    if (auto size = CheckPictureSize(header->width, header->height, describable, ErrorCode::BadTga); !size)
        return size.Error();

    const PixelConverter convert(*header, ReadColorMap(file, *header));
    RgbImage image = RgbImage::Uninitialized(header->width, header->height);
    RowReader reader(data, *header);
    for (int y = 0; y < header->height; ++y) {
        auto row = reader.Next();
        if (!row) return row.Error();
        uint8_t* dst = image.Row(header->topDown ? y : header->height - 1 - y);
        ConvertRow(*row, dst, *header, convert);
        if (header->rightToLeft) ReversePixels(dst, header->width);
    }
    return image;
}

} // namespace

std::optional<RgbImage> ReadTga(Source& source) {
    return detail::AtBoundary([&] { return DecodeTga(source.TakeRemainder()); });
}

} // namespace showsaver::codec
