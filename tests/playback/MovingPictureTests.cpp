// Moving pictures: the path steps of a placement, and the moving scene on a
// memory screen that records what reaches it (one copy per step, the trail
// repainted with the window's colour or from the snapshot, the picture
// drawn at its new place and hidden from where it ended).

#include "codec/Codec.h"
#include "playback/PictureItem.h"
#include "playback/PictureScenes.h"
#include "platform/sys/TempFiles.h"
#include "support/EffectHarness.h"
#include "support/FakePlayer.h"
#include "support/ShowBytes.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>

namespace showsaver {
namespace {

namespace fs = std::filesystem;
using testing::EffectStep;

// ---- Path steps ------------------------------------------------------------

// A path between stored points, prepared as a scene prepares it.
PicturePlacement PathOf(gfx::Point start, gfx::Point end, int32_t xStep) {
    PicturePlacement p;
    p.startX = start.x, p.startY = start.y, p.endX = end.x, p.endY = end.y;
    p.xStep = xStep;
    p.ComputePath(0, 0, 1000, 1000, 0);
    return p;
}

// The positions after each step, up to the one that finishes the path.
std::vector<gfx::Point> Walk(PicturePlacement p, int maxSteps = 1000) {
    std::vector<gfx::Point> positions;
    for (int i = 0; i < maxSteps; ++i) {
        bool finished = p.Step();
        positions.push_back({p.currentX, p.currentY});
        if (finished) break;
    }
    return positions;
}

using Points = std::vector<gfx::Point>;

TEST(PathStep, WalksTheLineWithTruncatingDivisionAndEndsAtOrPastTheEnd) {
    struct Case {
        gfx::Point start, end;
        int32_t xStep;
        Points expected;
    } cases[] = {
        // Start and end equal: over after the first step, one pixel on.
        {{7, 9}, {7, 9}, 1, {{7, 10}}},
        // y = 5 (x − 10) ⁄ 10 + 5, truncated toward zero; over past the end.
        {{0, 0}, {10, 5}, 3, {{3, 2}, {6, 3}, {9, 5}, {12, 6}}},
        // Leftwards: the step was pointed at the end by the path.
        {{10, 0}, {0, 5}, 3, {{7, 2}, {4, 3}, {1, 5}, {-2, 6}}},
        {{0, 4}, {6, 4}, 2, {{2, 4}, {4, 4}, {6, 4}}},
        // Vertical paths step along y by the x step, pointed at the end
        // whatever its stored sign.
        {{5, 0}, {5, 10}, -4, {{5, 4}, {5, 8}, {5, 12}}},
        {{5, 10}, {5, 0}, 4, {{5, 6}, {5, 2}, {5, -2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start.x << "," << c.start.y << " to " << c.end.x << "," << c.end.y);
        EXPECT_EQ(Walk(PathOf(c.start, c.end, c.xStep)), c.expected);
    }
    // Coordinates at the ends of the int range neither overflow nor stop.
    EXPECT_EQ(Walk(PathOf({INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, INT_MAX), 2).size(), 2u);
}

PicturePlacement Free(int32_t xComparison, int32_t xLimit, int32_t both, int32_t yComparison, int32_t yLimit) {
    PicturePlacement p;
    p.freeMovement = 1;
    p.xStep = 1, p.yStep = 0;
    p.xComparison = xComparison, p.xLimit = xLimit;
    p.bothConditions = both;
    p.yComparison = yComparison, p.yLimit = yLimit;
    p.ComputePath(0, 0, 1000, 1000, 0);
    return p;
}

TEST(PathStep, FreeMovementEndsByTheComparisonCodes) {
    // One step from (0, 0) to (1, 0). With both conditions the x and the y
    // condition must hold, without either; y = 0 always holds by code 2.
    struct Case {
        int32_t xComparison, xLimit, both, yComparison;
        bool finished;
    } cases[] = {
        {0, 0, 1, 2, true},   {0, 1, 1, 2, false},   // x > limit
        {1, 2, 1, 2, true},   {1, 1, 1, 2, false},   // x < limit
        {2, 1, 1, 2, true},   {2, 0, 1, 2, false},   // x = limit
        {3, 0, 1, 2, true},   {3, 1, 1, 2, false},   // x ≠ limit
        {4, 0, 1, 2, false},  {-1, 0, 1, 2, false},  {100, 1, 1, 2, false},   // never
        {0, 0, 1, 9, false},                         // both: x holds, y never does
        {0, 1, 0, 2, true},                          // either: y holds
        {0, 0, 0, 9, true},                          // either: x holds
        {0, 1, 0, 9, false},                         // either: neither holds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "x code " << c.xComparison << " limit " << c.xLimit << " both "
                                          << c.both << " y code " << c.yComparison);
        PicturePlacement p = Free(c.xComparison, c.xLimit, c.both, c.yComparison, 0);
        EXPECT_EQ(p.Step(), c.finished);
        EXPECT_EQ(p.currentX, 1);
    }

    // x > 500 by steps of 10 from 0, the y condition never holding: the
    // movement ends when x first exceeds 500.
    PicturePlacement p = Free(0, 500, 0, 0, 0);
    p.xStep = 10;
    Points walked = Walk(p);
    EXPECT_EQ(walked.size(), 51u);
    EXPECT_EQ(walked.back(), (gfx::Point{510, 0}));
}

// ---- The moving scene ------------------------------------------------------

constexpr int kScreenW = 320;
constexpr int kScreenH = 240;
constexpr ColorRef kWindow = 0x000000FF;   // the window's background: red
constexpr uint32_t kWindowXrgb = 0xFF0000;

uint32_t PicturePixel(int x, int y) { return 0x200077u | uint32_t(40 + x % 200) << 8 | uint32_t(30 + y % 200) << 16; }

// Plays picture scenes of a show built from a description against a
// recording memory screen that starts as testing::OldPixel.
class MovingFixture {
public:
    MovingFixture() {
        m_screen = std::make_shared<gfx::Surface>(kScreenW, kScreenH);
        for (int y = 0; y < kScreenH; ++y)
            for (int x = 0; x < kScreenW; ++x) m_screen->Row(y)[x] = testing::OldPixel(x, y);
        m_dc = std::make_unique<testing::RecordingContext>(m_screen, log);
        player.window.SetBackground(kWindow);
    }

    void WritePicture(const std::string& name, int w, int h) {
        auto image = codec::RgbImage::Uninitialized(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t v = PicturePixel(x, y);
                uint8_t* p = image.Row(y) + 3 * x;
                p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v);
            }
        ASSERT_TRUE(codec::WriteBmp(m_dir.Path() / name, image));
    }

    void Load(const std::string& items) {
        std::ofstream(m_dir.Path() / "show.json") << R"({"items": [)" + items + "]}";
        auto bytes = showpack::BuildShow(m_dir.Path() / "show.json");
        ASSERT_TRUE(bytes) << bytes.Error().what;
        m_loaded = testing::LoadBytes(*bytes, &player.messages);
        ASSERT_FALSE(m_loaded.error) << m_loaded.error->what;
    }

    void Play(int index) {
        int at = index;
        log.clear();
        m_loaded.Items().At(index).Play(*m_dc, at, player);
    }
    PictureItem& Picture(int index) { return static_cast<PictureItem&>(m_loaded.Items().At(index)); }
    PicturePlacement& Placement(int index) {
        return static_cast<PictureSceneItem&>(m_loaded.Items().At(index)).picture.placement;
    }

    uint32_t At(int x, int y) const { return m_screen->Pixel(x, y); }
    gfx::Surface Snapshot() const { return m_screen->Clone(); }
    template <class Expected>
    std::optional<gfx::Point> FirstMismatch(Expected expected) const {
        for (int y = 0; y < kScreenH; ++y)
            for (int x = 0; x < kScreenW; ++x)
                if (At(x, y) != expected(x, y)) return gfx::Point{x, y};
        return std::nullopt;
    }
    size_t Count(EffectStep::Kind kind) const {
        size_t n = 0;
        for (const auto& step : log) n += step.kind == kind;
        return n;
    }

    testing::FakePlayer player;
    std::vector<EffectStep> log;   // what reached the screen in the last Play

private:
    sys::TempDirectory m_dir{fs::temp_directory_path()};
    std::shared_ptr<gfx::Surface> m_screen;
    std::unique_ptr<testing::RecordingContext> m_dc;
    testing::Loaded m_loaded;
};

constexpr const char* kPicture = R"({"class": "PictureItem", "file": {"path": "p.bmp"}})";

std::string Move(int picture, const std::string& placement, const std::string& color = R"({"fourthValue": 1})") {
    return R"({"class": "PictureEffectItem", "picture": )" + std::to_string(picture) +
           R"(, "placement": {"startXMode": 5, "startYMode": 5, "endXMode": 5, "endYMode": 5, )" + placement +
           R"(}, "color": )" + color + "}";
}
std::string Hide(int picture) { return R"({"class": "HidePictureItem", "picture": )" + std::to_string(picture) + "}"; }

// Where the picture is drawn, step by step, for a scene's placement.
Points DrawnAt(PicturePlacement p) {
    Points at{{p.currentX, p.currentY}};
    for (gfx::Point q : Walk(p)) at.push_back(q);
    return at;
}

bool InsideAny(const Points& at, int w, int h, int x, int y) {
    for (gfx::Point p : at)
        if (gfx::Rect::FromSize(p.x, p.y, w, h).Contains({x, y})) return true;
    return false;
}

TEST(MovingPicture, EachStepReachesTheScreenInOneCopyAndTheTrailTakesTheWindowColour) {
    MovingFixture f;
    f.WritePicture("p.bmp", 60, 40);
    f.Load(std::string(kPicture) + "," +
           Move(0, R"("startX": 100, "startY": 100, "endX": 130, "endY": 110, "xStep": 3, "movementDelay": 40000)"));
    f.Play(1);
    Points at = DrawnAt(f.Placement(1));
    ASSERT_EQ(at.size(), 11u);
    ASSERT_EQ(at.back(), (gfx::Point{130, 110}));
    // One copy of the bounding box of both areas per drawing, nothing else.
    EXPECT_EQ(f.Count(EffectStep::Kind::Copy), at.size());
    EXPECT_EQ(f.Count(EffectStep::Kind::Fill), 0u);
    for (size_t i = 0; i < f.log.size(); ++i) {
        gfx::Point from = at[i == 0 ? 0 : i - 1], to = at[i];
        EXPECT_EQ(f.log[i].destination,
                  gfx::Rect::FromSize(from, {60, 40}).United(gfx::Rect::FromSize(to, {60, 40})));
    }
    // A calibrated wait after every step but the one that finished the path.
    EXPECT_EQ(f.player.waits, (std::vector<std::pair<uint32_t, double>>(9, {40000, 100000.0})));
    auto wrong = f.FirstMismatch([&](int x, int y) {
        if (gfx::Rect::FromSize(130, 110, 60, 40).Contains({x, y})) return PicturePixel(x - 130, y - 110);
        return InsideAny(at, 60, 40, x, y) ? kWindowXrgb : testing::OldPixel(x, y);
    });
    EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
    EXPECT_EQ(f.Picture(0).shown, 1);
    EXPECT_EQ(f.Picture(0).targetPlacement.currentX, 130);
    EXPECT_EQ(f.Picture(0).currentPlacement.currentX, 127);
    EXPECT_FALSE(f.Picture(0).screenSnapshot);
}

TEST(MovingPicture, TheMovementDelayIsTheWaitsElapsedValue) {
    for (int32_t delay : {100000, 0}) {
        MovingFixture f;
        f.WritePicture("p.bmp", 10, 10);
        f.Load(std::string(kPicture) + "," +
               Move(0, R"("startX": 0, "startY": 0, "endX": 4, "endY": 0, "movementDelay": )" + std::to_string(delay)));
        f.Play(1);
        EXPECT_EQ(f.player.waits, (std::vector<std::pair<uint32_t, double>>(3, {delay, 100000.0})));
    }
}

TEST(MovingPicture, StepsLargerThanThePictureEraseItAndDrawItAtItsNewPlace) {
    for (int save : {0, 1}) {
        SCOPED_TRACE(save ? "saving the background" : "erasing");
        MovingFixture f;
        f.WritePicture("p.bmp", 20, 20);
        f.Load(std::string(kPicture) + "," +
               Move(0, R"("startX": 0, "startY": 50, "endX": 200, "endY": 50, "xStep": 50, "saveBackground": )" +
                           std::to_string(save)) +
               "," + Hide(0));
        f.Play(1);
        Points at = DrawnAt(f.Placement(1));
        ASSERT_EQ(at.size(), 5u);
        auto wrong = f.FirstMismatch([&](int x, int y) {
            if (x >= 200 && x < 220 && y >= 50 && y < 70) return PicturePixel(x - 200, y - 50);
            return InsideAny(at, 20, 20, x, y) ? kWindowXrgb : testing::OldPixel(x, y);
        });
        EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
        // The hide finds it where the path ended: erased with the window's
        // colour, or given back the screen that was there.
        f.Play(2);
        wrong = f.FirstMismatch([&](int x, int y) {
            bool last = x >= 200 && x < 220 && y >= 50 && y < 70;
            if (last && save) return testing::OldPixel(x, y);
            return InsideAny(at, 20, 20, x, y) ? kWindowXrgb : testing::OldPixel(x, y);
        });
        EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
        EXPECT_EQ(f.Picture(0).shown, 0);
    }
}

constexpr const char* kCaption = R"({"class": "PictureItem", "contentType": 1, "opaque": 0,
     "textColor": 65280, "backgroundColor": 0, "text": "Go",
     "font": {"height": -30, "weight": 700, "faceName": "Arial"}})";

TEST(MovingPicture, WhatTheSnapshotKeepsComesBackWhereThePictureWas) {
    // A transparent caption, or a picture that keeps the screen behind,
    // moved over a picture already shown: what they uncover is the screen
    // of the start, never the window's colour.
    struct Case {
        bool caption;
        int xStep;
    } cases[] = {{true, 7}, {true, 90}, {false, 7}, {false, 90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.caption ? "caption" : "picture") << ", step " << c.xStep);
        MovingFixture f;
        f.WritePicture("p.bmp", 40, 30);
        f.Load(std::string(kPicture) + "," + kCaption + "," +
               R"({"class": "ShowPictureItem", "picture": 0, "placement": {"startX": 0, "startY": 0, "effectNumber": 2}},)" +
               Move(c.caption ? 1 : 0,
                    R"("startX": 10, "startY": 100, "endX": 250, "endY": 120, "keepScreenBehind": )" +
                        std::string(c.caption ? "0" : "1") + R"(, "xStep": )" + std::to_string(c.xStep)));
        f.Play(2);   // the background picture, stretched over the screen
        gfx::Surface before = f.Snapshot();
        f.Play(3);
        PictureItem& mover = f.Picture(c.caption ? 1 : 0);
        gfx::Rect last = gfx::Rect::FromSize(mover.targetPlacement.currentX, mover.targetPlacement.currentY,
                                             mover.naturalWidth, mover.naturalHeight);
        ASSERT_GT(last.left, 200);
        size_t glyph = 0;
        auto wrong = f.FirstMismatch([&](int x, int y) {
            uint32_t old = before.Pixel(x, y);
            if (!last.Contains({x, y})) return old;
            if (!c.caption) return PicturePixel(x - last.left, y - last.top);
            // Inside the caption's box: its glyphs over the old screen.
            glyph += f.At(x, y) == 0x00FF00;
            return f.At(x, y) == 0x00FF00 ? 0x00FF00u : old;
        });
        EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
        if (c.caption) {
            EXPECT_GT(glyph, 50u);
        }
    }
}

