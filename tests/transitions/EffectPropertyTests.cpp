// Every effect, at every size, leaves exactly the new picture in its
// rectangle (effect 65: black) and touches nothing outside it, also when a
// stop request arrives part-way.

#include "support/EffectHarness.h"
#include "transitions/Families.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace showsaver::testing {
namespace {

struct Shape {
    int w, h;
    EffectHarness::Options options;
};

std::vector<Shape> Shapes() {
    // Placed inside a screen with a margin on every side, to catch copies
    // that reach outside the rectangle.
    auto placed = [](int w, int h) {
        EffectHarness::Options options;
        options.screen = {w + 50, h + 40};
        options.position = {23, 11};
        return Shape{w, h, options};
    };
    EffectHarness::Options cut;   // lies off the screen's left and top edges
    cut.screen = {90, 70};
    cut.position = {-6, -4};
    cut.xOffset = 6;
    cut.yOffset = 4;
    return {
        placed(1, 1),   placed(2, 7),    placed(9, 9),     placed(10, 6),
        placed(33, 17), placed(100, 50), placed(640, 480), {41, 29, cut},
    };
}

std::string Describe(int32_t number, const Shape& shape) {
    return "effect " + std::to_string(number) + " on " + std::to_string(shape.w) + "x" + std::to_string(shape.h) +
           (shape.options.xOffset ? " cut" : "");
}

void ExpectEndState(int32_t number, const Shape& shape, const EffectHarness& harness) {
    std::optional<gfx::Point> wrong =
        number == 65 ? harness.FirstMismatch([](int, int) { return 0u; }) : harness.FirstDifferenceFromNew();
    EXPECT_FALSE(wrong) << Describe(number, shape) << ": pixel " << wrong->x << "," << wrong->y;
}

TEST(EffectProperty, EveryEffectEndsWithTheNewPictureInItsRectangleOnly) {
    for (int32_t number = kFirstEffect; number <= kLastEffect; ++number)
        for (const Shape& shape : Shapes()) {
            EffectHarness harness(shape.w, shape.h, shape.options);
            gfx::Point at = harness.Play(number);
            if (shape.options.xOffset) {
                EXPECT_EQ(at, (gfx::Point{0, 0})) << Describe(number, shape);
            }
            ExpectEndState(number, shape, harness);
        }
}

TEST(EffectProperty, AStopRequestAnywhereStillEndsWithTheNewPicture) {
    std::mt19937 random(20261208);
    for (int32_t number = kFirstEffect; number <= kLastEffect; ++number) {
        if (number == 5 || number == 66) continue;   // these two end early by design
        for (const Shape& shape : Shapes()) {
            if (shape.w * shape.h > 10000) continue;
            // How many pauses the whole effect takes, to stop somewhere inside.
            EffectHarness probe(shape.w, shape.h, shape.options);
            probe.Play(number);
            size_t pauses = probe.Pauses();
            if (pauses == 0) continue;
            EffectHarness harness(shape.w, shape.h, shape.options);
            harness.Pacer().stopAfterPauses = std::uniform_int_distribution<size_t>(1, pauses)(random);
            harness.Play(number);
            ExpectEndState(number, shape, harness);
        }
    }
}

TEST(EffectProperty, NumbersOutsideTheTableDrawNothing) {
    for (int32_t number : {-1, 0, 1, 2, 3, 88, 1000}) {
        EffectHarness harness(30, 20);
        harness.Play(number);
        EXPECT_EQ(harness.Copies(), 0u) << number;
        EXPECT_EQ(harness.Pauses(), 0u) << number;
        EXPECT_FALSE(harness.FirstMismatch([&](int x, int y) { return harness.OldAt(x, y); })) << number;
    }
}

TEST(EffectProperty, AnEmptyPictureDrawsNothingAndReturns) {
    std::vector<EffectStep> log;
    RecordingContext dc(std::make_shared<gfx::Surface>(10, 10), log);
    auto work = dc.CreateCompatible();
    work->SelectBitmap(gfx::Surface::Create(10, 10));
    RecordingPacer pacer(log);
    // Right before left makes a negative width.
    for (gfx::Rect rect : {gfx::Rect{0, 0, 0, 0}, gfx::Rect{0, 0, 0, 5}, gfx::Rect{0, 0, 5, 0}, gfx::Rect{5, 0, 2, 4}})
        for (int32_t number = kFirstEffect; number <= kLastEffect; ++number) {
            TransitionEffect effect(number);
            effect.SetTarget(&rect, std::nullopt);
            effect.SetSurfaces(work.get(), work.get());
            gfx::Point position{0, 0};
            effect.PlayTransition(dc, pacer, position, 1000, 0, 0);
            EXPECT_TRUE(log.empty()) << number << " on " << rect.Width() << "x" << rect.Height();
        }
}

TEST(EffectProperty, EveryNumberHasAFamily) {
    for (int32_t number = kFirstEffect; number <= kLastEffect; ++number)
        EXPECT_NE(FamilyPlayer(number), nullptr) << number;
    EXPECT_EQ(FamilyPlayer(3), nullptr);
    EXPECT_EQ(FamilyPlayer(88), nullptr);
}

} // namespace
} // namespace showsaver::testing
