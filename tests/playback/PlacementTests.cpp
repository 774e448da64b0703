#include "playback/PicturePlacement.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

PicturePlacement Modes(int32_t sx, int32_t sy, int32_t ex, int32_t ey) {
    PicturePlacement p;
    p.startXMode = sx;
    p.startYMode = sy;
    p.endXMode = ex;
    p.endYMode = ey;
    return p;
}

TEST(ComputePath, FixedModes) {
    auto p = Modes(1, 2, 0, 1);
    p.ComputePath(300, 100, 1024, 768, 0);
    EXPECT_EQ(p.startX, 362);
    EXPECT_EQ(p.startY, 668);
    EXPECT_EQ(p.endX, 0);
    EXPECT_EQ(p.endY, 334);
    EXPECT_EQ(p.currentX, 362);
    EXPECT_EQ(p.currentY, 668);
    // Halves are truncated towards zero, each on its own.
    auto odd = Modes(1, 1, 5, 5);
    odd.ComputePath(301, 101, 1025, 767, 0);
    EXPECT_EQ(odd.startX, 512 - 150);
    EXPECT_EQ(odd.startY, 383 - 50);
}

TEST(ComputePath, StoredModesKeepTheirValuesAndStepsPointAlongThePath) {
    auto p = Modes(5, 5, 5, 5);
    p.startX = 100;
    p.endX = 10;
    p.startY = 5;
    p.endY = 50;
    p.xStep = 3;
    p.yStep = -4;
    p.ComputePath(10, 10, 1024, 768, 0);
    EXPECT_EQ(p.startX, 100);
    EXPECT_EQ(p.xStep, -3);
    EXPECT_EQ(p.yStep, 4);
    EXPECT_EQ(p.horizontalPath, 1);

    // Free movement keeps every stored coordinate whatever its mode.
    auto free = Modes(1, 1, 1, 1);
    free.freeMovement = 1;
    free.startX = 7;
    free.ComputePath(10, 10, 1024, 768, 0);
    EXPECT_EQ(free.startX, 7);
    EXPECT_EQ(free.currentX, 7);

    auto vertical = Modes(0, 0, 0, 2);
    vertical.xStep = INT32_MIN;
    vertical.ComputePath(10, 10, 1024, 768, 0);
    EXPECT_EQ(vertical.horizontalPath, 0);
    EXPECT_EQ(vertical.xStep, INT32_MIN) << "equal ends leave the step alone";
}

TEST(ComputePath, RandomModesStayInTheirRanges) {
    for (int i = 0; i < 300; ++i) {
        auto p = Modes(3, 3, 4, 4);
        p.randomSeed = i * 7919;
        p.endX = (i * 37) % 2000 - 1000;   // mode 4 adds the stored value
        p.ComputePath(200, 150, 1024, 768, i);
        EXPECT_GE(p.startX, -200);
        EXPECT_LT(p.startX, 1024);
        EXPECT_GE(p.startY, -150);
        EXPECT_LT(p.startY, 768);
        EXPECT_GT(p.endX, 0);
        EXPECT_LT(p.endX, 1024 - 200);
        EXPECT_GT(p.endY, 0);
        EXPECT_LT(p.endY, 768 - 150);
    }
}

TEST(ComputePath, FullyVisibleWithoutRoomGivesZero) {
    auto p = Modes(4, 4, 5, 5);
    p.ComputePath(1024, 767, 1024, 768, 0);
    EXPECT_EQ(p.startX, 0);
    EXPECT_EQ(p.startY, 0);
    // A screen far wider than the generator's range still ends.
    auto wide = Modes(4, 5, 5, 5);
    wide.startX = 1 << 30;
    wide.ComputePath(7000, 10, 7680, 4320, 0);
    EXPECT_GE(wide.startX, 0);
    EXPECT_LT(wide.startX, 680);
}

} // namespace
} // namespace showsaver
