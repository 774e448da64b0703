// Slides, uncovers and pushes: the copies of each frame, the pauses between
// them, and what the picture's rectangle shows part-way through.

#include "support/EffectHarness.h"
#include "transitions/Families.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

namespace showsaver::testing {
namespace {

using Source = EffectStep::Source;

// One logged copy, comparable and printable.
struct Blit {
    Source source;
    gfx::Rect to;
    gfx::Point from;
    bool operator==(const Blit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Blit& blit) {
    const char* name = blit.source == Source::New ? "new" : blit.source == Source::Old ? "old" : "other";
    return out << blit.to.Width() << "x" << blit.to.Height() << " from " << name << " (" << blit.from.x << ","
               << blit.from.y << ") to (" << blit.to.left << "," << blit.to.top << ")";
}

// W × H from (sx, sy) to (dx, dy) of a picture placed at `origin`.
Blit Expect(Source source, int W, int H, int sx, int sy, int dx, int dy, gfx::Point origin = {}) {
    return {source, gfx::Rect::FromSize(origin.x + dx, origin.y + dy, W, H), {sx, sy}};
}

// The copies of each frame: frame i holds those logged before pause i; the
// copies after the last pause form one more frame.
std::vector<std::vector<Blit>> Frames(const EffectHarness& harness) {
    std::vector<std::vector<Blit>> frames(1);
    for (const EffectStep& step : harness.log) {
        if (step.kind == EffectStep::Kind::Pause)
            frames.emplace_back();
        else if (step.kind == EffectStep::Kind::Copy)
            frames.back().push_back({step.source, step.destination, step.from});
    }
    return frames;
}

std::vector<Blit> AllCopies(const EffectHarness& harness) {
    std::vector<Blit> all;
    for (const auto& frame : Frames(harness)) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

// What the picture's rectangle (placed at (0, 0)) shows once the copies of
// frames 0 … `frame` are drawn, replayed from the log: the old picture is the
// snapshot of OldPixel taken at the start.
class Replay {
public:
    Replay(const EffectHarness& harness, int w, int h, size_t frame) : m_w(w), m_pixels(w * h) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) m_pixels[y * w + x] = OldPixel(x, y);
        auto frames = Frames(harness);
        for (size_t i = 0; i <= frame && i < frames.size(); ++i)
            for (const Blit& blit : frames[i])
                for (int y = blit.to.top; y < blit.to.bottom; ++y)
                    for (int x = blit.to.left; x < blit.to.right; ++x) {
                        int sx = blit.from.x + x - blit.to.left, sy = blit.from.y + y - blit.to.top;
                        m_pixels[y * w + x] = blit.source == Source::New ? NewPixel(sx, sy) : OldPixel(sx, sy);
                    }
    }
    uint32_t At(int x, int y) const { return m_pixels[y * m_w + x]; }

private:
    int m_w;
    std::vector<uint32_t> m_pixels;
};

TEST(SlidePush, FromTheTopMovesTheOldPictureDownOneRowPerFrame) {
    EffectHarness::Options options;
    options.position = {7, 4};
    options.speed = 700;
    const int w = 100, h = 50;
    EffectHarness harness(w, h, options);
    harness.Play(41);

    // Frames j = 0 … h, each followed by a standard pause.
    EXPECT_EQ(harness.Pauses(), 51u);
    for (const EffectStep& step : harness.log)
        if (step.kind == EffectStep::Kind::Pause) {
            EXPECT_EQ(step.elapsed, 700u);
            EXPECT_EQ(step.total, 1000.0);
        }
    // Two copies a frame; the new part of frame 0 and the old part of frame h
    // have no size and are not drawn.
    EXPECT_EQ(harness.Copies(), 100u);
    auto frames = Frames(harness);
    ASSERT_EQ(frames.size(), 52u);
    EXPECT_TRUE(frames.back().empty());
    for (int j = 0; j <= h; ++j) {
        std::vector<Blit> expected;
        if (j > 0) expected.push_back(Expect(Source::New, w, j, 0, h - j, 0, 0, options.position));
        if (j < h) expected.push_back(Expect(Source::Old, w, h - j, 0, 0, 0, j, options.position));
        EXPECT_EQ(frames[j], expected) << "frame " << j;
    }
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(SlidePush, AStopRequestLetsItFinishWithTheNewPicture) {
    EffectHarness whole(60, 30);
    whole.Play(44);
    EffectHarness stopped(60, 30);
    stopped.Pacer().stopAfterPauses = 5;
    stopped.Play(44);
    // The pauses return at once after the request, but every frame is drawn.
    EXPECT_TRUE(stopped.Pacer().stopRequested);
    EXPECT_EQ(AllCopies(stopped), AllCopies(whole));
    EXPECT_EQ(stopped.Pauses(), 61u);
    EXPECT_FALSE(stopped.FirstDifferenceFromNew());
}

// A frame in the middle of each kind of motion shows both pictures at their
// offsets. `expected` gives the pixel wanted at (x, y), or nothing where the
// effect leaves a filler.
struct MidFrame {
    int32_t number;
    int w, h;
    size_t frame;
    std::function<std::optional<uint32_t>(int x, int y)> expected;
};

TEST(SlideMotion, AMiddleFrameShowsBothPicturesAtTheirOffsets) {
    const int j = 7;   // the frame counter of the straight members
    const std::vector<MidFrame> cases = {
        // Slides: the new picture moves in over the old one.
        {21, 30, 20, j, [](int x, int y) { return y < j ? NewPixel(x, 20 - j + y) : OldPixel(x, y); }},
        {23, 30, 20, j, [](int x, int y) { return x >= 30 - j ? NewPixel(x - (30 - j), y) : OldPixel(x, y); }},
        // Uncovers (counter from 1): the old picture moves off the new one.
        {29, 30, 20, j - 1, [](int x, int y) { return y < j ? NewPixel(x, y) : OldPixel(x, y - j); }},
        {30, 30, 20, j - 1, [](int x, int y) { return y >= 20 - j ? NewPixel(x, y) : OldPixel(x, y + j); }},
        {31, 30, 20, j - 1, [](int x, int y) { return x >= 30 - j ? NewPixel(x, y) : OldPixel(x + j, y); }},
        {32, 30, 20, j - 1, [](int x, int y) { return x < j ? NewPixel(x, y) : OldPixel(x - j, y); }},
        // Pushes: both move.
        {42, 30, 20, j, [](int x, int y) { return y >= 20 - j ? NewPixel(x, y - (20 - j)) : OldPixel(x, y + j); }},
        {44, 30, 20, j, [](int x, int y) { return x < j ? NewPixel(30 - j + x, y) : OldPixel(x - j, y); }},
        // Halves: the old picture splits after row 11 (h / 2 + 1).
        {54, 30, 20, j, [](int x, int y) -> std::optional<uint32_t> {
             if (y < 11 - j) return OldPixel(x, y + j);
             if (y >= 11 + j) return OldPixel(x, y - j);
             return NewPixel(x, y);
         }},
        {53, 30, 20, j, [](int x, int y) -> std::optional<uint32_t> {
             if (y < j) return NewPixel(x, 10 - j + y);
             if (y >= 20 - j) return NewPixel(x, 10 + y - (20 - j));
             return OldPixel(x, y);
         }},
        // Diagonals on a square: both offsets are the frame number.
        {27, 24, 24, 5, [](int x, int y) { return x < 5 && y < 5 ? NewPixel(19 + x, 19 + y) : OldPixel(x, y); }},
        {35, 24, 24, 5, [](int x, int y) { return x >= 5 && y >= 5 ? OldPixel(x - 5, y - 5) : NewPixel(x, y); }},
        {47, 24, 24, 5, [](int x, int y) -> std::optional<uint32_t> {
             if (x < 5 && y < 5) return NewPixel(19 + x, 19 + y);
             if (x >= 5 && y >= 5) return OldPixel(x - 5, y - 5);
             return std::nullopt;
         }},
        // Quarters: 9 brings them in from the corners, 10 moves the old ones
        // out and leaves the new picture in place.
        {9, 24, 24, 5, [](int x, int y) -> std::optional<uint32_t> {
             bool left = x < 5, right = x >= 19, top = y < 5, bottom = y >= 19;
             if ((left || right) && (top || bottom))
                 return NewPixel(left ? 7 + x : 12 + x - 19, top ? 7 + y : 12 + y - 19);
             return OldPixel(x, y);
         }},
        {10, 24, 24, 5, [](int x, int y) -> std::optional<uint32_t> {
             int dx = x < 12 ? 5 : -5, dy = y < 12 ? 5 : -5;
             bool inOld = (x < 12 ? x < 7 : x >= 17) && (y < 12 ? y < 7 : y >= 17);
             return inOld ? OldPixel(x + dx, y + dy) : NewPixel(x, y);
         }},
    };
    for (const MidFrame& c : cases) {
        EffectHarness harness(c.w, c.h);
        harness.Play(c.number);
        Replay screen(harness, c.w, c.h, c.frame);
        int wrong = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                auto want = c.expected(x, y);
                if (want && screen.At(x, y) != *want && wrong++ == 0)
                    ADD_FAILURE() << "effect " << c.number << " frame " << c.frame << ": pixel " << x << "," << y;
            }
    }
}

TEST(SlideDiagonal, ASquarePictureStepsBothOffsetsByOnePixel) {
    const int n = 6;
    EffectHarness harness(n, n);
    harness.Play(27);
    auto frames = Frames(harness);
    // U = V = 0 … n + 1; no pause after the last frame.
    ASSERT_EQ(frames.size(), n + 2u);
    EXPECT_EQ(harness.Pauses(), n + 1u);
    EXPECT_TRUE(frames[0].empty());
    for (int i = 1; i <= n; ++i) {
        std::vector<Blit> expected{Expect(Source::New, i, i, n - i, n - i, 0, 0)};
        EXPECT_EQ(frames[i], expected) << "frame " << i;
    }
    // The last frame ends with the full copy.
    EXPECT_EQ(frames.back().back(), Expect(Source::New, n, n, 0, 0, 0, 0));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(SlideDiagonal, AWidePictureStepsTheLongSideByTheAspectRatio) {
    EffectHarness harness(40, 10);
    harness.Play(27);
    auto frames = Frames(harness);
    // u steps by 4, v by 1: frame 3 copies 12 × 3 of the new picture.
    ASSERT_GT(frames.size(), 3u);
    EXPECT_EQ(frames[3], (std::vector<Blit>{Expect(Source::New, 12, 3, 28, 7, 0, 0)}));
    EXPECT_GE(frames.size(), 12u);
    EXPECT_LE(frames.size(), 13u);
}

TEST(SlideStrips, ColumnsOfAPicture20WideClipTheLastStripTo4Pixels) {
    const int w = 20, h = 25;
    EffectHarness harness(w, h);
    harness.Play(71);
    std::set<std::pair<int, int>> columns;   // left, width
    for (const Blit& blit : AllCopies(harness)) columns.insert({blit.to.left, blit.to.Width()});
    EXPECT_EQ(columns, (std::set<std::pair<int, int>>{{0, 8}, {8, 8}, {16, 4}}));
    // Pauses at Z = 0, 10, 20 of each of the three strips.
    EXPECT_EQ(harness.Pauses(), 9u);
    // The second strip comes in from the bottom, pushing the old one up; a
    // step is drawn only when a pause (or the strip's end) follows it.
    auto copies = AllCopies(harness);
    EXPECT_EQ(std::find(copies.begin(), copies.end(), Expect(Source::New, 8, 5, 8, 0, 8, 20)), copies.end());
    auto at = std::find(copies.begin(), copies.end(), Expect(Source::New, 8, 10, 8, 0, 8, 15));
    ASSERT_NE(at, copies.end());
    EXPECT_EQ(*(at + 1), Expect(Source::Old, 8, 15, 8, 10, 8, 0));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(SlideStrips, TakenFromTheRightTheFirstStripIsClippedAwayButPauses) {
    const int w = 20, h = 25;
    EffectHarness harness(w, h);
    harness.Play(73);
    // Strips at x0 = 20, 12, 4, -4, pausing at Z = 0, 9, 18.
    EXPECT_EQ(harness.Pauses(), 12u);
    auto copies = AllCopies(harness);
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ(copies.front().to.left, 12);
    EXPECT_EQ(copies.back().to, gfx::Rect::FromSize(0, 0, 4, h));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(SlideBands, AHeightOfWholeBandsDrawsNoBandBelowThePicture) {
    const int w = 30, h = 16;
    EffectHarness harness(w, h);
    harness.Play(15);
    EXPECT_EQ(harness.Pauses(), w + 1u);
    for (const Blit& blit : AllCopies(harness)) EXPECT_LE(blit.to.bottom, h) << blit;
    // Frame 5: the upper band from the left, the lower one from the right.
    EXPECT_EQ(Frames(harness)[5], (std::vector<Blit>{Expect(Source::New, 5, 8, 25, 0, 0, 0),
                                                     Expect(Source::New, 5, 8, 0, 8, 25, 8)}));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());

    EffectHarness remainder(w, 20);
    remainder.Play(15);
    EXPECT_EQ(Frames(remainder)[5].back(), Expect(Source::New, 5, 4, 25, 16, 0, 16));
}

} // namespace
} // namespace showsaver::testing
