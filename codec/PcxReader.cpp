// PCX reader. A 128-byte header, then the scan lines, each made of `planes`
// plane rows of `bytesPerLine` bytes (padding past the picture's width is
// ignored), usually RLE-compressed: a byte of the form 11nnnnnn repeats the
// next byte n times, any other byte stands for itself. Runs may cross plane
// and scan-line boundaries, so the stream is decoded as one.
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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Expands the RLE (or raw) stream one scan line at a time.
class ScanLineReader {
public:
    ScanLineReader(std::span<const uint8_t> data, bool compressed) : m_data(data), m_compressed(compressed) {}

    Status Next(std::span<uint8_t> line) {
        if (!m_compressed) {
            if (m_data.size() - m_at < line.size()) return Bad("the pixel data ends before the picture does");
            std::memcpy(line.data(), &m_data[m_at], line.size());
            m_at += line.size();
            return {};
        }
        uint8_t* out = line.data();
        uint8_t* const end = out + line.size();
        // A run may go on from the line before.
        const size_t carried = std::min(static_cast<size_t>(m_runLeft), line.size());
        if (carried > 0) std::memset(out, m_runValue, carried);
        out += carried;
        m_runLeft -= static_cast<int>(carried);
        const uint8_t* in = m_data.data() + m_at;
        const uint8_t* const inEnd = m_data.data() + m_data.size();
        // The fast loop stops where a run could cross the line's end or a
        // read the data's.
#if defined(__SSE2__)
        // Sixteen bytes at a time: a block without a run's head (most of a
        // photograph's bytes are below C0) goes in one store; in a block with
        // heads, each head's run is expanded and the literals between them go
        // in one store each, without loading the block again.
        const __m128i heads = _mm_set1_epi8(static_cast<char>(0xC0));
        // Room for a block's literals and a run after them (15 + 64 bytes),
        // and a second block's worth of input beyond the block.
        while (end - out >= 80 && inEnd - in >= 32) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(block, heads), heads)));
            if (found == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
                in += 16;
                out += 16;
                continue;
            }
            size_t at = 0;   // bytes of the block used
            bool room = true;
            do {
                const auto head = static_cast<size_t>(__builtin_ctz(found));
                if (head == 15) break;   // its value is in the next block
                if (at > 0 && end - out < 80) {
                    room = false;
                    break;
                }
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)));
                out += head - at;
                // The run in four stores of its value (the room is there); a
                // run of length 0 gives nothing. Its value byte is no head.
                const size_t length = in[head] & 0x3Fu;
                const __m128i value = _mm_set1_epi8(static_cast<char>(in[head + 1]));
                for (int part = 0; part < 4; ++part) _mm_storeu_si128(reinterpret_cast<__m128i*>(out) + part, value);
                out += length;
                at = head + 2;
                found &= ~0u << at;
            } while (found != 0);
            // The literals after the last run, up to a head in the last byte.
            const size_t stop = (found >> 15) & 1u ? 15 : 16;
            if (room && at < stop && end - out >= 16) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)));
                out += stop - at;
                at = stop;
            }
            in += at;
        }
#endif
        while (end - out > 63 && inEnd - in >= 2) {
            const uint8_t byte = in[0];
            if (byte < 0xC0) {
                *out++ = byte;
                ++in;
                continue;
            }
            const size_t length = byte & 0x3Fu;
            if (length > 0) std::memset(out, in[1], length);
            out += length;
            in += 2;
        }
        // The rest, with every check.
        while (out < end) {
            if (in >= inEnd) return Bad("the pixel data ends before the picture does");
            const uint8_t byte = *in++;
            if (byte < 0xC0) {
                *out++ = byte;
                continue;
            }
            // A run of length 0 (byte C0) gives nothing and is skipped, as
            // other readers do.
            if (in >= inEnd) return Bad("an RLE run is cut short");
            const uint8_t value = *in++;
            const size_t length = byte & 0x3Fu;
            const size_t taken = std::min(length, static_cast<size_t>(end - out));
            std::memset(out, value, taken);
            out += taken;
            if (taken < length) {
                m_runLeft = static_cast<int>(length - taken);
                m_runValue = value;
            }
        }
        m_at = static_cast<size_t>(in - m_data.data());
        return {};
    }

private:
    std::span<const uint8_t> m_data;
    bool m_compressed;
    size_t m_at = 0;
    int m_runLeft = 0;
    uint8_t m_runValue = 0;
};

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
    std::vector<uint8_t> line(lineBytes);
    ScanLineReader reader(data, header->compressed);
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
