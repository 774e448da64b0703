#include "gfx/SurfaceContext.h"

#include "GfxTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace showsaver::gfx {
namespace {

using testing::ExpectOnlyRectChanged;
using testing::Patterned;
using testing::PatternPixel;

// A memory context with `bitmap` selected.
std::unique_ptr<SurfaceContext> MemoryWith(const std::shared_ptr<Surface>& bitmap) {
    auto dc = SurfaceContext::ForMemory({640, 480});
    dc->SelectBitmap(bitmap);
    return dc;
}

std::shared_ptr<Surface> SharedPattern(int w, int h, uint32_t seed) {
    return std::make_shared<Surface>(Patterned(w, h, seed));
}

TEST(DeviceContextFill, FillsExactlyTheRect) {
    auto bitmap = SharedPattern(20, 10, 1);
    Surface before = bitmap->Clone();
    auto dc = MemoryWith(bitmap);
    dc->FillSolid(Rect{3, 2, 9, 7}, Rgb(1, 2, 3));
    ExpectOnlyRectChanged(before, *bitmap, Rect{3, 2, 9, 7}, [](int, int) { return 0x010203u; });
    EXPECT_EQ(bitmap->TakeDirty(), (Rect{3, 2, 9, 7}));
}

TEST(DeviceContextFill, NegativeWidthDrawsNothing) {
    auto bitmap = SharedPattern(20, 10, 2);
    Surface before = bitmap->Clone();
    auto dc = MemoryWith(bitmap);
    dc->FillSolid(Rect{9, 2, 3, 7}, 0xFFFFFF);
    dc->FillSolid(Rect{3, 7, 9, 2}, 0xFFFFFF);
    dc->FillSolid(Rect::FromSize(3, 3, 0, 4), 0xFFFFFF);
    dc->FillSolid(Rect{INT_MAX, INT_MIN, INT_MIN, INT_MAX}, 0xFFFFFF);
    testing::ExpectSamePixels(before, *bitmap);
    EXPECT_EQ(bitmap->TakeDirty(), Rect{});
}

// What a copy of w × h from (sx, sy) to (x, y) must leave: the source pixel
// where it exists, the old destination pixel elsewhere.
void ExpectCopy(const Surface& before, const Surface& after, const Surface& source, int x, int y, int w, int h, int sx,
                int sy) {
    Rect target = Rect::FromSize(x, y, w, h).Intersected(after.Bounds());
    ExpectOnlyRectChanged(before, after, target, [&](int px, int py) {
        int fromX = px - x + sx, fromY = py - y + sy;
        return source.Bounds().Contains({fromX, fromY}) ? source.Pixel(fromX, fromY) : before.Pixel(px, py);
    });
}

TEST(DeviceContextBitBlt, PartlyOutsideSourceAndDestinationCopiesExactlyTheOverlap) {
    struct Case { int x, y, w, h, sx, sy; };
    const Case cases[] = {
        {0, 0, 16, 12, 0, 0},      // whole source
        {-3, -2, 10, 8, 4, 5},     // destination cut left and top, source cut bottom
        {20, 15, 30, 30, -6, -4},  // source cut left and top, destination cut right and bottom
        {5, 5, 4, 4, 14, 10},      // source cut right and bottom
        {-40, 0, 10, 10, 0, 0},    // entirely outside the destination
        {0, 0, 10, 10, 16, 0},     // entirely outside the source
        {2, 3, 40, 1, -20, 11},    // one row
    };
    Surface source = Patterned(16, 12, 7);
    auto sourceShared = std::make_shared<Surface>(source.Clone());
    auto src = MemoryWith(sourceShared);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << c.x << "," << c.y << " " << c.w << "x" << c.h << " from "
                                          << c.sx << "," << c.sy);
        auto dest = SharedPattern(24, 18, 8);
        Surface before = dest->Clone();
        auto dc = MemoryWith(dest);
        dc->BitBlt(c.x, c.y, c.w, c.h, *src, c.sx, c.sy);
        ExpectCopy(before, *dest, source, c.x, c.y, c.w, c.h, c.sx, c.sy);
    }
    testing::ExpectSamePixels(source, *sourceShared);   // the source is only read
}

