// Moving RGB images to and from xRGB pixel buffers, and keyed drawing with
// clipping: every destination pixel is checked, inside and outside the
// drawn area.

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;

constexpr uint32_t kBackground = 0xFF123456; // a high byte the conversions must not rely on

// A destination of width × height pixels with `padding` spare pixels per row.
struct Surface {
    Surface(int width, int height, int padding = 0)
        : width(width), height(height), stride(static_cast<size_t>(width + padding) * 4),
          pixels(static_cast<size_t>((width + padding) * height), kBackground) {}
    uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * stride / 4 + static_cast<size_t>(x)]; }

    int width, height;
    size_t stride;
    std::vector<uint32_t> pixels;
};

// 3 × 2: distinct colours, and the middle top pixel is the key colour.
RgbImage Sample() { return testing::ImageOf(3, 2, {1, 2, 3, 9, 9, 9, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}); }

TEST(RgbToXrgb, WritesZeroHighBytesAndLeavesRowPaddingAlone) {
    Surface surface(3, 2, 2);
    RgbToXrgb(Sample(), surface.pixels.data(), surface.stride);
    EXPECT_EQ(surface.At(0, 0), 0x00010203u);
    EXPECT_EQ(surface.At(1, 0), 0x00090909u);
    EXPECT_EQ(surface.At(2, 1), 0x000D0E0Fu);
    EXPECT_EQ(surface.At(3, 0), kBackground);
    EXPECT_EQ(surface.At(4, 1), kBackground);
}

TEST(XrgbToRgb, IgnoresTheHighByteAndFollowsTheStride) {
    Surface surface(3, 2, 1);
    RgbToXrgb(Sample(), surface.pixels.data(), surface.stride);
    surface.At(0, 0) |= 0xAB000000;
    const RgbImage back = XrgbToRgb(surface.pixels.data(), 3, 2, surface.stride);
    EXPECT_TRUE(testing::SamePixels(back, Sample()));
}

TEST(XrgbToRgb, RefusesBadSizes) {
    const uint32_t pixel = 0;
    EXPECT_TRUE(XrgbToRgb(&pixel, 0, 1, 4).Empty());
    EXPECT_TRUE(XrgbToRgb(&pixel, 2, 1, 4).Empty()); // stride shorter than a row
    EXPECT_TRUE(XrgbToRgb(nullptr, 1, 1, 4).Empty());
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
}

// Draws Sample() keyed on 9,9,9 at (x, y) into a 5 × 4 surface and checks
// every pixel: the image where it lands (but not its key pixel), the
// background everywhere else.
void ExpectKeyedDraw(int x, int y) {
    Surface surface(5, 4, 1);
    const RgbImage image = Sample();
    DrawRgbKeyed(image, surface.pixels.data(), surface.stride, surface.width, surface.height, x, y, 9, 9, 9);
    for (int dy = 0; dy < surface.height; ++dy)
        for (int dx = 0; dx < surface.width + 1; ++dx) {
            const int64_t ix = int64_t{dx} - x, iy = int64_t{dy} - y;
            uint32_t expected = kBackground;
            if (dx < surface.width && ix >= 0 && ix < 3 && iy >= 0 && iy < 2 && !(ix == 1 && iy == 0)) {
                const uint8_t* p = image.Row(static_cast<int>(iy)) + 3 * ix;
                expected = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
            }
            EXPECT_EQ(surface.At(dx, dy), expected) << "drawn at (" << x << ", " << y << "), pixel (" << dx << ", " << dy << ")";
        }
}

TEST(DrawRgbKeyed, LeavesKeyColouredPixelsUnchanged) { ExpectKeyedDraw(1, 1); }

TEST(DrawRgbKeyed, ClipsAtEveryEdge) {
    for (auto [x, y] : {std::pair{-1, 0}, std::pair{-2, -1}, std::pair{3, 3}, std::pair{4, 2}, std::pair{0, -1}})
        ExpectKeyedDraw(x, y);
}

TEST(DrawRgbKeyed, DrawsNothingWhenFullyOutside) {
    for (auto [x, y] : {std::pair{-3, 0}, std::pair{5, 0}, std::pair{0, 4}, std::pair{0, -2}, std::pair{INT32_MIN, INT32_MAX},
                        std::pair{INT32_MAX, 0}})
        ExpectKeyedDraw(x, y);
}

TEST(DrawRgbKeyed, KeyMatchesOnlyTheExactColour) {
    Surface surface(1, 1);
    const RgbImage image = testing::ImageOf(1, 1, {9, 9, 8});
    DrawRgbKeyed(image, surface.pixels.data(), surface.stride, 1, 1, 0, 0, 9, 9, 9);
    EXPECT_EQ(surface.At(0, 0), 0x00090908u);
}

} // namespace
} // namespace showsaver::codec
