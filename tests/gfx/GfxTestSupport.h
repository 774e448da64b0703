#pragma once
// Helpers of the gfx tests: recognisable pixel patterns, whole-surface
// comparisons and a way to look at a surface as a PNG.

#include "gfx/Surface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace showsaver::gfx::testing {

// A different colour at every pixel, so a pixel copied from the wrong place
// shows.
inline uint32_t PatternPixel(int x, int y, uint32_t seed) {
    return (static_cast<uint32_t>(y * 7919 + x) * 2654435761u + seed) & 0x00FFFFFFu;
}

inline Surface Patterned(int width, int height, uint32_t seed = 0) {
    Surface surface(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) surface.Row(y)[x] = PatternPixel(x, y, seed);
    return surface;
}

inline void FillAll(Surface& surface, uint32_t xrgb) {
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x) surface.Row(y)[x] = xrgb;
}

// Checks every pixel: inside `rect` `expected(x, y)`, outside it unchanged
// from `before`.
template <class Expected>
void ExpectOnlyRectChanged(const Surface& before, const Surface& after, const Rect& rect, Expected expected) {
    ASSERT_EQ(before.Size(), after.Size());
    int wrong = 0;
    for (int y = 0; y < after.Height(); ++y) {
        for (int x = 0; x < after.Width(); ++x) {
            uint32_t want = rect.Contains({x, y}) ? expected(x, y) : before.Pixel(x, y);
            if (after.Pixel(x, y) != want && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << after.Pixel(x, y)
                              << ", expected " << want << (rect.Contains({x, y}) ? " inside" : " outside");
        }
    }
    EXPECT_EQ(wrong, 0);
}

inline void ExpectSamePixels(const Surface& a, const Surface& b) {
    ASSERT_EQ(a.Size(), b.Size());
    int wrong = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y) && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << a.Pixel(x, y) << " vs "
                              << b.Pixel(x, y);
    EXPECT_EQ(wrong, 0);
}

// With SHOWSAVER_GFX_PNG_DIR set, writes the surface there as NAME.png so
// a person can look at what a test drew.
inline void MaybeWritePng(Surface& surface, const std::string& name) {
    const char* dir = std::getenv("SHOWSAVER_GFX_PNG_DIR");
    if (!dir) return;
    auto cairo = surface.CreateCairoSurface();
    if (cairo) cairo_surface_write_to_png(cairo.get(), (std::string(dir) + "/" + name + ".png").c_str());
}

} // namespace showsaver::gfx::testing