TEST(DeviceContextBitBlt, NegativeOrEmptySizesDrawNothing) {
    auto src = MemoryWith(SharedPattern(8, 8, 1));
    auto dest = SharedPattern(8, 8, 2);
    Surface before = dest->Clone();
    auto dc = MemoryWith(dest);
    dc->BitBlt(0, 0, -4, 4, *src, 0, 0);
    dc->BitBlt(0, 0, 4, -4, *src, 0, 0);
    dc->BitBlt(0, 0, 0, 4, *src, 0, 0);
    dc->BitBlt(INT_MAX, INT_MAX, INT_MAX, INT_MAX, *src, INT_MIN, INT_MIN);
    dc->BitBlt(INT_MIN, INT_MIN, INT_MAX, INT_MAX, *src, INT_MAX, INT_MAX);
    testing::ExpectSamePixels(before, *dest);
    EXPECT_EQ(dest->TakeDirty(), Rect{});
}

TEST(DeviceContextBitBlt, OverlappingCopyWithinOneSurfaceActsAsIfThroughACopy) {
    for (auto [dx, dy] : {std::pair{3, 2}, {-3, -2}, {4, 0}, {-4, 0}, {0, 5}, {0, -5}, {2, -3}}) {
        SCOPED_TRACE(::testing::Message() << "shift " << dx << "," << dy);
        auto bitmap = SharedPattern(20, 16, 9);
        Surface before = bitmap->Clone();
        auto dc = MemoryWith(bitmap);
        dc->BitBlt(5 + dx, 4 + dy, 10, 8, *dc, 5, 4);
        ExpectCopy(before, *bitmap, before, 5 + dx, 4 + dy, 10, 8, 5, 4);
    }
}

TEST(DeviceContextBitBlt, ScreenAndMemoryContextsCopyBothWays) {
    auto screenSurface = std::make_shared<Surface>(32, 24);
    auto screen = SurfaceContext::ForScreen(screenSurface);
    auto memory = screen->CreateCompatible();
    auto picture = SharedPattern(10, 10, 4);
    ScopedSelection keep(*memory, picture);
    screen->BitBlt(20, 5, 10, 10, *memory, 0, 0);
    EXPECT_EQ(screenSurface->Pixel(20, 5), PatternPixel(0, 0, 4));
    EXPECT_EQ(screenSurface->Pixel(29, 14), PatternPixel(9, 9, 4));
    EXPECT_EQ(screenSurface->TakeDirty(), (Rect{20, 5, 30, 15}));

    screen->FillSolid(screenSurface->Bounds(), Rgb(0, 0, 0xFF));
    memory->BitBlt(0, 0, 10, 10, *screen, 27, 0);   // only 5 columns exist
    EXPECT_EQ(picture->Pixel(4, 0), 0x0000FFu);
    EXPECT_EQ(picture->Pixel(5, 0), PatternPixel(5, 0, 4));
}

TEST(DeviceContextStretchBlt, ScalesByNearestNeighbour) {
    auto src = MemoryWith(SharedPattern(4, 3, 5));
    auto dest = std::make_shared<Surface>(12, 9);
    Surface before = dest->Clone();
    auto dc = MemoryWith(dest);
    dc->StretchBlt(2, 1, 8, 6, *src, 0, 0, 4, 3);   // twice the size
    ExpectOnlyRectChanged(before, *dest, Rect{2, 1, 10, 7},
                          [](int x, int y) { return PatternPixel((x - 2) / 2, (y - 1) / 2, 5); });

    auto shrunk = std::make_shared<Surface>(2, 3);
    MemoryWith(shrunk)->StretchBlt(0, 0, 2, 3, *src, 0, 0, 4, 3);   // half the width
    EXPECT_EQ(shrunk->Pixel(0, 2), PatternPixel(0, 2, 5));
    EXPECT_EQ(shrunk->Pixel(1, 2), PatternPixel(2, 2, 5));
}

