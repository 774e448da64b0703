// The wipes' copy and pause sequences, recorded against a memory screen, and
// the end states of the pictures too small or too narrow for the rolling
// band and the fans' halves.

#include "support/EffectHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace showsaver::testing {
namespace {

using Kind = EffectStep::Kind;

// The copies between two pauses, each given as the row (or column) it
// lands on; every pause closes a group, copies after the last pause form
// one more.
std::vector<std::vector<int>> LinesPerPause(const EffectHarness& harness, bool rows) {
    std::vector<std::vector<int>> groups(1);
    for (const EffectStep& step : harness.log) {
        if (step.kind == Kind::Pause)
            groups.emplace_back();
        else if (step.kind == Kind::Copy)
            groups.back().push_back(rows ? step.destination.top : step.destination.left);
    }
    if (groups.back().empty()) groups.pop_back();
    return groups;
}

std::vector<EffectStep> CopiesOf(const EffectHarness& harness) {
    std::vector<EffectStep> copies;
    for (const EffectStep& step : harness.log)
        if (step.kind == Kind::Copy) copies.push_back(step);
    return copies;
}

using Groups = std::vector<std::vector<int>>;

TEST(LineWipes, InterlacedRowsPauseForEverySlotAndCopyEachRowOnce) {
    EffectHarness harness(30, 20);
    harness.Play(11);
    EXPECT_EQ(harness.Pauses(), 32u);   // 16 phases × (20 / 16 + 1) slots, the empty ones too
    std::vector<int> order;
    for (const EffectStep& step : CopiesOf(harness)) {
        EXPECT_EQ(step.destination.Size(), (gfx::Size{30, 1}));
        order.push_back(step.destination.top);
    }
    std::vector<int> expected = {0, 16, 1, 17, 2, 18, 3, 19};
    for (int row = 4; row < 16; ++row) expected.push_back(row);
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(LineWipes, EdgesMeetInTheMiddleRowWhichIsCopiedTwice) {
    EffectHarness harness(30, 10);
    harness.Play(49);
    EXPECT_EQ(LinesPerPause(harness, true), (Groups{{0}, {1, 9}, {2, 8}, {3, 7}, {4, 6}, {5, 5}}));
}

TEST(LineWipes, MiddleOutColumnsOfAnOddWidthEndWithTheLastColumn) {
    EffectHarness harness(9, 6);
    harness.Play(52);
    // Column 8 is left to the closing copy, which finds the others in place.
    EXPECT_EQ(LinesPerPause(harness, false), (Groups{{4}, {3, 5}, {2, 6}, {1, 7}, {0}, {8}}));
    EXPECT_EQ(harness.log.back().destination, gfx::Rect::FromSize(8, 0, 1, 6));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(BoxRings, BoxInPausesBetweenRingsOnly) {
    EffectHarness harness(6, 4);
    harness.Play(7);
    EXPECT_EQ(harness.Pauses(), 2u);   // rings 0, 1 and 2
    ASSERT_GE(harness.log.size(), 2u);
    EXPECT_EQ(harness.log[0].destination, gfx::Rect::FromSize(0, 0, 6, 1));
    EXPECT_EQ(harness.log[1].destination, gfx::Rect::FromSize(0, 0, 1, 4));
    EXPECT_EQ(harness.log.back().kind, Kind::Copy);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Snakes, SixteenWideHasThreeBandsTheThirdClippedAway) {
    EffectHarness harness(16, 12);
    harness.Play(67);
    EXPECT_EQ(harness.Pauses(), 6u);   // steps 0 and 10 of each of the three bands
    // The rows a band gains between two pauses are copied as one block: the
    // first band downwards, the second upwards.
    EXPECT_EQ(LinesPerPause(harness, true), (Groups{{0}, {1}, {11}, {2}, {0}, {}}));
    std::vector<gfx::Rect> blocks;
    for (const EffectStep& step : CopiesOf(harness)) blocks.push_back(step.destination);
    EXPECT_EQ(blocks, (std::vector<gfx::Rect>{gfx::Rect::FromSize(0, 0, 8, 1), gfx::Rect::FromSize(0, 1, 8, 10),
                                              gfx::Rect::FromSize(0, 11, 8, 1), gfx::Rect::FromSize(8, 2, 8, 10),
                                              gfx::Rect::FromSize(8, 0, 8, 2)}));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Spirals, ClockwiseStartsWithTheTopBandPausingOnEvenColumns) {
    EffectHarness harness(24, 16);
    harness.Play(75);
    std::vector<EffectStep> top(harness.log.begin(), harness.log.begin() + 36);
    int column = 0;
    for (size_t i = 0; i < top.size(); ++i) {
        ASSERT_EQ(top[i].kind, Kind::Copy) << i;
        EXPECT_EQ(top[i].destination, gfx::Rect::FromSize(column, 0, 1, 8));
        if (column % 2 == 0) {
            EXPECT_EQ(top[++i].kind, Kind::Pause) << i;
        }
        ++column;
    }
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Staircases, CountedFromTheBottomTheTopBandIsStillCompleted) {
    EffectHarness harness(20, 16);
    harness.Play(58);
    EXPECT_EQ(harness.Pauses(), 8u * 3 + 20 + 1);
    std::vector<EffectStep> copies = CopiesOf(harness);
    EXPECT_EQ(copies.front().destination, gfx::Rect::FromSize(19, 8, 1, 8));   // the bottom band leads
    EXPECT_EQ(copies.back().destination, gfx::Rect::FromSize(0, 0, 1, 8));     // the top band ends it
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Diagonals, TrianglesAndTheBandPauseAsTheirFramesSay) {
    EffectHarness::Options slow;
    slow.speed = 400;
    EffectHarness triangles(20, 10, slow);
    triangles.Play(61);
    EXPECT_EQ(triangles.Pauses(), 11u);
    EXPECT_FALSE(triangles.FirstDifferenceFromNew());

    EffectHarness band(20, 10, slow);
    band.Play(62);
    // Frames 0 to 40; a pause at half the speed on frames 0, 15 and 30.
    EXPECT_EQ(band.Pauses(), 3u);
    for (const EffectStep& step : band.log)
        if (step.kind == Kind::Pause) {
            EXPECT_EQ(step.elapsed, 200u);
            EXPECT_EQ(step.total, 1000.0);
        }
    EXPECT_FALSE(band.FirstDifferenceFromNew());
}

TEST(Fans, FiveByFiveTakesSixFramesAndEndsInPlace) {
    EffectHarness harness(5, 5);
    harness.Play(77);
    EXPECT_EQ(harness.Pauses(), 6u);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Fans, TheMiddleColumnOfAnOddWidthEndsInPlace) {
    // Even heights get no centre block; tall pictures outgrow its 11 rows.
    for (int32_t number : {77, 78})
        for (gfx::Size size : {gfx::Size{9, 40}, gfx::Size{7, 41}, gfx::Size{33, 18}, gfx::Size{1, 6}}) {
            EffectHarness harness(size.width, size.height);
            harness.Play(number);
            EXPECT_FALSE(harness.FirstDifferenceFromNew()) << number << " on " << size.width << "x" << size.height;
        }
}

TEST(RollingWipes, HundredWideHasATenColumnMirroredBandAnd109Frames) {
    EffectHarness harness(100, 4);
    harness.Play(82);
    std::vector<EffectStep> copies = CopiesOf(harness);
    // Each frame puts columns in place one by one, starting again at the
    // last one in place, and draws its mirrored band as one block of the
    // mirrored picture (split only where a pause falls).
    int frames = 1, lastInPlace = -1;
    std::vector<EffectStep> frame50;
    for (const EffectStep& step : copies) {
        ASSERT_EQ(step.destination.Height(), 4);
        if (step.source == EffectStep::Source::New) {
            ASSERT_EQ(step.destination.Width(), 1);
            EXPECT_EQ(step.from.x, step.destination.left);
            if (lastInPlace >= 0 && step.destination.left <= lastInPlace) ++frames;
            lastInPlace = step.destination.left;
        }
        if (frames == 50) frame50.push_back(step);
    }
    EXPECT_EQ(frames, 109);
    // Frame 50: columns 39 and 40 in place, then 41 to 49 showing source
    // columns 49 down to 41, which are columns 50 to 58 of the mirrored picture.
    ASSERT_EQ(frame50.size(), 3u);
    EXPECT_EQ(frame50[0].destination.left, 39);
    EXPECT_EQ(frame50[1].destination.left, 40);
    EXPECT_EQ(frame50[2].source, EffectStep::Source::Old);
    EXPECT_EQ(frame50[2].destination, gfx::Rect::FromSize(41, 0, 9, 4));
    EXPECT_EQ(frame50[2].from.x, 50);
    EXPECT_EQ(copies.back().destination.left, 99);
    EXPECT_EQ(copies.back().from.x, 99);
    EXPECT_EQ(harness.log.back().kind, Kind::Copy);
    // A pause after every 75th column: 1,099 columns in all.
    EXPECT_EQ(harness.Pauses(), 14u);
    int columnsBeforePause = 0;
    for (const EffectStep& step : harness.log) {
        if (step.kind == Kind::Pause) break;
        columnsBeforePause += step.destination.Width();
    }
    EXPECT_EQ(columnsBeforePause, 75);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(RollingWipes, PicturesWithoutABandEndWithEveryLineInPlace) {
    for (int32_t number = 82; number <= 87; ++number)
        for (gfx::Size size : {gfx::Size{1, 1}, gfx::Size{9, 9}, gfx::Size{2, 7}, gfx::Size{3, 30}, gfx::Size{30, 3}}) {
            EffectHarness harness(size.width, size.height);
            harness.Play(number);
            EXPECT_FALSE(harness.FirstDifferenceFromNew()) << number << " on " << size.width << "x" << size.height;
        }
    // Left to right on 9 columns: frames 1 to 8 place columns 0 to 7, and
    // column 8 is put in place after them.
    EffectHarness harness(9, 5);
    harness.Play(82);
    std::vector<EffectStep> copies = CopiesOf(harness);
    ASSERT_EQ(copies.size(), 16u);
    EXPECT_EQ(copies[14].destination.left, 7);
    EXPECT_EQ(copies[15].destination, gfx::Rect::FromSize(8, 0, 1, 5));
}

TEST(RollingWipes, RowWipesPauseOncePerFrameWithTotalScaledByK) {
    for (int32_t speed : {50, 1000}) {
        EffectHarness::Options options;
        options.speed = speed;
        EffectHarness down(30, 20, options);
        down.Play(84);
        EXPECT_EQ(down.Pauses(), 22u);   // frames 0 to B + h - 1 = 21
        double total = speed == 50 ? 3000.0 : 2000.0;
        for (const EffectStep& step : down.log)
            if (step.kind == Kind::Pause) {
                EXPECT_EQ(step.elapsed, static_cast<uint32_t>(speed));
                EXPECT_EQ(step.total, total);
            }
        EffectHarness both(30, 20, options);
        both.Play(87);
        EXPECT_EQ(both.Pauses(), 13u);   // frames 0 to B + h / 2 = 12
    }
}

} // namespace
} // namespace showsaver::testing
