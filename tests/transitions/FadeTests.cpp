// The fades (levels, pacing by the tick clock, end state) and the colour
// morph (passes, stop request).

#include "codec/RgbCapture.h"
#include "gfx/SurfaceContext.h"
#include "support/EffectHarness.h"
#include "transitions/Families.h"

#include <gtest/gtest.h>

#include <functional>

namespace showsaver::testing {
namespace {

using gfx::Surface;

// A screen and a new picture of w × h at (0, 0), and a pacer that calls
// `probe` on every pause and sleep; its clock stands still.
struct Stage {
    Stage(int w, int h, uint32_t oldPixel, uint32_t newPixel)
        : screenSurface(std::make_shared<Surface>(w, h)), picture(std::make_shared<Surface>(w, h)) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                screenSurface->Row(y)[x] = oldPixel;
                picture->Row(y)[x] = newPixel;
            }
        screen = gfx::SurfaceContext::ForScreen(screenSurface);
        work = screen->CreateCompatible();
        work->SelectBitmap(picture);
    }

    struct ProbePacer final : TransitionPacer {
        std::function<void()> probe = [] {};
        bool stop = false;
        void CalibratedWait(uint32_t, double) override { probe(); }
        bool IsStopRequested() const override { return stop; }
        void Sleep(uint32_t) override { probe(); }
        uint32_t Times() const override { return 0; }
        uint32_t TickCount() const override { return 0; }
    };

    TransitionFrame Frame(int32_t speed) {
        return TransitionFrame{*screen, *work, pacer, 0, 0, picture->Width(), picture->Height(),
                               speed, 1000.0, 2, 2 * speed, picture};
    }
    uint32_t Screen(int x, int y) const { return screenSurface->Row(y)[x]; }

    std::shared_ptr<Surface> screenSurface, picture;
    std::unique_ptr<gfx::SurfaceContext> screen;
    std::unique_ptr<gfx::DeviceContext> work;
    ProbePacer pacer;
};

std::vector<EffectStep> Steps(const EffectHarness& harness, EffectStep::Kind kind) {
    std::vector<EffectStep> steps;
    for (const EffectStep& step : harness.log)
        if (step.kind == kind) steps.push_back(step);
    return steps;
}

TEST(Fade, EachLevelScalesEveryByteOfTheVisiblePart) {
    Stage stage(6, 4, 0x123456, 0);
    stage.picture->Row(1)[2] = 0x00FF8040;
    TransitionFrame frame = stage.Frame(0);
    frame.w = 4;
    frame.h = 3;
    frame.xOffset = 2;   // the visible part starts at (2, 1) of the decoded picture
    frame.yOffset = 1;
    for (int32_t number : {4, 65}) {
        std::vector<uint32_t> seen;
        stage.pacer.probe = [&] { seen.push_back(stage.Screen(0, 0)); };
        PlayFade(number, frame);
        ASSERT_EQ(seen.size(), 256u) << number;
        for (uint32_t level = 0; level < 256; ++level) {
            uint32_t f = number == 4 ? level : 255 - level;
            EXPECT_EQ(seen[level], ((255 * f / 256) << 16) | ((128 * f / 256) << 8) | (64 * f / 256)) << level;
        }
        // Nothing beyond the rectangle was drawn.
        EXPECT_EQ(stage.Screen(4, 0), 0x123456u);
        EXPECT_EQ(stage.Screen(0, 3), 0x123456u);
    }
}

TEST(Fade, AtSpeedZeroWithoutDelaysSleepsBetweenAllLevels) {
    EffectHarness::Options options;
    options.speed = 0;
    EffectHarness harness(20, 10, options);
    harness.Play(4);
    std::vector<EffectStep> sleeps = Steps(harness, EffectStep::Kind::Sleep);
    ASSERT_EQ(sleeps.size(), 256u);
    EXPECT_EQ(sleeps[0].elapsed, 0u);
    for (size_t i = 1; i < sleeps.size(); ++i) EXPECT_EQ(sleeps[i].elapsed, 11u) << i;
    EXPECT_EQ(harness.Copies(), 257u);   // 256 levels and the new picture
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Fade, OnASlowClockLevelsAreSkippedAndTheNewPictureStillArrives) {
    EffectHarness harness(20, 10);   // speed 1000: 1 ms a level
    harness.Pacer().ticksPerReading = 5;
    harness.Play(4);
    std::vector<EffectStep> copies = Steps(harness, EffectStep::Kind::Copy);
    EXPECT_LT(copies.size(), 100u);
    EXPECT_EQ(harness.Count(EffectStep::Kind::Sleep), 0u);
    EXPECT_EQ(copies.back().source, EffectStep::Source::New);
    EXPECT_EQ(copies.back().destination, gfx::Rect::FromSize(0, 0, 20, 10));
    EXPECT_FALSE(harness.FirstDifferenceFromNew());
}

