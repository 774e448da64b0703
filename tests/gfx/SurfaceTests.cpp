#include "gfx/Surface.h"

#include "GfxTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>

namespace showsaver::gfx {
namespace {

static_assert(std::is_nothrow_move_constructible_v<Surface>);
static_assert(std::is_nothrow_move_assignable_v<Surface>);
static_assert(!std::is_copy_constructible_v<Surface>);

TEST(Surface, LayoutIsCairoRgb24) {
    for (int width : {1, 3, 17, 1920}) {
        Surface surface(width, 2);
        EXPECT_EQ(surface.Stride(), cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width));
        EXPECT_EQ(reinterpret_cast<uint8_t*>(surface.Row(1)) - reinterpret_cast<uint8_t*>(surface.Row(0)),
                  surface.Stride());
    }
    // cairo sees the very same memory: what it draws, Row() reads.
    Surface surface(4, 4);
    auto cairo = surface.CreateCairoSurface();
    ASSERT_TRUE(cairo);
    EXPECT_EQ(cairo_image_surface_get_data(cairo.get()), surface.Data());
    cairo_t* cr = cairo_create(cairo.get());
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 1, 2, 1, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(cairo.get());
    EXPECT_EQ(surface.Pixel(1, 2), 0xFF0000u);
    EXPECT_EQ(surface.Pixel(2, 2), 0u);
}

TEST(Surface, ZeroByZeroSurfacesWork) {
    Surface empty;
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(empty.Height(), 0);
    EXPECT_TRUE(empty.Bounds().IsEmpty());
    { auto lock = empty.LockForDrawing(Rect{0, 0, 10, 10}); }
    EXPECT_EQ(empty.TakeDirty(), Rect{});
    EXPECT_TRUE(empty.CreateCairoSurface());
    Surface sized(0, 0);
    EXPECT_EQ(sized.Stride(), 0);
    EXPECT_TRUE(sized.CreateCairoSurface());
    Surface line(5, 0);
    EXPECT_EQ(line.Height(), 0);
    EXPECT_EQ(line.Clone().Width(), 5);
}

TEST(Surface, RefusesNegativeAndAbsurdSizes) {
    EXPECT_EQ(Surface::Create(-1, 5), nullptr);
    EXPECT_EQ(Surface::Create(5, -1), nullptr);
    EXPECT_EQ(Surface::Create(Surface::kMaxDimension + 1, 1), nullptr);
    EXPECT_EQ(Surface::Create(30000, 30000), nullptr);   // above the pixel limit
    EXPECT_THROW(Surface(-1, 1), std::length_error);
    auto ok = Surface::Create(Surface::kMaxDimension, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->Width(), Surface::kMaxDimension);
}

TEST(SurfaceDirty, WidensClipsAndTakeClears) {
    Surface surface(100, 50);
    EXPECT_EQ(surface.TakeDirty(), Rect{});
    { auto lock = surface.LockForDrawing(Rect{10, 10, 20, 20}); }
    { auto lock = surface.LockForDrawing(Rect{30, 5, 40, 12}); }
    EXPECT_EQ(surface.TakeDirty(), (Rect{10, 5, 40, 20}));
    EXPECT_EQ(surface.TakeDirty(), Rect{});
    { auto lock = surface.LockForDrawing(Rect{-50, 40, 500, 500}); }
    EXPECT_EQ(surface.TakeDirty(), (Rect{0, 40, 100, 50}));
    // Empty or outside areas leave the dirty rectangle alone.
    { auto lock = surface.LockForDrawing(Rect{200, 200, 300, 300}); }
    { auto lock = surface.LockForDrawing(Rect{5, 5, 5, 9}); }
    EXPECT_EQ(surface.TakeDirty(), Rect{});
}

TEST(SurfaceDirty, ReadersNeverSeeHalfADrawingCall) {
    Surface surface(64, 64);
    std::atomic<bool> done{false};
    std::thread scene([&] {
        for (uint32_t frame = 1; frame <= 300; ++frame) {
            auto lock = surface.LockForDrawing(surface.Bounds());
            testing::FillAll(surface, frame);
        }
        done = true;
    });
    int torn = 0;
    while (!done) {
        auto lock = surface.LockForReading();
        uint32_t first = surface.Pixel(0, 0);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) torn += surface.Pixel(x, y) != first;
    }
    scene.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(surface.TakeDirty(), surface.Bounds());
}

TEST(SurfaceDirty, OppositeCopiesBetweenTwoSurfacesDoNotDeadlock) {
    Surface a(4, 4), b(4, 4);
    std::thread one([&] {
        for (int i = 0; i < 2000; ++i) { auto lock = a.LockForCopy(Rect{0, 0, 1, 1}, b); }
    });
    std::thread two([&] {
        for (int i = 0; i < 2000; ++i) { auto lock = b.LockForCopy(Rect{0, 0, 1, 1}, a); }
    });
    one.join();
    two.join();
    EXPECT_EQ(a.TakeDirty(), (Rect{0, 0, 1, 1}));
    EXPECT_EQ(b.TakeDirty(), (Rect{0, 0, 1, 1}));
}

} // namespace
} // namespace showsaver::gfx
