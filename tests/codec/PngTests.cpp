// PNG reader: every colour type and bit depth, interlaced files and tRNS
// transparency, written by ImageMagick and checked against its own
// decoding (alpha is dropped by both: the colour channels as stored).
// Broken files fail with code 15.

#include <zlib.h>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

struct PngVariant {
    const char* name;
    std::vector<std::string> args;
    const char* prefix;
    int bitDepth;
    int colorType;
    bool interlaced;
    bool transparency; // has a tRNS chunk
};
void PrintTo(const PngVariant& variant, std::ostream* out) { *out << variant.name; }

bool HasChunk(const Bytes& png, const char* type) {
    for (size_t at = 8; at + 8 <= png.size();) {
        const size_t length = size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 | size_t{png[at + 2]} << 8 | png[at + 3];
        if (std::equal(type, type + 4, png.begin() + static_cast<ptrdiff_t>(at) + 4)) return true;
        at += 12 + length;
    }
    return false;
}

class PngAgainstImageMagick : public ::testing::TestWithParam<PngVariant> {
protected:
    static void SetUpTestSuite() {
        if (!testing::HaveProgram("convert")) return;
        s_dir = new TempDir;
        testing::WritePpm(*s_dir / "source.ppm", testing::MakePicture(37, 23, 7));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static TempDir* s_dir;
};
TempDir* PngAgainstImageMagick::s_dir = nullptr;

TEST_P(PngAgainstImageMagick, DecodesLikeImageMagick) {
    if (!s_dir) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const auto& variant = GetParam();
    const auto path = *s_dir / (std::string(variant.name) + ".png");
    ASSERT_TRUE(testing::Convert(*s_dir / "source.ppm", variant.args, variant.prefix + path.string()));

    const Bytes file = testing::ReadBytes(path);
    ASSERT_GT(file.size(), 33u);
    ASSERT_EQ(file[24], variant.bitDepth);
    ASSERT_EQ(file[25], variant.colorType);
    ASSERT_EQ(file[28], variant.interlaced ? 1 : 0);
    ASSERT_EQ(HasChunk(file, "tRNS"), variant.transparency);

    auto ours = testing::ReadFile(ReadPng, path);
    ASSERT_TRUE(ours) << LastErrorDetail();
    EXPECT_EQ(ours->Width(), 37);
    EXPECT_EQ(ours->Height(), 23);
    auto magick = testing::MagickRgb(path);
    ASSERT_TRUE(magick);
    EXPECT_TRUE(testing::SamePixels(*ours, *magick));
}

// Sixteen-bit variants darken the picture in ImageMagick's 16-bit space
// first, so that their samples are not just 8-bit values times 257 and the
// rounding to 8 bits is exercised.
const std::vector<std::string> kSixteen{"-depth", "16", "-evaluate", "multiply", "0.7"};
std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const std::vector<std::string> kGrey{"-colorspace", "Gray"};
const std::vector<std::string> kAlpha{"-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel"};
const std::vector<std::string> kBinaryAlpha{"-alpha", "set", "-channel", "A", "-fx", "i<10?0:1", "+channel"};
const std::vector<std::string> kNoBackground{"-define", "png:exclude-chunk=bKGD"}; // bKGD would take a palette slot

INSTANTIATE_TEST_SUITE_P(
    Variants, PngAgainstImageMagick,
    ::testing::Values(
        PngVariant{"grey1", Join(kGrey, {"-threshold", "50%", "-define", "png:bit-depth=1", "-define", "png:color-type=0"}), "", 1, 0, false, false},
        PngVariant{"grey2", Join(kGrey, {"-posterize", "4", "-define", "png:bit-depth=2", "-define", "png:color-type=0"}), "", 2, 0, false, false},
        PngVariant{"grey4", Join(kGrey, {"-posterize", "16", "-define", "png:bit-depth=4", "-define", "png:color-type=0"}), "", 4, 0, false, false},
        PngVariant{"grey8", Join(kGrey, {"-define", "png:color-type=0"}), "", 8, 0, false, false},
        PngVariant{"grey16", Join(Join(kGrey, kSixteen), {"-define", "png:color-type=0"}), "", 16, 0, false, false},
        PngVariant{"rgb8", {}, "PNG24:", 8, 2, false, false},
        PngVariant{"rgb16", kSixteen, "PNG48:", 16, 2, false, false},
        PngVariant{"palette1", Join({"-colors", "2"}, kNoBackground), "", 1, 3, false, false},
        PngVariant{"palette2", Join({"-colors", "4"}, kNoBackground), "", 2, 3, false, false},
        PngVariant{"palette4", Join({"-colors", "16"}, kNoBackground), "", 4, 3, false, false},
        PngVariant{"palette8", {}, "PNG8:", 8, 3, false, false},
        PngVariant{"palette4_trns", Join(Join({"-colors", "8"}, kBinaryAlpha), kNoBackground), "", 4, 3, false, true},
        PngVariant{"palette8_trns", kBinaryAlpha, "PNG8:", 8, 3, false, true},
        PngVariant{"grey_alpha8", Join(Join(kGrey, kAlpha), {"-define", "png:color-type=4"}), "", 8, 4, false, false},
        PngVariant{"grey_alpha16", Join(Join(Join(kGrey, kSixteen), kAlpha), {"-define", "png:color-type=4"}), "", 16, 4, false, false},
        PngVariant{"rgba8", kAlpha, "PNG32:", 8, 6, false, false},
        PngVariant{"rgba16", Join(kSixteen, kAlpha), "PNG64:", 16, 6, false, false},
        PngVariant{"grey8_trns", Join(Join(kGrey, kBinaryAlpha), {"-define", "png:color-type=0", "-define", "png:bit-depth=8"}), "", 8, 0, false, true},
        PngVariant{"rgb8_trns", Join(kBinaryAlpha, {"-define", "png:color-type=2", "-define", "png:bit-depth=8"}), "", 8, 2, false, true},
        PngVariant{"interlaced_rgb8", {"-interlace", "PNG"}, "PNG24:", 8, 2, true, false},
        PngVariant{"interlaced_rgb16", Join(kSixteen, {"-interlace", "PNG"}), "PNG48:", 16, 2, true, false},
        PngVariant{"interlaced_palette2", Join({"-colors", "4", "-interlace", "PNG"}, kNoBackground), "", 2, 3, true, false},
        PngVariant{"interlaced_rgba8", Join(kAlpha, {"-interlace", "PNG"}), "PNG32:", 8, 6, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Broken files -------------------------------------------------------------

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