TEST(Fade, ALateLevelIsNotDrawnAgain) {
    EffectHarness::Options options;
    options.speed = 0;   // 11 ms a level
    EffectHarness harness(20, 10, options);
    harness.Pacer().ticksPerReading = 5;   // level 0 is always late
    harness.Play(4);
    EXPECT_EQ(harness.Copies(), 257u);
    EXPECT_EQ(harness.Count(EffectStep::Kind::Sleep), 255u);
}

TEST(Fade, ACutPictureFadesOnlyInsideItsRectangle) {
    EffectHarness::Options cut;
    cut.screen = {90, 70};
    cut.position = {-6, -4};
    cut.xOffset = 6;
    cut.yOffset = 4;
    for (int32_t number : {4, 65}) {
        EffectHarness harness(41, 29, cut);
        harness.Pacer().ticksPerReading = 40;
        harness.Play(number);
        for (const EffectStep& step : Steps(harness, EffectStep::Kind::Copy))
            EXPECT_EQ(step.destination, gfx::Rect::FromSize(0, 0, 41, 29)) << number;
    }
}

TEST(Fade, FadeOutEndsBlackAndLeavesTheRestAlone) {
    EffectHarness::Options options;
    options.position = {30, 20};
    EffectHarness harness(50, 40, options);
    harness.Pacer().ticksPerReading = 3;
    harness.Play(65);
    EXPECT_FALSE(harness.FirstMismatch([](int, int) { return 0u; }));
    EXPECT_EQ(harness.log.back().kind, EffectStep::Kind::Fill);
    EXPECT_EQ(harness.log.back().destination, gfx::Rect::FromSize(30, 20, 50, 40));
}

TEST(Fade, NoIntervalSkipsTheLevels) {
    for (int32_t speed : {1100, 1250, 5000}) {
        EffectHarness::Options options;
        options.speed = speed;
        EffectHarness in(20, 10, options);
        in.Play(4);
        EXPECT_EQ(in.log.size(), 1u) << speed;   // the new picture, at once
        EXPECT_FALSE(in.FirstDifferenceFromNew());
    }
    EffectHarness::Options options;
    options.speed = 1200;
    EffectHarness out(20, 10, options);
    out.Play(65);
    ASSERT_EQ(out.log.size(), 1u);
    EXPECT_EQ(out.log[0].kind, EffectStep::Kind::Fill);
}

TEST(Fade, WithoutTheDecodedPictureNothingIsDrawn) {
    Stage stage(8, 8, 0x123456, 0x654321);
    TransitionFrame frame = stage.Frame(1000);
    frame.fadeBitmap = nullptr;
    PlayFade(4, frame);
    PlayFade(65, frame);
    EXPECT_EQ(stage.Screen(3, 3), 0x123456u);
}

