// Line items on a memory screen: where each end goes by its mode, the pen
// styles at widths 1 and 3 pixel for pixel, and the random colour.

#include "media/LineItem.h"

#include "gfx/SurfaceContext.h"
#include "support/FakePlayer.h"

#include <gtest/gtest.h>

#include <set>

namespace showsaver {
namespace {

constexpr int kW = 101, kH = 75;   // odd, so that centring truncates
constexpr uint32_t kBlue = 0x0000FF, kWhite = 0xFFFFFF, kRed = 0xFF0000;

struct Canvas {
    std::shared_ptr<gfx::Surface> screen = std::make_shared<gfx::Surface>(kW, kH);
    std::unique_ptr<gfx::SurfaceContext> dc = gfx::SurfaceContext::ForScreen(screen);
    testing::FakePlayer player;

    Canvas() {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) screen->Row(y)[x] = kBlue;
    }
    void Play(LineItem& line) {
        int index = 0;
        EXPECT_EQ(line.Play(*dc, index, player), 1);
    }
    std::set<std::pair<int, int>> PixelsOf(uint32_t xrgb) const {
        std::set<std::pair<int, int>> pixels;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (screen->Pixel(x, y) == xrgb) pixels.insert({x, y});
        return pixels;
    }
};

TEST(LineItem, EachEndIsPlacedByItsMode) {
    // Size (0, 0): 0 at the edge, 1 at the screen's middle (truncated),
    // 2 at the far edge, 5 as stored; 3 anywhere on the screen's axis and 4
    // strictly inside it.
    for (int coordinate = 0; coordinate < 4; ++coordinate) {
        bool isX = coordinate % 2 == 0;
        int screen = isX ? kW : kH;
        for (int32_t mode : {0, 1, 2, 3, 4, 5}) {
            SCOPED_TRACE(::testing::Message() << "coordinate " << coordinate << ", mode " << mode);
            for (int play = 0; play < (mode == 3 || mode == 4 ? 20 : 1); ++play) {
                Canvas c;
                LineItem line;
                PicturePlacement& p = line.placement;
                p.startX = 11, p.startY = 12, p.endX = 13, p.endY = 14;
                int32_t* modes[] = {&p.startXMode, &p.startYMode, &p.endXMode, &p.endYMode};
                int32_t* values[] = {&p.startX, &p.startY, &p.endX, &p.endY};
                int32_t stored = *values[coordinate];
                *modes[coordinate] = mode;
                c.Play(line);
                int32_t v = *values[coordinate];
                switch (mode) {
                case 0: EXPECT_EQ(v, 0); break;
                case 1: EXPECT_EQ(v, screen / 2); break;
                case 2: EXPECT_EQ(v, screen); break;
                case 3: EXPECT_TRUE(v >= 0 && v < screen) << v; break;
                case 4: EXPECT_TRUE(v > 0 && v < screen) << v; break;
                case 5: EXPECT_EQ(v, stored); break;
                }
                // The other three stay where they were stored.
                for (int other = 0; other < 4; ++other) {
                    if (other == coordinate) continue;
                    EXPECT_EQ(*values[other], 11 + other);
                }
            }
        }
    }
}

TEST(LineItem, DrawsFromTheStartToTheEndOfItsPath) {
    // The end at the middle of the screen's width: 50 pixels, the end
    // point left out.
    Canvas c;
    LineItem line;
    line.color.color = 0x0000FF;   // red as a COLORREF
    line.placement.startX = 0, line.placement.startY = 10, line.placement.endY = 10;
    line.placement.endXMode = 1;
    c.Play(line);
    std::set<std::pair<int, int>> expected;
    for (int x = 0; x < 50; ++x) expected.insert({x, 10});
    EXPECT_EQ(c.PixelsOf(kRed), expected);
}

TEST(LineItem, EveryPenStyleAtWidthsOneAndThree) {
    // A line from (2, 5) to (40, 5). At width 1 the styles count their
    // pattern in pixels from the start, the end point is left out, and the
    // gaps take the context's opaque white background. Wider styled pens
    // draw solid, with round ends: rows 4 to 6, x from 1 to 41. Any style
    // but 0 to 6 draws solid; the null pen draws nothing.
    using Runs = std::vector<std::pair<int, int>>;   // [first, last] x of the dashes
    struct Case {
        int32_t style;
        Runs dashes;
    } cases[] = {
        {0, {{2, 39}}},
        {1, {{2, 19}, {26, 39}}},
        {2, {{2, 4}, {8, 10}, {14, 16}, {20, 22}, {26, 28}, {32, 34}, {38, 39}}},
        {3, {{2, 10}, {17, 19}, {26, 34}}},
        {4, {{2, 10}, {14, 16}, {20, 22}, {26, 34}, {38, 39}}},
        {5, {}},
        {6, {{2, 39}}},
        {7, {{2, 39}}},
        {-1, {{2, 39}}},
    };
    for (const Case& k : cases) {
        for (int32_t width : {1, 3}) {
            SCOPED_TRACE(::testing::Message() << "style " << k.style << ", width " << width);
            Canvas c;
            LineItem line;
            line.color.color = 0x0000FF;
            line.penStyle = k.style;
            line.penWidth = width;
            line.placement.startX = 2, line.placement.startY = 5, line.placement.endX = 40, line.placement.endY = 5;
            c.Play(line);
            std::set<std::pair<int, int>> red, white;
            if (k.style == 5) {
                // nothing drawn
            } else if (width == 3) {
                for (int y = 4; y <= 6; ++y)
                    for (int x = 1; x <= 41; ++x) red.insert({x, y});
            } else {
                for (int x = 2; x < 40; ++x) white.insert({x, 5});
                for (auto [first, last] : k.dashes)
                    for (int x = first; x <= last; ++x) {
                        red.insert({x, 5});
                        white.erase({x, 5});
                    }
            }
            EXPECT_EQ(c.PixelsOf(kRed), red);
            EXPECT_EQ(c.PixelsOf(kWhite), white);
        }
    }
}

TEST(LineItem, ARandomColourIsDrawnAfterItsRandomStep) {
    Canvas c;
    c.player.settingsTimes = 777;
    LineItem line;
    line.color.color = 0;
    line.color.random = 1;
    line.placement.startX = 0, line.placement.startY = 0, line.placement.endX = 20, line.placement.endY = 0;
    c.Play(line);
    EXPECT_EQ(c.screen->Pixel(0, 0), gfx::ToXrgb(line.color.color));
    EXPECT_EQ(c.PixelsOf(gfx::ToXrgb(line.color.color)).size(), 20u);
}

} // namespace
} // namespace showsaver
