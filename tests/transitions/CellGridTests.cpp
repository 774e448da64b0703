// The cell grids: grid size and numbering, pauses, and what each pass or
// frame reveals.

#include "support/EffectHarness.h"

#include <gtest/gtest.h>

#include <vector>

namespace showsaver::testing {
namespace {

// The copies made between pause number `from` and pause number `to`
// (pause 0 being the start of the effect).
std::vector<gfx::Rect> CopiesBetween(const EffectHarness& harness, size_t from, size_t to) {
    std::vector<gfx::Rect> copies;
    size_t pauses = 0;
    for (const EffectStep& step : harness.log) {
        if (step.kind == EffectStep::Kind::Pause) ++pauses;
        if (step.kind == EffectStep::Kind::Copy && pauses >= from && pauses < to) copies.push_back(step.destination);
    }
    return copies;
}

// Which pixels of w × h the copies cover.
std::vector<std::vector<bool>> Covered(const std::vector<gfx::Rect>& copies, int w, int h) {
    std::vector<std::vector<bool>> covered(h, std::vector<bool>(w, false));
    for (const gfx::Rect& r : copies)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) covered[y][x] = true;
    return covered;
}

TEST(CellGrid, CheckerboardOn32x32GrowsToThreeByThreeAndPausesPerCell) {
    EffectHarness harness(32, 32);
    harness.Play(17);
    EXPECT_EQ(harness.Pauses(), 144u);   // 16 × 5 cells, then 16 × 4
    EXPECT_EQ(harness.Copies(), 64u);    // only 4 cells lie inside the picture
    // Pass 0 reveals cells (0, 0) and (1, 1), one column at a time.
    auto covered = Covered(CopiesBetween(harness, 0, 80), 32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) EXPECT_EQ(covered[y][x], (x / 16 + y / 16) % 2 == 0) << x << "," << y;
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(CellGrid, RowWipedCheckerboardNumbersCellsByColumn) {
    EffectHarness harness(48, 32);
    harness.Play(18);
    // rows = 2 is even: the grid becomes 4 × 3; the even cells 0, 2, 4, 6, 8,
    // 10 lie at (0, 0), (0, 2), (1, 1), (2, 0), (2, 2), (3, 1).
    EXPECT_EQ(harness.Pauses(), 16u * 6 + 16u * 6);
    std::vector<gfx::Rect> first = CopiesBetween(harness, 0, 6);
    std::vector<gfx::Rect> expected{gfx::Rect::FromSize(0, 0, 16, 1), gfx::Rect::FromSize(16, 16, 16, 1),
                                    gfx::Rect::FromSize(32, 0, 16, 1)};
    EXPECT_EQ(first, expected);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(CellGrid, StipplesRevealAlternateLinesInTheFirstPass) {
    constexpr int w = 40, h = 40;   // a 3 × 3 grid
    for (int32_t number : {19, 20}) {
        EffectHarness harness(w, h);
        harness.Play(number);
        EXPECT_EQ(harness.Pauses(), 2u * 8 * 9);
        auto covered = Covered(CopiesBetween(harness, 0, 8 * 9), w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int col = x / 16, row = y / 16;
                bool first = number == 19 ? x % 2 == row % 2 : y % 2 == (row + col) % 2;
                EXPECT_EQ(covered[y][x], first) << number << " at " << x << "," << y;
            }
        EXPECT_FALSE(harness.FirstDifferenceFromNew()) << number;
    }
}

TEST(CellGrid, GrowingSquaresStartEmptyAndEndWithWholeCells) {
    EffectHarness harness(100, 70);   // 3 × 2 cells of 40, cut at the right and bottom
    harness.Play(79);
    ASSERT_EQ(harness.Pauses(), 21u * 5);
    for (const EffectStep& step : harness.log)
        if (step.kind == EffectStep::Kind::Pause) {
            EXPECT_EQ(step.elapsed, 2000u);
            EXPECT_EQ(step.total, 3000.0);
        }
    EXPECT_TRUE(CopiesBetween(harness, 0, 5).empty());
    // Before the last frame each cell lacks its border; the last frame's
    // square is the whole cell.
    auto before = Covered(CopiesBetween(harness, 0, 100), 100, 70);
    EXPECT_TRUE(before[1][1]);
    EXPECT_TRUE(before[38][38]);
    for (int i = 0; i < 40; ++i) {
        EXPECT_FALSE(before[0][i]);
        EXPECT_FALSE(before[i][39]);
        EXPECT_FALSE(before[40][40 + i]);
    }
    auto all = Covered(CopiesBetween(harness, 0, 105), 100, 70);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x) EXPECT_TRUE(all[y][x]) << x << "," << y;
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(CellGrid, ClosingOutlinesCoverEveryPixel) {
    EffectHarness harness(83, 41);
    harness.Play(80);
    EXPECT_EQ(harness.Pauses(), 21u * 5);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(CellGrid, DiagonalEdgesCompleteEveryCellInTheLastFrame) {
    constexpr int w = 90, h = 50;
    EffectHarness harness(w, h);
    harness.Play(81);
    EXPECT_EQ(harness.Pauses(), 81u * 3);
    EXPECT_TRUE(CopiesBetween(harness, 0, 3).empty());
    // Frame 78 leaves each cell's bottom-right pixel; frame 79 fills it.
    auto before = Covered(CopiesBetween(harness, 0, 79 * 3), w, h);
    EXPECT_FALSE(before[39][39]);
    EXPECT_TRUE(before[39][38]);
    auto all = Covered(CopiesBetween(harness, 0, 81 * 3), w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) EXPECT_TRUE(all[y][x]) << x << "," << y;
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

} // namespace
} // namespace showsaver::testing
