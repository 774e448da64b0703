// JPEG reader. YCbCr, greyscale and RGB files must give exactly the pixels
// djpeg gives (the same library with the same settings: no tolerance).
// CMYK and YCCK, which djpeg does not turn into RGB, are checked on flat
// colour blocks whose RGB is known, and Adobe files against ImageMagick
// (within 1: it converts through 16-bit intermediates). Broken files fail
// with code 9.

#include <cstdio>

#include <jpeglib.h>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

std::optional<RgbImage> Decode(const Bytes& bytes) { return testing::ReadMemory(ReadJpeg, bytes); }

// djpeg's RGB output at `scale` ("1/2" decodes at half the size), read back
// from its PPM file.
std::optional<Bytes> DjpegRgb(const std::filesystem::path& path, const std::string& scale = "1/1") {
    const auto out = path.string() + ".djpeg.ppm";
    if (testing::RunProgram({"djpeg", "-scale", scale, "-rgb", "-ppm", "-outfile", out, path.string()}) != 0)
        return std::nullopt;
    Bytes ppm = testing::ReadBytes(out);
    // "P6\n<w> <h>\n255\n" then the pixels.
    size_t at = 0;
    for (int newlines = 0; at < ppm.size() && newlines < 3; ++at)
        if (ppm[at] == '\n') ++newlines;
    return Bytes(ppm.begin() + static_cast<ptrdiff_t>(at), ppm.end());
}

// Writes a JPEG with libjpeg from `samples` (components bytes per pixel).
struct JpegSpec {
    int width = 8;
    int height = 8;
    int components = 3;
    J_COLOR_SPACE input = JCS_RGB;
    J_COLOR_SPACE stored = JCS_YCbCr;
    bool adobeMarker = false;
    bool progressive = false;
    bool exifInsteadOfJfif = false; // starts FF D8 FF E1, as cameras write
    int quality = 100;
};