TEST(DeviceContextStretchBlt, ClipsToSourceAndDestination) {
    Surface source = Patterned(4, 4, 6);
    auto src = MemoryWith(std::make_shared<Surface>(source.Clone()));
    auto dest = SharedPattern(10, 10, 7);
    Surface before = dest->Clone();
    auto dc = MemoryWith(dest);
    // Twice the size from (-1, 2): source column -1 and rows 4..5 do not exist.
    dc->StretchBlt(-2, 4, 12, 8, *src, -1, 2, 6, 4);
    ExpectOnlyRectChanged(before, *dest, Rect{0, 4, 10, 10}, [&](int x, int y) {
        int sx = -1 + (x + 2) / 2, sy = 2 + (y - 4) / 2;
        return source.Bounds().Contains({sx, sy}) ? source.Pixel(sx, sy) : before.Pixel(x, y);
    });
    Surface unchanged = dest->Clone();
    dc->StretchBlt(0, 0, -5, 5, *src, 0, 0, 4, 4);
    dc->StretchBlt(0, 0, 5, 5, *src, 0, 0, 0, 4);
    dc->StretchBlt(INT_MIN, INT_MIN, INT_MAX, INT_MAX, *src, INT_MAX, INT_MIN, INT_MAX, INT_MAX);
    testing::ExpectSamePixels(unchanged, *dest);
}

TEST(DeviceContextStretchBlt, WithinOneSurfaceReadsTheOldPixels) {
    auto bitmap = SharedPattern(8, 8, 3);
    Surface before = bitmap->Clone();
    auto dc = MemoryWith(bitmap);
    dc->StretchBlt(0, 0, 8, 8, *dc, 0, 0, 4, 4);   // the top-left quarter blown up over everything
    ExpectOnlyRectChanged(before, *bitmap, bitmap->Bounds(), [&](int x, int y) { return before.Pixel(x / 2, y / 2); });
}

TEST(DeviceContextSelection, SelectReturnsThePreviousBitmap) {
    auto dc = SurfaceContext::ForMemory({800, 600});
    ASSERT_NE(dc->Target(), nullptr);
    EXPECT_EQ(dc->Target()->Size(), (Size{1, 1}));   // the default bitmap
    auto a = std::make_shared<Surface>(3, 3);
    auto b = std::make_shared<Surface>(5, 5);
    EXPECT_EQ(dc->SelectBitmap(a), nullptr);
    EXPECT_EQ(dc->Target(), a.get());
    EXPECT_EQ(dc->SelectBitmap(b), a);
    EXPECT_EQ(dc->SelectBitmap(nullptr), b);
    EXPECT_EQ(dc->Target()->Size(), (Size{1, 1}));
    EXPECT_EQ(dc->ScreenSize(), (Size{800, 600}));
}

TEST(DeviceContextSelection, ScreenContextKeepsItsSurface) {
    auto screenSurface = std::make_shared<Surface>(64, 48);
    auto screen = SurfaceContext::ForScreen(screenSurface);
    EXPECT_EQ(screen->SelectBitmap(std::make_shared<Surface>(2, 2)), nullptr);
    EXPECT_EQ(screen->Target(), screenSurface.get());
    EXPECT_EQ(screen->ScreenSize(), (Size{64, 48}));
    auto memory = screen->CreateCompatible();
    EXPECT_EQ(memory->ScreenSize(), (Size{64, 48}));
    EXPECT_EQ(memory->Target()->Size(), (Size{1, 1}));
    EXPECT_EQ(SurfaceContext::ForScreen(nullptr)->ScreenSize(), (Size{0, 0}));
}

TEST(DeviceContextSelection, ScopedSelectionRestoresOnEveryPathOut) {
    auto dc = SurfaceContext::ForMemory({100, 100});
    auto first = std::make_shared<Surface>(2, 2);
    dc->SelectBitmap(first);
    Pen red = Pen::FromStored(1, 1, Rgb(255, 0, 0));
    auto font = Font::Create(FontSpec("Arial", -12));
    auto leave = [&] {
        ScopedSelection bitmap(*dc, std::make_shared<Surface>(7, 7));
        ScopedSelection pen(*dc, red);
        ScopedSelection selectedFont(*dc, font);
        EXPECT_EQ(dc->Target()->Width(), 7);
        EXPECT_EQ(dc->SelectPen(red), red);
        EXPECT_EQ(dc->SelectFont(font), font);
        return;   // an early return, as on a stop path
    };
    leave();
    EXPECT_EQ(dc->Target(), first.get());
    EXPECT_EQ(dc->SelectPen(Pen{}), Pen{});               // the default black solid pen is back
    EXPECT_EQ(dc->SelectFont(nullptr), nullptr);        // the default font is back
}

} // namespace
} // namespace showsaver::gfx