TEST(MovingPicture, ARandomBackgroundChangesAtEveryStep) {
    // Shown at half its size, the picture leaves the rest of its area to
    // the scene's colour, which is drawn anew before every step.
    MovingFixture f;
    f.WritePicture("p.bmp", 40, 30);
    f.Load(R"({"class": "PictureItem", "file": {"path": "p.bmp"}, "width": 20, "height": 15},)" +
           Move(0, R"("startX": 0, "startY": 0, "endX": 100, "endY": 0, "xStep": 10)",
                R"({"random": 1, "fourthValue": 0})"));
    f.player.settingsTimes = 12345;
    std::vector<uint32_t> seen;
    f.player.onWait = [&] {
        PictureItem& picture = f.Picture(0);
        uint32_t shown = f.At(picture.targetPlacement.currentX + 30, picture.targetPlacement.currentY + 20);
        EXPECT_EQ(shown, gfx::ToXrgb(picture.background.color));
        seen.push_back(shown);
    };
    f.Play(1);
    ASSERT_EQ(seen.size(), 9u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]) << "step " << i;
}

TEST(MovingPicture, APictureThatCannotBeDrawnSaysSoOnceAndTheMovementEnds) {
    // A stored width of -5 loads and validates; only drawing it fails.
    MovingFixture f;
    f.WritePicture("p.bmp", 20, 20);
    f.Load(R"({"class": "PictureItem", "file": {"path": "p.bmp"}, "width": -5, "height": 20},)" +
           Move(0, R"("startX": 0, "startY": 0, "endX": 100, "endY": 0, "xStep": 10)"));
    ::testing::internal::CaptureStderr();
    f.Play(1);
    std::string printed = ::testing::internal::GetCapturedStderr();
    // The message reaches the player's sink, or stderr where no display
    // can show it.
    constexpr std::string_view kFailed = "Image conversion failed, skipping this image";
    size_t said = 0;
    for (size_t at = printed.find(kFailed); at != std::string::npos; at = printed.find(kFailed, at + 1)) ++said;
    for (const auto& message : f.player.messages.messages) said += message.text == kFailed;
    EXPECT_EQ(said, 1u);
    EXPECT_TRUE(f.player.waits.empty());
}

} // namespace
} // namespace showsaver