Bytes WriteJpegWithLibjpeg(const JpegSpec& spec, const Bytes& samples) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(spec.width);
    info.image_height = static_cast<JDIMENSION>(spec.height);
    info.input_components = spec.components;
    info.in_color_space = spec.input;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, spec.stored);
    for (int i = 0; i < info.num_components; ++i) info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    info.write_Adobe_marker = spec.adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&info, spec.quality, TRUE);
    if (spec.progressive) jpeg_simple_progression(&info);
    info.write_JFIF_header = spec.exifInsteadOfJfif ? FALSE : TRUE;
    jpeg_start_compress(&info, TRUE);
    if (spec.exifInsteadOfJfif) jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>("Exif\0"), 6);
    const size_t stride = static_cast<size_t>(spec.width * spec.components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&samples[info.next_scanline * stride]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// --- Against djpeg ------------------------------------------------------------

struct MagickJpeg {
    const char* name;
    std::vector<std::string> args;
};
void PrintTo(const MagickJpeg& variant, std::ostream* out) { *out << variant.name; }

class JpegAgainstDjpeg : public ::testing::TestWithParam<MagickJpeg> {};

// The tests' 61 × 43 picture written by ImageMagick as the JPEG `path` with
// `options`, through a PPM beside it.
bool WriteMagickJpeg(const std::filesystem::path& path, const std::vector<std::string>& options) {
    const auto source = path.parent_path() / "source.ppm";
    testing::WritePpm(source, testing::MakePicture(61, 43));
    std::vector<std::string> argv{"convert", source.string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(path.string());
    return testing::RunProgram(argv) == 0;
}

TEST_P(JpegAgainstDjpeg, DecodesLikeLibjpegsOwnTool) {
    if (!testing::HaveProgram("convert") || !testing::HaveProgram("djpeg"))
        GTEST_SKIP() << "needs ImageMagick's convert and djpeg";
    TempDir dir;
    const auto path = dir / "picture.jpg";
    ASSERT_TRUE(WriteMagickJpeg(path, GetParam().args));

    auto ours = testing::ReadFile(ReadJpeg, path);
    ASSERT_TRUE(ours) << LastErrorDetail();
    EXPECT_EQ(ours->Width(), 61);
    EXPECT_EQ(ours->Height(), 43);
    const Bytes file = testing::ReadBytes(path);
    auto checked = CheckJpeg(*OpenMemorySource(file));
    ASSERT_TRUE(checked) << LastErrorDetail();
    EXPECT_EQ(checked->width, 61);
    EXPECT_EQ(checked->height, 43);
    auto reference = DjpegRgb(path);
    ASSERT_TRUE(reference);
    EXPECT_TRUE(testing::SamePixels(*ours, *reference));
}

INSTANTIATE_TEST_SUITE_P(Variants, JpegAgainstDjpeg,
                         ::testing::Values(MagickJpeg{"baseline_420", {"-quality", "85", "-sampling-factor", "2x2"}},
                                           MagickJpeg{"baseline_422", {"-quality", "85", "-sampling-factor", "2x1"}},
                                           MagickJpeg{"baseline_444", {"-quality", "95", "-sampling-factor", "1x1"}},
                                           MagickJpeg{"progressive", {"-quality", "80", "-interlace", "JPEG"}},
                                           MagickJpeg{"greyscale", {"-colorspace", "Gray"}},
                                           MagickJpeg{"greyscale_progressive", {"-colorspace", "Gray", "-interlace", "JPEG"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture shown smaller than half its size is decoded at the smallest of
// its half, quarter and eighth sizes that still covers what is shown, as
// djpeg -scale decodes it; its own size is reported beside.
TEST(JpegReader, ScaledDecodingTakesTheSmallestScaleAtLeastTheSizeAskedFor) {
    if (!testing::HaveProgram("convert") || !testing::HaveProgram("djpeg"))
        GTEST_SKIP() << "needs ImageMagick's convert and djpeg";
    TempDir dir;
    const auto path = dir / "picture.jpg";
    ASSERT_TRUE(WriteMagickJpeg(path, {"-quality", "85", "-sampling-factor", "2x2"}));
    const Bytes file = testing::ReadBytes(path);
    struct Case {
        int askedWidth, askedHeight;
        const char* djpegScale;
        int width, height;
    };
    for (const Case& c : {Case{0, 0, "1/1", 61, 43}, Case{40, 10, "1/1", 61, 43}, Case{31, 22, "1/2", 31, 22},
                          Case{16, 11, "1/4", 16, 11}, Case{16, 12, "1/2", 31, 22}, Case{8, 6, "1/8", 8, 6},
                          Case{1, 1, "1/8", 8, 6}}) {
        const std::string what = std::to_string(c.askedWidth) + " x " + std::to_string(c.askedHeight);
        PictureSize full;
        auto ours = ReadJpegScaled(*OpenMemorySource(file), c.askedWidth, c.askedHeight, full);
        ASSERT_TRUE(ours) << what << ": " << LastErrorDetail();
        EXPECT_EQ(full.width, 61) << what;
        EXPECT_EQ(full.height, 43) << what;
        ASSERT_EQ(ours->Width(), c.width) << what;
        ASSERT_EQ(ours->Height(), c.height) << what;
        auto reference = DjpegRgb(path, c.djpegScale);
        ASSERT_TRUE(reference) << what;
        EXPECT_TRUE(testing::SamePixels(*ours, *reference)) << what;
    }
}

// Files libjpeg writes for us: RGB stored without YCbCr conversion, and a
// camera-style file whose first marker is APP1, not the JFIF APP0.
TEST(JpegReader, RgbStoredAndExifFirstFilesDecodeLikeDjpeg) {
    if (!testing::HaveProgram("djpeg")) GTEST_SKIP() << "needs djpeg";
    const RgbImage picture = testing::MakePicture(24, 16);
    const Bytes samples(picture.Bytes().begin(), picture.Bytes().end());
    JpegSpec rgb;
    rgb.width = 24;
    rgb.height = 16;
    rgb.stored = JCS_RGB;
    rgb.quality = 90;
    JpegSpec exif = rgb;
    exif.stored = JCS_YCbCr;
    exif.exifInsteadOfJfif = true;
    TempDir dir;
    for (const auto& [name, spec] : {std::pair{"rgb.jpg", rgb}, std::pair{"exif.jpg", exif}}) {
        const Bytes file = WriteJpegWithLibjpeg(spec, samples);
        testing::WriteBytes(dir / name, file);
        auto source = OpenMemorySource(file);
        EXPECT_EQ(GuessFormat(*source), Format::Jpeg) << name;
        auto ours = ReadJpeg(*source);
        ASSERT_TRUE(ours) << name << ": " << LastErrorDetail();
        auto reference = DjpegRgb(dir / name);
        ASSERT_TRUE(reference) << name;
        EXPECT_TRUE(testing::SamePixels(*ours, *reference)) << name;
    }
    EXPECT_EQ(WriteJpegWithLibjpeg(exif, samples)[3], 0xE1);
}

// --- CMYK and YCCK ------------------------------------------------------------

// Five flat 8 × 8 blocks of ink (C, M, Y, K) and the RGB each must become.
// Flat blocks survive JPEG at quality 100 without 4:4:4 loss.
struct InkBlock {
    uint8_t ink[4];
    uint8_t rgb[3];
};
constexpr InkBlock kInks[] = {
    {{0, 255, 255, 0}, {255, 0, 0}},   // red
    {{255, 0, 0, 0}, {0, 255, 255}},   // cyan
    {{0, 0, 0, 0}, {255, 255, 255}},   // paper
    {{0, 0, 0, 255}, {0, 0, 0}},       // full black
    {{0, 0, 0, 128}, {127, 127, 127}}, // half black
};
constexpr int kBlocks = static_cast<int>(std::size(kInks));

Bytes InkSamples(bool inverted) {
    Bytes samples;
    for (int y = 0; y < 8; ++y)
        for (const auto& block : kInks)
            for (int x = 0; x < 8; ++x)
                for (uint8_t ink : block.ink) samples.push_back(inverted ? static_cast<uint8_t>(255 - ink) : ink);
    return samples;
}

Bytes InkRgb() {
    Bytes rgb;
    for (int y = 0; y < 8; ++y)
        for (const auto& block : kInks)
            for (int x = 0; x < 8; ++x) rgb.insert(rgb.end(), block.rgb, block.rgb + 3);
    return rgb;
}

Bytes InkJpeg(J_COLOR_SPACE stored, bool adobe) {
    JpegSpec spec;
    spec.width = 8 * kBlocks;
    spec.components = 4;
    spec.input = JCS_CMYK;
    spec.stored = stored;
    spec.adobeMarker = adobe;
    return WriteJpegWithLibjpeg(spec, InkSamples(adobe));
}

TEST(JpegReaderCmyk, PlainCmykHoldsInkAmounts) {
    auto image = Decode(InkJpeg(JCS_CMYK, false));
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, InkRgb()));
}

TEST(JpegReaderCmyk, AdobeCmykIsInverted) {
    auto image = Decode(InkJpeg(JCS_CMYK, true));
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, InkRgb()));
}

TEST(JpegReaderCmyk, AdobeYcckIsInvertedToo) {
    auto image = Decode(InkJpeg(JCS_YCCK, true));
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, InkRgb(), 1)); // YCC round trip
}

