// Every BMP, PNG, PCX and TGA variant ImageMagick writes, decoded by our
// readers and by ImageMagick itself (convert FILE -depth 8 rgb:OUT), which
// must agree pixel for pixel. Each case first checks the header bytes that
// make the file the variant it is about. Skipped without convert.

#include <algorithm>
#include <cstring>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;
using Args = std::vector<std::string>;

struct Expect {
    long offset; // from the end when negative
    uint8_t value;
};

struct MagickCase {
    const char* name;
    testing::Reader reader;
    const char* extension;
    Args args;              // convert options between source and output
    const char* prefix;     // ImageMagick coder for the output, such as "BMP2:"
    std::vector<Expect> header;
    const char* chunk = ""; // bytes the file must contain
    Args decodeArgs = {};   // options for ImageMagick's decoding
    int tolerance = 0;
};
void PrintTo(const MagickCase& c, std::ostream* out) { *out << c.name; }

class AgainstImageMagick : public ::testing::TestWithParam<MagickCase> {
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
TempDir* AgainstImageMagick::s_dir = nullptr;

TEST_P(AgainstImageMagick, DecodesLikeImageMagick) {
    if (!s_dir) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const MagickCase& c = GetParam();
    const auto path = *s_dir / (std::string(c.name) + "." + c.extension);
    ASSERT_TRUE(testing::Convert(*s_dir / "source.ppm", c.args, c.prefix + path.string()));

    const Bytes file = testing::ReadBytes(path);
    for (const auto& [offset, value] : c.header) {
        const long at = offset < 0 ? static_cast<long>(file.size()) + offset : offset;
        ASSERT_TRUE(at >= 0 && at < static_cast<long>(file.size())) << "offset " << offset;
        ASSERT_EQ(file[static_cast<size_t>(at)], value) << "header byte at " << offset;
    }
    ASSERT_NE(std::search(file.begin(), file.end(), c.chunk, c.chunk + std::strlen(c.chunk)), file.end()) << c.chunk;

    auto ours = testing::ReadFile(c.reader, path);
    ASSERT_TRUE(ours) << LastErrorDetail();
    EXPECT_EQ(ours->Width(), 37);
    EXPECT_EQ(ours->Height(), 23);
    auto magick = testing::MagickRgb(path, c.decodeArgs);
    ASSERT_TRUE(magick);
    EXPECT_TRUE(testing::SamePixels(*ours, *magick, c.tolerance));
}

std::string CaseName(const ::testing::TestParamInfo<MagickCase>& info) { return info.param.name; }

Args Join(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// BMP: info header size at 14, bits per pixel at 28 (24 in the 12-byte
// OS/2 core header), compression at 30.
std::vector<Expect> Bmp(uint8_t headerSize, uint8_t bits, uint8_t compression) {
    if (headerSize == 12) return {{14, 12}, {24, bits}};
    return {{14, headerSize}, {28, bits}, {30, compression}};
}
const Args kHalfAlpha{"-alpha", "set", "-channel", "A", "-evaluate", "set", "50%", "+channel"};

INSTANTIATE_TEST_SUITE_P(
    Bmp, AgainstImageMagick,
    ::testing::Values(MagickCase{"v5_24", ReadBmp, "bmp", {}, "", Bmp(124, 24, 0)},
                      MagickCase{"info_24", ReadBmp, "bmp", {}, "BMP3:", Bmp(40, 24, 0)},
                      MagickCase{"core_24", ReadBmp, "bmp", {}, "BMP2:", Bmp(12, 24, 0)},
                      MagickCase{"core_4", ReadBmp, "bmp", {"-colors", "16"}, "BMP2:", Bmp(12, 4, 0)},
                      MagickCase{"core_1", ReadBmp, "bmp", {"-colors", "2"}, "BMP2:", Bmp(12, 1, 0)},
                      MagickCase{"info_4", ReadBmp, "bmp", {"-colors", "16", "-compress", "None"}, "BMP3:", Bmp(40, 4, 0)},
                      MagickCase{"v4_1", ReadBmp, "bmp", {"-monochrome"}, "", Bmp(108, 1, 0)},
                      MagickCase{"v5_8", ReadBmp, "bmp", {"-type", "Palette", "-compress", "None"}, "", Bmp(124, 8, 0)},
                      MagickCase{"v5_rle8", ReadBmp, "bmp", {"-type", "Palette", "-compress", "RLE"}, "", Bmp(124, 8, 1)},
                      MagickCase{"rle8_few_colours", ReadBmp, "bmp", {"-colors", "5", "-compress", "RLE"}, "", Bmp(124, 8, 1)},
                      MagickCase{"v5_565", ReadBmp, "bmp", {"-define", "bmp:subtype=RGB565"}, "", Bmp(124, 16, 3)},
                      MagickCase{"v5_555", ReadBmp, "bmp", {"-define", "bmp:subtype=RGB555"}, "", Bmp(124, 16, 3)},
                      MagickCase{"v5_32_alpha", ReadBmp, "bmp", kHalfAlpha, "", Bmp(124, 32, 3)}),
    CaseName);

// PNG: IHDR bit depth at 24, colour type at 25, interlace method at 28.
std::vector<Expect> Png(uint8_t depth, uint8_t colorType, bool interlaced = false) {
    return {{24, depth}, {25, colorType}, {28, interlaced}};
}
const Args kGrey{"-colorspace", "Gray"};
const Args kAlpha{"-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel"};
const Args kBinaryAlpha{"-alpha", "set", "-channel", "A", "-fx", "i<10?0:1", "+channel"};
const Args kNoBackground{"-define", "png:exclude-chunk=bKGD"}; // bKGD would take a palette slot
// Darkened in ImageMagick's 16-bit space, so that 16-bit samples are not
// just 8-bit values times 257 and the scaling to 8 bits is exercised.
const Args kSixteen{"-depth", "16", "-evaluate", "multiply", "0.7"};
Args GreyDepth(const char* depth) { return {"-define", std::string("png:bit-depth=") + depth, "-define", "png:color-type=0"}; }

INSTANTIATE_TEST_SUITE_P(
    Png, AgainstImageMagick,
    ::testing::Values(
        MagickCase{"grey1", ReadPng, "png", Join(Join(kGrey, {"-threshold", "50%"}), GreyDepth("1")), "", Png(1, 0)},
        MagickCase{"grey2", ReadPng, "png", Join(Join(kGrey, {"-posterize", "4"}), GreyDepth("2")), "", Png(2, 0)},
        MagickCase{"grey4", ReadPng, "png", Join(Join(kGrey, {"-posterize", "16"}), GreyDepth("4")), "", Png(4, 0)},
        MagickCase{"grey8", ReadPng, "png", Join(kGrey, {"-define", "png:color-type=0"}), "", Png(8, 0)},
        MagickCase{"grey16", ReadPng, "png", Join(Join(kGrey, kSixteen), {"-define", "png:color-type=0"}), "", Png(16, 0)},
        MagickCase{"rgb8", ReadPng, "png", {}, "PNG24:", Png(8, 2)},
        MagickCase{"rgb16", ReadPng, "png", kSixteen, "PNG48:", Png(16, 2)},
        MagickCase{"palette1", ReadPng, "png", Join({"-colors", "2"}, kNoBackground), "", Png(1, 3)},
        MagickCase{"palette2", ReadPng, "png", Join({"-colors", "4"}, kNoBackground), "", Png(2, 3)},
        MagickCase{"palette4", ReadPng, "png", Join({"-colors", "16"}, kNoBackground), "", Png(4, 3)},
        MagickCase{"palette8", ReadPng, "png", {}, "PNG8:", Png(8, 3)},
        MagickCase{"palette4_trns", ReadPng, "png", Join(Join({"-colors", "8"}, kBinaryAlpha), kNoBackground), "", Png(4, 3), "tRNS"},
        MagickCase{"palette8_trns", ReadPng, "png", kBinaryAlpha, "PNG8:", Png(8, 3), "tRNS"},
        MagickCase{"grey_alpha8", ReadPng, "png", Join(Join(kGrey, kAlpha), {"-define", "png:color-type=4"}), "", Png(8, 4)},
        MagickCase{"grey_alpha16", ReadPng, "png", Join(Join(Join(kGrey, kSixteen), kAlpha), {"-define", "png:color-type=4"}), "", Png(16, 4)},
        MagickCase{"rgba8", ReadPng, "png", kAlpha, "PNG32:", Png(8, 6)},
        MagickCase{"rgba16", ReadPng, "png", Join(kSixteen, kAlpha), "PNG64:", Png(16, 6)},
        MagickCase{"grey8_trns", ReadPng, "png", Join(Join(kGrey, kBinaryAlpha), GreyDepth("8")), "", Png(8, 0), "tRNS"},
        MagickCase{"rgb8_trns", ReadPng, "png", Join(kBinaryAlpha, {"-define", "png:color-type=2", "-define", "png:bit-depth=8"}), "", Png(8, 2), "tRNS"},
        MagickCase{"interlaced_rgb8", ReadPng, "png", {"-interlace", "PNG"}, "PNG24:", Png(8, 2, true)},
        MagickCase{"interlaced_rgb16", ReadPng, "png", Join(kSixteen, {"-interlace", "PNG"}), "PNG48:", Png(16, 2, true)},
        MagickCase{"interlaced_palette2", ReadPng, "png", Join({"-colors", "4", "-interlace", "PNG"}, kNoBackground), "", Png(2, 3, true)},
        MagickCase{"interlaced_rgba8", ReadPng, "png", Join(kAlpha, {"-interlace", "PNG"}), "PNG32:", Png(8, 6, true)}),
    CaseName);

// PCX: bits per pixel at 3, planes at 65, bytes per line (37: odd, no
// padding) at 66; the 256-colour trailer's 0x0C 769 bytes from the end.
std::vector<Expect> Pcx(uint8_t bits, uint8_t planes, bool trailer) {
    std::vector<Expect> header{{3, bits}, {65, planes}, {66, 37}};
    if (trailer) header.push_back({-769, 0x0C});
    return header;
}

INSTANTIATE_TEST_SUITE_P(Pcx, AgainstImageMagick,
                         ::testing::Values(MagickCase{"rgb24", ReadPcx, "pcx", {}, "", Pcx(8, 3, false)},
                                           MagickCase{"rgba32", ReadPcx, "pcx", kAlpha, "", Pcx(8, 4, false)},
                                           MagickCase{"palette256", ReadPcx, "pcx", {"-type", "Palette"}, "", Pcx(8, 1, true)},
                                           MagickCase{"palette16", ReadPcx, "pcx", {"-colors", "16"}, "", Pcx(8, 1, true)}),
                         CaseName);

// TGA: image type at 2, bits per pixel at 16, descriptor at 17. ImageMagick
// keeps a TGA's rows in file order and only records the origin corner, so
// its decoding needs -auto-orient. It widens 5-bit channels by v × 255 / 31
// rounded down, we (and its own BMP reader) by repeating the high bits: the
// two differ by at most 1.
std::vector<Expect> Tga(uint8_t type, uint8_t bits, uint8_t descriptor) { return {{2, type}, {16, bits}, {17, descriptor}}; }
const Args kAutoOrient{"-auto-orient"};
const Args kRle{"-compress", "RLE"};

INSTANTIATE_TEST_SUITE_P(
    Tga, AgainstImageMagick,
    ::testing::Values(MagickCase{"true24", ReadTga, "tga", {}, "", Tga(2, 24, 0), "", kAutoOrient},
                      MagickCase{"true24_rle", ReadTga, "tga", kRle, "", Tga(10, 24, 0), "", kAutoOrient},
                      MagickCase{"true32", ReadTga, "tga", kAlpha, "", Tga(2, 32, 8), "", kAutoOrient},
                      MagickCase{"true32_rle", ReadTga, "tga", Join(kAlpha, kRle), "", Tga(10, 32, 8), "", kAutoOrient},
                      MagickCase{"true16", ReadTga, "tga", {"-depth", "5"}, "", Tga(2, 16, 0), "", kAutoOrient, 1},
                      MagickCase{"mapped8", ReadTga, "tga", {"-type", "Palette"}, "", Tga(1, 8, 0), "", kAutoOrient},
                      MagickCase{"mapped8_rle", ReadTga, "tga", Join({"-type", "Palette"}, kRle), "", Tga(9, 8, 0), "", kAutoOrient},
                      MagickCase{"grey8", ReadTga, "tga", kGrey, "", Tga(3, 8, 0), "", kAutoOrient},
                      MagickCase{"grey8_rle", ReadTga, "tga", Join(kGrey, kRle), "", Tga(11, 8, 0), "", kAutoOrient},
                      MagickCase{"top_left", ReadTga, "tga", {"-orient", "TopLeft"}, "", Tga(2, 24, 0x20), "", kAutoOrient},
                      MagickCase{"top_left_rle", ReadTga, "tga", Join({"-orient", "TopLeft"}, kRle), "", Tga(10, 24, 0x20), "", kAutoOrient}),
    CaseName);

} // namespace
} // namespace showsaver::codec