TEST(RgbCapture, ReadsAndPaintsBackAClippedRectangle) {
    Stage stage(5, 3, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) stage.screenSurface->Row(y)[x] = 0x010203u * static_cast<uint32_t>(1 + x + 5 * y);
    // Two columns and a row lie outside the surface and read as black.
    codec::RgbImage image = codec::CaptureRgb(*stage.screen, 3, -1, 4, 3);
    ASSERT_EQ(image.Width(), 4);
    const uint8_t* inside = image.Row(1);   // surface row 0, from column 3
    EXPECT_EQ((std::vector<uint8_t>(inside, inside + 12)), (std::vector<uint8_t>{4, 8, 12, 5, 10, 15, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(image.Row(0)[0], 0);
    auto blank = gfx::SurfaceContext::ForScreen(std::make_shared<Surface>(5, 3));
    codec::PaintRgb(*blank, image, 0, 0);
    EXPECT_EQ(blank->Target()->Row(1)[0], 0x04080Cu);
    EXPECT_EQ(blank->Target()->Row(1)[1], 0x050A0Fu);
    EXPECT_EQ(blank->Target()->Row(1)[2], 0u);
    EXPECT_EQ(blank->Target()->Row(0)[4], 0u);   // beyond the image: untouched
}

TEST(Morph, EveryByteMovesOneStepPerPass) {
    Stage stage(3, 2, 0x0A0005, 0x000307);
    stage.picture->Row(1)[2] = 0x0A0005;   // one pixel already there
    std::vector<uint32_t> seen;
    stage.pacer.probe = [&] { seen.push_back(stage.Screen(0, 0)); };
    PlayMorph(66, stage.Frame(1000));
    ASSERT_EQ(seen.size(), 10u);   // the largest difference of any byte
    EXPECT_EQ(seen[0], 0x090106u);
    EXPECT_EQ(seen[1], 0x080207u);
    EXPECT_EQ(seen[2], 0x070307u);
    EXPECT_EQ(seen[9], 0x000307u);
    EXPECT_EQ(stage.Screen(2, 1), 0x0A0005u);
}

TEST(Morph, IdenticalPicturesEndAfterOnePass) {
    Stage stage(16, 9, 0x336699, 0x336699);
    int passes = 0;
    stage.pacer.probe = [&] { ++passes; };
    PlayMorph(66, stage.Frame(0));
    EXPECT_EQ(passes, 1);
}

TEST(Morph, AStopRequestEndsItAfterThePass) {
    EffectHarness harness(30, 20);
    harness.Pacer().stopRequested = true;
    harness.Play(66);
    EXPECT_EQ(harness.Pauses(), 0u);
    EXPECT_EQ(harness.Copies(), 2u);   // the old picture, then the first pass
    EXPECT_TRUE(harness.FirstDifferenceFromNew());
}

TEST(Morph, WithoutPixelsToReadTheNewPictureIsCopied) {
    // A context with no surface cannot be captured; the effect then shows
    // the new picture with one copy instead of reading a missing image.
    struct Blind final : gfx::DeviceContext {
        std::unique_ptr<gfx::DeviceContext> inner = gfx::SurfaceContext::ForMemory({4, 4});
        int copies = 0;
        std::shared_ptr<Surface> SelectBitmap(std::shared_ptr<Surface> b) override { return inner->SelectBitmap(b); }
        gfx::Pen SelectPen(const gfx::Pen& p) override { return inner->SelectPen(p); }
        std::shared_ptr<gfx::Font> SelectFont(std::shared_ptr<gfx::Font> f) override { return inner->SelectFont(f); }
        void BitBlt(int, int, int, int, gfx::DeviceContext&, int, int) override { ++copies; }
        void StretchBlt(int, int, int, int, gfx::DeviceContext&, int, int, int, int) override {}
        void FillSolid(const gfx::Rect&, gfx::ColorRef) override {}
        gfx::Point MoveTo(int, int) override { return {}; }
        void LineTo(int, int) override {}
        gfx::ColorRef SetTextColor(gfx::ColorRef c) override { return c; }
        gfx::ColorRef SetBkColor(gfx::ColorRef c) override { return c; }
        gfx::BkMode SetBkMode(gfx::BkMode m) override { return m; }
        gfx::Size GetTextExtent(std::string_view) override { return {}; }
        gfx::FontMetrics GetTextMetrics() override { return {}; }
        int DrawText(std::string_view, gfx::Rect&, uint32_t) override { return 0; }
        gfx::Size ScreenSize() const override { return {4, 4}; }
        std::unique_ptr<gfx::DeviceContext> CreateCompatible() const override { return inner->CreateCompatible(); }
        Surface* Target() override { return nullptr; }
    };
    Stage stage(4, 4, 0x111111, 0x222222);
    Blind blind;
    TransitionFrame frame{blind, *stage.work, stage.pacer, 0, 0, 4, 4, 1000, 1000.0, 2, 2000, nullptr};
    PlayMorph(66, frame);
    EXPECT_EQ(blind.copies, 1);
}

} // namespace
} // namespace showsaver::testing
