// Resampling: area averages when shrinking (checked against a floating-
// point area average), bilinear interpolation with aligned pixel centres
// when enlarging, flat colours kept exactly, and the size checks.

#include <cmath>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;

// The exact area average: each output pixel is the mean of the source
// area it covers, pixels counted by the fraction they lie inside it.
Bytes AreaAverage(const RgbImage& source, int width, int height) {
    Bytes out;
    const double sx = static_cast<double>(source.Width()) / width, sy = static_cast<double>(source.Height()) / height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int v = 0; v < source.Height(); ++v) {
                    const double wy = std::max(0.0, std::min(v + 1.0, (y + 1) * sy) - std::max(double(v), y * sy));
                    for (int u = 0; wy > 0 && u < source.Width(); ++u) {
                        const double wx = std::max(0.0, std::min(u + 1.0, (x + 1) * sx) - std::max(double(u), x * sx));
                        sum += wx * wy * source.Row(v)[3 * u + c];
                    }
                }
                out.push_back(static_cast<uint8_t>(std::lround(sum / (sx * sy))));
            }
    return out;
}

TEST(Resample, SameSizeIsAnExactCopy) {
    const RgbImage picture = testing::MakePicture(13, 7);
    auto same = Resample(picture, 13, 7);
    ASSERT_TRUE(same);
    EXPECT_TRUE(testing::SamePixels(*same, picture));
}

TEST(Resample, HalvingAveragesEachTwoByTwoBlockRoundingHalvesUp) {
    const RgbImage picture = testing::MakePicture(16, 10, 4);
    auto half = Resample(picture, 8, 5);
    ASSERT_TRUE(half);
    Bytes expected;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sum = picture.Row(2 * y)[6 * x + c] + picture.Row(2 * y)[6 * x + 3 + c] +
                                picture.Row(2 * y + 1)[6 * x + c] + picture.Row(2 * y + 1)[6 * x + 3 + c];
                expected.push_back(static_cast<uint8_t>((sum + 2) / 4));
            }
    EXPECT_TRUE(testing::SamePixels(*half, expected));
}

TEST(Resample, ShrinkingByAnyFactorIsAnAreaAverage) {
    const RgbImage picture = testing::MakePicture(23, 17, 9);
    for (auto [w, h] : {std::pair{10, 7}, std::pair{7, 10}, std::pair{1, 1}, std::pair{22, 3}, std::pair{5, 17}}) {
        auto small = Resample(picture, w, h);
        ASSERT_TRUE(small);
        EXPECT_TRUE(testing::SamePixels(*small, AreaAverage(picture, w, h), 1)) << w << " x " << h;
    }
}

TEST(Resample, ShrinkingAFineCheckerboardGivesEvenGrey) {
    RgbImage board = RgbImage::Uninitialized(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) std::fill_n(board.Row(y) + 3 * x, 3, (x + y) % 2 ? 255 : 0);
    auto grey = Resample(board, 32, 32);
    ASSERT_TRUE(grey);
    EXPECT_TRUE(testing::SamePixels(*grey, Bytes(32 * 32 * 3, 128)));
}

TEST(Resample, EnlargingInterpolatesBetweenAlignedPixelCentres) {
    auto wide = Resample(testing::ImageOf(2, 1, {0, 0, 0, 200, 100, 40}), 4, 1);
    ASSERT_TRUE(wide);
    EXPECT_TRUE(testing::SamePixels(*wide, Bytes{0, 0, 0, 50, 25, 10, 150, 75, 30, 200, 100, 40}));

    auto tall = Resample(testing::ImageOf(1, 2, {0, 0, 0, 200, 100, 40}), 1, 4);
    ASSERT_TRUE(tall);
    EXPECT_TRUE(testing::SamePixels(*tall, Bytes{0, 0, 0, 50, 25, 10, 150, 75, 30, 200, 100, 40}));
}

TEST(Resample, EnlargingKeepsValuesBetweenTheirNeighbours) {
    const RgbImage picture = testing::MakePicture(9, 6, 2);
    auto big = Resample(picture, 40, 31);
    ASSERT_TRUE(big);
    const auto [low, high] = std::minmax_element(picture.Bytes().begin(), picture.Bytes().end());
    for (uint8_t v : big->Bytes()) {
        ASSERT_GE(v, *low);
        ASSERT_LE(v, *high);
    }
    // The corners are the source's corners.
    EXPECT_TRUE(std::equal(big->Row(0), big->Row(0) + 3, picture.Row(0)));
    EXPECT_TRUE(std::equal(big->Row(30) + 39 * 3, big->Row(30) + 40 * 3, picture.Row(5) + 8 * 3));
}

TEST(Resample, FlatColourStaysExactAtEverySize) {
    RgbImage flat = RgbImage::Uninitialized(7, 5);
    for (size_t i = 0; i < flat.SizeBytes(); i += 3) {
        flat.Data()[i] = 201;
        flat.Data()[i + 1] = 3;
        flat.Data()[i + 2] = 77;
    }
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 11}, std::pair{50, 2}, std::pair{6, 4}, std::pair{97, 61}}) {
        auto resized = Resample(flat, w, h);
        ASSERT_TRUE(resized);
        for (size_t i = 0; i < resized->SizeBytes(); i += 3)
            ASSERT_TRUE(resized->Data()[i] == 201 && resized->Data()[i + 1] == 3 && resized->Data()[i + 2] == 77)
                << w << " x " << h << " at byte " << i;
    }
}

TEST(Resample, IntoACallersBufferMatchesTheReturningForm) {
    const RgbImage picture = testing::MakePicture(31, 19, 6);
    Bytes buffer(20 * 12 * 3);
    ASSERT_TRUE(ResampleInto(picture, buffer, 20, 12));
    auto returned = Resample(picture, 20, 12);
    ASSERT_TRUE(returned);
    EXPECT_TRUE(testing::SamePixels(*returned, buffer));
}

// A source of several megabytes that is used up gives its rows back while
// they are read: the result is still the one the kept source gives, for
// shrinking, enlarging and the same size, and the source is empty after.
TEST(Resample, AUsedUpSourceGivesTheSamePixels) {
    const RgbImage picture = testing::MakePicture(1201, 1003, 9);
    for (auto [w, h] : {std::pair{640, 400}, std::pair{1500, 1100}, std::pair{1201, 1003}, std::pair{1, 1}}) {
        RgbImage source = picture.Clone();
        auto used = Resample(std::move(source), w, h);
        auto kept = Resample(picture, w, h);
        ASSERT_TRUE(used && kept) << w << " x " << h;
        EXPECT_TRUE(testing::SamePixels(*used, *kept))
            << w << " x " << h;
        EXPECT_TRUE(source.Empty());
    }
}

TEST(Resample, RefusesBadSizes) {
    const RgbImage picture = testing::MakePicture(4, 4);
    for (auto [w, h] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{-3, 4}}) {
        EXPECT_FALSE(Resample(picture, w, h));
        EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
    }
    EXPECT_FALSE(Resample(RgbImage(), 4, 4));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
    EXPECT_FALSE(Resample(picture, 100000, 100000));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::OutOfMemory));
    Bytes wrong(10);
    EXPECT_FALSE(ResampleInto(picture, wrong, 2, 2));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
}

} // namespace
} // namespace showsaver::codec
