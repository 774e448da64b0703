#include "gfx/Layers.h"

#include "GfxTestSupport.h"

#include <gtest/gtest.h>

namespace showsaver::gfx {
namespace {

// The screen with its layers over it, as a presenter shows it.
Surface Shown(const Surface& screen, const LayerStack& layers) {
    Surface shown = screen.Clone();
    layers.ComposeOnto(shown, shown.Bounds());
    return shown;
}

void Fill(Layer& layer, uint32_t xrgb) {
    layer.Paint([xrgb](Surface& pixels) { testing::FillAll(pixels, xrgb); });
}

TEST(Layers, VisibleLayersShowAboveTheScreenInOrderClippedToIt) {
    Surface screen(40, 30);
    testing::FillAll(screen, 0x000011);
    LayerStack layers(screen);
    LayerHandle lower = layers.Add({-5, -5, 15, 10});   // crosses the top-left corner
    LayerHandle upper = layers.Add({10, 5, 50, 20});    // crosses the right edge
    LayerHandle hidden = layers.Add({0, 20, 40, 30});
    Fill(*lower, 0xAA0000);
    Fill(*upper, 0x00BB00);
    Fill(*hidden, 0xFFFFFF);
    lower->SetVisible(true);
    upper->SetVisible(true);

    Surface shown = Shown(screen, layers);
    EXPECT_EQ(shown.Pixel(0, 0), 0xAA0000u);
    EXPECT_EQ(shown.Pixel(14, 9), 0x00BB00u) << "the later layer is above";
    EXPECT_EQ(shown.Pixel(12, 2), 0xAA0000u);
    EXPECT_EQ(shown.Pixel(39, 19), 0x00BB00u);
    EXPECT_EQ(shown.Pixel(20, 25), 0x000011u) << "a hidden layer shows nothing";
    EXPECT_EQ(screen.Pixel(0, 0), 0x000011u) << "the screen's own pixels stay as drawn";

    lower.Reset();
    upper->MoveTo({30, 25});
    shown = Shown(screen, layers);
    EXPECT_EQ(shown.Pixel(0, 0), 0x000011u) << "a removed layer uncovers the screen";
    EXPECT_EQ(shown.Pixel(14, 9), 0x000011u);
    EXPECT_EQ(shown.Pixel(35, 28), 0x00BB00u);
    EXPECT_EQ(layers.Count(), 2u);
}

// The presenter sleeps until something changes: every change of a visible
// layer marks the screen dirty exactly where it shows, and wakes it once
// per clean-to-dirty step.
TEST(Layers, ChangesMarkTheScreenWhereTheyShowAndWakeThePresenterOnce) {
    Surface screen(100, 100);
    int wakes = 0;
    screen.SetDirtyNotifier([&] { ++wakes; });
    LayerStack layers(screen);
    LayerHandle layer = layers.Add({10, 10, 30, 20});
    Fill(*layer, 1);
    EXPECT_TRUE(screen.TakeDirty().IsEmpty()) << "a hidden layer changes nothing on screen";
    EXPECT_EQ(wakes, 0);

    layer->SetVisible(true);
    Fill(*layer, 2);
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(screen.TakeDirty(), (Rect{10, 10, 30, 20}));

    layer->MoveTo({50, 60});
    EXPECT_EQ(screen.TakeDirty(), (Rect{10, 10, 70, 70})) << "the old and the new place";
    layer->SetArea({0, 0, 5, 5});
    EXPECT_EQ(screen.TakeDirty(), (Rect{0, 0, 70, 70}));
    EXPECT_EQ(layer->Area(), (Rect{0, 0, 5, 5}));
    layer.Reset();
    EXPECT_EQ(screen.TakeDirty(), (Rect{0, 0, 5, 5}));
    EXPECT_EQ(wakes, 4);
}

TEST(Layers, ASizeThatASurfaceRefusesMakesNoLayer) {
    Surface screen(10, 10);
    LayerStack layers(screen);
    EXPECT_FALSE(layers.Add({0, 0, 40000, 10}));
    EXPECT_FALSE(layers.Add({0, 0, 20000, 20000}));
    EXPECT_TRUE(layers.Add({0, 0, 0, 0}));
}

} // namespace
} // namespace showsaver::gfx
