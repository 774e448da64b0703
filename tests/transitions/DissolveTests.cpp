// The random dissolves: which pieces they copy, their pauses and stop test,
// and the pending list they pick from.

#include "support/EffectHarness.h"
#include "transitions/PendingList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

namespace showsaver::testing {
namespace {

using RectTuple = std::tuple<int, int, int, int>;

std::vector<RectTuple> CopiedRects(const EffectHarness& harness) {
    std::vector<RectTuple> rects;
    for (const EffectStep& step : harness.log)
        if (step.kind == EffectStep::Kind::Copy) {
            EXPECT_EQ(step.source, EffectStep::Source::New);
            const gfx::Rect& r = step.destination;
            rects.emplace_back(r.left, r.top, r.Width(), r.Height());
        }
    std::sort(rects.begin(), rects.end());
    return rects;
}

// The pieces a dissolve must copy, cw × ch cells clipped to w × h, at (x, y).
std::vector<RectTuple> Pieces(int w, int h, int cw, int ch, int x, int y) {
    std::vector<RectTuple> rects;
    for (int a = 0; a < w; a += cw)
        for (int b = 0; b < h; b += ch) rects.emplace_back(x + a, y + b, std::min(cw, w - a), std::min(ch, h - b));
    std::sort(rects.begin(), rects.end());
    return rects;
}

TEST(Dissolve, TenBySixIsSixBlocksClippedAtTheRightAndBottom) {
    EffectHarness harness(10, 6);
    harness.Play(5);
    std::vector<RectTuple> expected{{0, 0, 4, 4}, {0, 4, 4, 2}, {4, 0, 4, 4},
                                    {4, 4, 4, 2}, {8, 0, 2, 4}, {8, 4, 2, 2}};
    EXPECT_EQ(CopiedRects(harness), expected);
    EXPECT_EQ(harness.Pauses(), 0u);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Dissolve, EveryPieceIsCopiedExactlyOnce) {
    struct Member { int32_t number; int cw, ch; bool paced; };
    constexpr int w = 37, h = 23;
    for (Member m : {Member{5, 4, 4, false}, Member{6, 8, 8, true}, Member{13, w, 1, true}, Member{14, 1, h, true}}) {
        EffectHarness::Options options;
        options.position = {5, 3};
        options.speed = 250;
        EffectHarness harness(w, h, options);
        harness.Play(m.number);
        std::vector<RectTuple> pieces = Pieces(w, h, m.cw, m.ch, 5, 3);
        EXPECT_EQ(CopiedRects(harness), pieces) << m.number;
        // Paced members pause between pieces, with the standard pause.
        EXPECT_EQ(harness.Pauses(), m.paced ? pieces.size() - 1 : 0u) << m.number;
        for (const EffectStep& step : harness.log)
            if (step.kind == EffectStep::Kind::Pause) {
                EXPECT_EQ(step.elapsed, 250u);
                EXPECT_EQ(step.total, 1000.0);
            }
        EXPECT_FALSE(harness.FirstDifferenceFromNew()) << m.number;
    }
}

TEST(Dissolve, OnePixelHighRowsCopyTheRowOnce) {
    EffectHarness harness(25, 1);
    harness.Play(13);
    EXPECT_EQ(CopiedRects(harness), (std::vector<RectTuple>{{0, 0, 25, 1}}));
    EXPECT_EQ(harness.Pauses(), 0u);
}

TEST(Dissolve, BlocksStopAfterTheFirstBlockOnRequest) {
    EffectHarness harness(40, 40);
    harness.Pacer().stopRequested = true;
    harness.Play(5);
    EXPECT_EQ(harness.Copies(), 1u);
    EXPECT_EQ(harness.Pauses(), 0u);
}

TEST(Dissolve, OtherMembersIgnoreAStopRequest) {
    EffectHarness harness(40, 40);
    harness.Pacer().stopRequested = true;
    harness.Play(6);
    EXPECT_EQ(harness.Copies(), 25u);
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(PendingList, TakesTheSameEntriesAsAListWalkedFromItsHead) {
    std::mt19937 random(7);
    for (uint32_t count : {1u, 2u, 3u, 7u, 8u, 9u, 100u, 1000u, 4097u}) {
        PendingList pending(count);
        std::vector<uint32_t> model(count);
        for (uint32_t i = 0; i < count; ++i) model[i] = i;
        while (!model.empty()) {
            ASSERT_EQ(pending.Size(), model.size());
            // Mostly random picks, with the ends taken often.
            uint32_t last = static_cast<uint32_t>(model.size() - 1);
            uint32_t v = std::uniform_int_distribution<uint32_t>(0, last + 2)(random);
            v = v == last + 1 ? 0 : std::min(v, last);
            ASSERT_EQ(pending.TakeAt(v), model[v]) << count;
            model.erase(model.begin() + v);
        }
        EXPECT_TRUE(pending.Empty());
    }
}

} // namespace
} // namespace showsaver::testing
