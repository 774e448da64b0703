// BMP and JPEG writers: the exact bytes of a small BMP, round trips through
// our readers and ImageMagick, the quality-100 JPEG's tables, and failures
// (which must leave no file behind).

#include <sys/resource.h>

#include <csignal>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

uint32_t Le32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24; }

// A smooth picture: JPEG keeps it within a few levels even with its 2 × 2
// chroma subsampling.
RgbImage Smooth(int width, int height) {
    RgbImage image = RgbImage::Uninitialized(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.Row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(40 + 160 * x / width);
            p[1] = static_cast<uint8_t>(200 - 120 * y / height);
            p[2] = static_cast<uint8_t>(90 + 60 * (x + y) / (width + height));
        }
    return image;
}

TEST(WriteBmp, WritesBottomUpRowsPaddedToFourBytes) {
    TempDir dir;
    const RgbImage image = testing::ImageOf(2, 2, {1, 2, 3, 4, 5, 6, /*bottom*/ 7, 8, 9, 10, 11, 12});
    ASSERT_TRUE(WriteBmp(dir / "out.bmp", image));
    const Bytes file = testing::ReadBytes(dir / "out.bmp");
    ASSERT_EQ(file.size(), 54u + 16u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), 70u);  // file size
    EXPECT_EQ(Le32(file, 10), 54u); // pixel offset
    EXPECT_EQ(Le32(file, 14), 40u); // info header size
    EXPECT_EQ(Le32(file, 18), 2u);
    EXPECT_EQ(Le32(file, 22), 2u); // positive height: bottom-up
    EXPECT_EQ(file[26] | file[27] << 8, 1);
    EXPECT_EQ(file[28] | file[29] << 8, 24);
    EXPECT_EQ(Le32(file, 30), 0u); // BI_RGB
    EXPECT_EQ(Le32(file, 34), 16u);
    const Bytes pixels(file.begin() + 54, file.end());
    EXPECT_EQ(pixels, (Bytes{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
}

TEST(WriteBmp, RoundTripsThroughOurReaderAndImageMagick) {
    TempDir dir;
    const RgbImage picture = testing::MakePicture(37, 23);
    ASSERT_TRUE(WriteBmp(dir / "out.bmp", picture));
    auto back = testing::ReadFile(ReadBmp, dir / "out.bmp");
    ASSERT_TRUE(back);
    EXPECT_TRUE(testing::SamePixels(*back, picture));
    if (!testing::HaveProgram("convert")) return;
    auto magick = testing::MagickRgb(dir / "out.bmp");
    ASSERT_TRUE(magick);
    EXPECT_TRUE(testing::SamePixels(picture, *magick));
}

// Each DQT segment's tables (8-bit precision) must hold only 1s.
void ExpectQualityHundredTables(const Bytes& jpeg) {
    int tables = 0;
    for (size_t at = 2; at + 4 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA);) {
        ASSERT_EQ(jpeg[at], 0xFF) << "marker expected at " << at;
        const uint8_t marker = jpeg[at + 1];
        const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (marker == 0xDB) {
            for (size_t t = at + 4; t < at + 2 + length; t += 65, ++tables) {
                ASSERT_EQ(jpeg[t] >> 4, 0) << "8-bit table";
                for (size_t i = 1; i <= 64; ++i) ASSERT_EQ(jpeg[t + i], 1) << "table " << tables << " entry " << i;
            }
        }
        at += 2 + length;
    }
    EXPECT_EQ(tables, 2);
}

TEST(WriteJpeg, WritesABaselineJfifFileAtQualityHundred) {
    TempDir dir;
    const RgbImage picture = Smooth(48, 32);
    ASSERT_TRUE(WriteJpeg(dir / "out.jpg", picture));
    const Bytes file = testing::ReadBytes(dir / "out.jpg");
    ASSERT_GT(file.size(), 20u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_EQ(std::string(file.begin() + 6, file.begin() + 11), std::string("JFIF\0", 5));
    EXPECT_EQ(file[13], 0); // density units: none, that is an aspect ratio
    EXPECT_EQ(file[14] << 8 | file[15], 1);
    EXPECT_EQ(file[16] << 8 | file[17], 1);
    ExpectQualityHundredTables(file);

    auto back = testing::ReadFile(ReadJpeg, dir / "out.jpg");
    ASSERT_TRUE(back);
    EXPECT_TRUE(testing::SamePixels(*back, picture, 3));
}

TEST(WriteJpeg, PlainColourComesBackWithinOneLevel) {
    TempDir dir;
    RgbImage plain = RgbImage::Uninitialized(64, 40);
    for (size_t i = 0; i < plain.SizeBytes(); i += 3) {
        plain.Data()[i] = 58;
        plain.Data()[i + 1] = 110;
        plain.Data()[i + 2] = 165;
    }
    ASSERT_TRUE(WriteJpeg(dir / "wallpaper.bmp", plain)); // the name does not matter
    auto source = OpenFileSource(dir / "wallpaper.bmp");
    ASSERT_TRUE(source);
    EXPECT_EQ(GuessFormat(*source), Format::Jpeg);
    auto back = ReadJpeg(*source);
    ASSERT_TRUE(back);
    EXPECT_TRUE(testing::SamePixels(*back, plain, 1));
}

TEST(Writers, RefuseEmptyImagesAndBadQuality) {
    TempDir dir;
    EXPECT_FALSE(WriteBmp(dir / "a.bmp", RgbImage()));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
    EXPECT_FALSE(WriteJpeg(dir / "a.jpg", RgbImage()));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
    const RgbImage picture = testing::MakePicture(4, 4);
    for (int quality : {0, 101}) {
        EXPECT_FALSE(WriteJpeg(dir / "a.jpg", picture, quality));
        EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(Writers, FailToCreateFilesInMissingFolders) {
    TempDir dir;
    const RgbImage picture = testing::MakePicture(4, 4);
    EXPECT_FALSE(WriteBmp(dir / "missing" / "a.bmp", picture));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::FileOpen));
    EXPECT_FALSE(WriteJpeg(dir / "missing" / "a.jpg", picture));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::FileOpen));
}

// With the file size limit at 1 kB, writes past it fail (EFBIG, the signal
// ignored); the writers must report error 4 and remove what they wrote.
// Runs in a child process, which exits with the error code (or 100 when the
// write succeeded, 101 when a file was left behind).
using Writer = bool (*)(const std::filesystem::path&, const RgbImage&);

[[noreturn]] void WriteUnderSizeLimit(Writer write, const std::filesystem::path& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool written = write(path, testing::MakePicture(300, 200));
    std::_Exit(written ? 100 : std::filesystem::exists(path) ? 101 : LastError());
}

void ExpectWriteFailureRemovesTheFile(Writer write, const std::filesystem::path& path) {
    EXPECT_EXIT(WriteUnderSizeLimit(write, path), ::testing::ExitedWithCode(static_cast<int>(ErrorCode::FileWrite)), "");
}

TEST(WritersDeathTest, ReportWriteFailuresAndLeaveNoPartialFile) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    TempDir dir;
    ExpectWriteFailureRemovesTheFile([](const auto& p, const RgbImage& image) { return WriteBmp(p, image); },
                                     dir / "big.bmp");
    ExpectWriteFailureRemovesTheFile([](const auto& p, const RgbImage& image) { return WriteJpeg(p, image, 100); },
                                     dir / "big.jpg");
}

} // namespace
} // namespace showsaver::codec
