// PNG reader on broken files, which fail with code 15 (every colour type,
// bit depth, interlacing and tRNS is compared with ImageMagick in
// MagickComparisonTests).

#include <zlib.h>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

std::optional<RgbImage> Decode(const Bytes& bytes) { return testing::ReadMemory(ReadPng, bytes); }

void ExpectFails(const Bytes& bytes, ErrorCode code, const char* what) {
    EXPECT_FALSE(Decode(bytes)) << what;
    EXPECT_EQ(LastError(), static_cast<int>(code)) << what;
}

void AppendChunk(Bytes& png, const char* type, const Bytes& data) {
    const auto length = static_cast<uint32_t>(data.size());
    png.insert(png.end(), {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                           static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    const size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uLong crc = crc32(0, &png[typeAt], static_cast<uInt>(4 + data.size()));
    png.insert(png.end(), {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                           static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)});
}

// A greyscale PNG of width × height whose row bytes are all `level`;
// `rows` limits how many rows the compressed data holds.
Bytes GreyPng(uint32_t width, uint32_t height, uint32_t rows, uint8_t level = 0x80, uint8_t depth = 8) {
    Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr{static_cast<uint8_t>(width >> 24), static_cast<uint8_t>(width >> 16), static_cast<uint8_t>(width >> 8),
               static_cast<uint8_t>(width), static_cast<uint8_t>(height >> 24), static_cast<uint8_t>(height >> 16),
               static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height), depth, 0, 0, 0, 0};
    AppendChunk(png, "IHDR", ihdr);
    Bytes raw;
    for (uint32_t y = 0; y < rows; ++y) {
        raw.push_back(0); // filter: none
        raw.insert(raw.end(), (width * depth + 7) / 8, level);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes idat(size);
    compress2(idat.data(), &size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
    idat.resize(size);
    AppendChunk(png, "IDAT", idat);
    AppendChunk(png, "IEND", {});
    return png;
}

TEST(PngReader, HandBuiltGreyPictureDecodes) {
    auto image = Decode(GreyPng(3, 2, 2, 0x42));
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Bytes(18, 0x42)));
}

TEST(PngReaderRefuses, TruncatedFiles) {
    const Bytes whole = GreyPng(64, 64, 64);
    // (A file cut after its image data, only missing IEND, is complete.)
    for (size_t size : {size_t{0}, size_t{7}, size_t{20}, size_t{33}, size_t{45}, whole.size() - 30, whole.size() - 14})
        ExpectFails(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size)), ErrorCode::BadPng, "truncated");
}

TEST(PngReaderRefuses, ImageDataWithRowsMissing) { ExpectFails(GreyPng(16, 16, 8), ErrorCode::BadPng, "8 of 16 rows"); }

TEST(PngReaderRefuses, DamagedChecksums) {
    Bytes png = GreyPng(8, 8, 8);
    png[png.size() - 14] ^= 0x01; // inside the IDAT's checksum
    ExpectFails(png, ErrorCode::BadPng, "IDAT checksum");
    png = GreyPng(8, 8, 8);
    png[18] ^= 0x01; // the width, under the IHDR's checksum
    ExpectFails(png, ErrorCode::BadPng, "IHDR checksum");
}

TEST(PngReaderRefuses, HugeSizesAnnouncedByASmallFile) {
    ExpectFails(GreyPng(100000, 100000, 2), ErrorCode::BadPng, "100000 x 100000");
    ExpectFails(GreyPng(0, 5, 0), ErrorCode::BadPng, "zero width");
}

TEST(PngReaderRefuses, ConsistentPicturesBeyondThePixelCap) {
    // 20000 × 20000 one-bit pixels deflate to about 50 kB; the picture is
    // consistent but larger than the codec accepts.
    const Bytes png = GreyPng(20000, 20000, 20000, 0, 1);
    ExpectFails(png, ErrorCode::OutOfMemory, "400 megapixels");
}

TEST(PngReaderRefuses, MissingSignature) {
    Bytes png = GreyPng(2, 2, 2);
    png[1] = 'Q';
    ExpectFails(png, ErrorCode::BadPng, "signature");
}

} // namespace
} // namespace showsaver::codec