TEST(JpegReaderCmyk, AdobeFilesDecodeLikeImageMagick) {
    if (!testing::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    testing::WritePpm(dir / "source.ppm", testing::MakePicture(40, 24));
    ASSERT_EQ(testing::RunProgram({"convert", (dir / "source.ppm").string(), "-colorspace", "CMYK",
                                   (dir / "cmyk.jpg").string()}),
              0);
    testing::WriteBytes(dir / "ycck.jpg", InkJpeg(JCS_YCCK, true));
    for (const char* name : {"cmyk.jpg", "ycck.jpg"}) {
        auto ours = testing::ReadFile(ReadJpeg, dir / name);
        ASSERT_TRUE(ours) << name << ": " << LastErrorDetail();
        auto magick = testing::MagickRgb(dir / name);
        ASSERT_TRUE(magick) << name;
        EXPECT_TRUE(testing::SamePixels(*ours, *magick, 1)) << name;
    }
}

// --- Broken files -------------------------------------------------------------

Bytes SmallJpeg(bool progressive = false) {
    const RgbImage picture = testing::MakePicture(32, 32);
    JpegSpec spec;
    spec.width = spec.height = 32;
    spec.progressive = progressive;
    spec.quality = 75;
    return WriteJpegWithLibjpeg(spec, Bytes(picture.Bytes().begin(), picture.Bytes().end()));
}

// Both the reader and the check that keeps no pixels refuse `bytes`.
void ExpectFails(const Bytes& bytes, ErrorCode code, const char* what) {
    EXPECT_FALSE(Decode(bytes)) << what;
    EXPECT_EQ(LastError(), static_cast<int>(code)) << what;
    EXPECT_FALSE(CheckJpeg(*OpenMemorySource(bytes))) << what;
    EXPECT_EQ(LastError(), static_cast<int>(code)) << what;
}

size_t FindMarker(const Bytes& bytes, uint8_t marker, size_t from = 2) {
    for (size_t i = from; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == marker) return i;
    return bytes.size();
}

TEST(JpegReaderRefuses, TruncatedFiles) {
    for (bool progressive : {false, true}) {
        const Bytes whole = SmallJpeg(progressive);
        ASSERT_TRUE(Decode(whole));
        for (size_t size : {size_t{0}, size_t{3}, size_t{100}, whole.size() / 2, whole.size() - 40})
            ExpectFails(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size)), ErrorCode::BadJpeg,
                        progressive ? "progressive" : "baseline");
    }
}

TEST(JpegReaderRefuses, GarbageAfterTheStartMarker) {
    Bytes garbage{0xFF, 0xD8, 0xFF, 0xE0};
    garbage.resize(400, 0x5A);
    ExpectFails(garbage, ErrorCode::BadJpeg, "garbage");
}

TEST(JpegReaderRefuses, HugeSizeAnnouncedByASmallFile) {
    Bytes file = SmallJpeg();
    const size_t sof = FindMarker(file, 0xC0);
    ASSERT_LT(sof, file.size());
    // Height and width follow the marker, length and precision. 4000 × 4000
    // is within libjpeg's own limits, so only our bound stops it.
    for (size_t i : {sof + 5, sof + 7}) file[i] = 0x0F;
    for (size_t i : {sof + 6, sof + 8}) file[i] = 0xA0;
    ExpectFails(file, ErrorCode::BadJpeg, "4000 x 4000 in about a kilobyte");
}

TEST(JpegReaderRefuses, ProgressiveFilesWithImplausiblyManyScans) {
    const Bytes file = SmallJpeg(true);
    // Repeat the last scan until there are far more scans than any encoder
    // writes; libjpeg itself would only warn and go on.
    const size_t eoi = file.size() - 2;
    size_t lastScan = 0;
    for (size_t at = FindMarker(file, 0xDA); at < eoi; at = FindMarker(file, 0xDA, at + 2)) lastScan = at;
    Bytes many(file.begin(), file.begin() + static_cast<ptrdiff_t>(eoi));
    const Bytes scan(file.begin() + static_cast<ptrdiff_t>(lastScan), file.begin() + static_cast<ptrdiff_t>(eoi));
    for (int i = 0; i < 150; ++i) many.insert(many.end(), scan.begin(), scan.end());
    many.insert(many.end(), {0xFF, 0xD9});
    ExpectFails(many, ErrorCode::BadJpeg, "150 extra scans");
}

} // namespace
} // namespace showsaver::codec
