#include "gfx/SurfaceContext.h"

#include "GfxTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <utility>

namespace showsaver::gfx {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr ColorRef kRed = Rgb(255, 0, 0);

struct Canvas {
    std::shared_ptr<Surface> surface;
    std::unique_ptr<SurfaceContext> dc;
};

Canvas WhiteCanvas(int w, int h) {
    Canvas canvas{std::make_shared<Surface>(w, h), nullptr};
    testing::FillAll(*canvas.surface, kWhite);
    canvas.dc = SurfaceContext::ForScreen(canvas.surface);
    return canvas;
}

std::set<std::pair<int, int>> PixelsOf(const Surface& surface, uint32_t xrgb) {
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x)
            if (surface.Pixel(x, y) == xrgb) pixels.insert({x, y});
    return pixels;
}

std::set<std::pair<int, int>> Row(int y, int x0, int x1) {
    std::set<std::pair<int, int>> pixels;
    for (int x = x0; x < x1; ++x) pixels.insert({x, y});
    return pixels;
}

void Line(SurfaceContext& dc, int x0, int y0, int x1, int y1) {
    dc.MoveTo(x0, y0);
    dc.LineTo(x1, y1);
}

TEST(DeviceContextLine, ThinLinesLeaveOutTheEndPointInEitherDirection) {
    auto c = WhiteCanvas(20, 20);
    c.dc->SelectPen(Pen{PenStyle::Solid, 1, kRed});
    Line(*c.dc, 2, 5, 10, 5);
    EXPECT_EQ(PixelsOf(*c.surface, 0xFF0000), Row(5, 2, 10));

    auto back = WhiteCanvas(20, 20);
    back.dc->SelectPen(Pen{PenStyle::Solid, 0, kRed});   // width 0 draws like 1
    Line(*back.dc, 10, 5, 2, 5);
    EXPECT_EQ(PixelsOf(*back.surface, 0xFF0000), Row(5, 3, 11));

    auto vertical = WhiteCanvas(20, 20);
    vertical.dc->SelectPen(Pen{PenStyle::InsideFrame, 1, kRed});
    Line(*vertical.dc, 4, 15, 4, 12);
    EXPECT_EQ(PixelsOf(*vertical.surface, 0xFF0000), (std::set<std::pair<int, int>>{{4, 13}, {4, 14}, {4, 15}}));
}

TEST(DeviceContextLine, ThinLinesStepOnePixelPerMajorStep) {
    auto diagonal = WhiteCanvas(12, 12);
    Line(*diagonal.dc, 1, 1, 6, 6);   // the default pen: black, solid, 1 pixel
    EXPECT_EQ(PixelsOf(*diagonal.surface, 0),
              (std::set<std::pair<int, int>>{{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}));

    for (auto [dx, dy] : {std::pair{17, 5}, {-17, 5}, {5, -17}, {-11, -7}, {13, 1}}) {
        SCOPED_TRACE(::testing::Message() << dx << "," << dy);
        auto c = WhiteCanvas(40, 40);
        Line(*c.dc, 20, 20, 20 + dx, 20 + dy);
        auto pixels = PixelsOf(*c.surface, 0);
        bool xMajor = std::abs(dx) >= std::abs(dy);
        int steps = xMajor ? std::abs(dx) : std::abs(dy);
        ASSERT_EQ(static_cast<int>(pixels.size()), steps);
        for (auto [x, y] : pixels) {
            // One pixel per step, within half a pixel of the ideal line.
            double t = xMajor ? double(x - 20) / dx : double(y - 20) / dy;
            EXPECT_GE(t, 0.0);
            EXPECT_LT(t, 1.0);
            double ideal = xMajor ? 20 + t * dy : 20 + t * dx;
            EXPECT_LE(std::abs((xMajor ? y : x) - ideal), 0.5 + 1e-9) << x << "," << y;
        }
        EXPECT_TRUE(pixels.count({20, 20}));
        EXPECT_FALSE(pixels.count({20 + dx, 20 + dy}));
    }
}

TEST(DeviceContextLine, StyledPensCountTheirPatternInPixels) {
    struct Case { PenStyle style; std::vector<int> pattern; };
    const Case cases[] = {
        {PenStyle::Dash, {18, 6}},
        {PenStyle::Dot, {3, 3}},
        {PenStyle::DashDot, {9, 6, 3, 6}},
        {PenStyle::DashDotDot, {9, 3, 3, 3, 3, 3}},
    };
    for (const Case& c : cases) {
        for (BkMode mode : {BkMode::Transparent, BkMode::Opaque}) {
            SCOPED_TRACE(::testing::Message() << "style " << int(c.style) << " mode " << int(mode));
            auto canvas = WhiteCanvas(70, 3);
            canvas.dc->SetBkColor(Rgb(0, 0, 255));
            canvas.dc->SetBkMode(mode);
            canvas.dc->SelectPen(Pen{c.style, 1, kRed});
            Line(*canvas.dc, 0, 1, 60, 1);
            int x = 0;
            for (size_t i = 0; x < 70; i = (i + 1) % c.pattern.size()) {
                for (int n = 0; n < c.pattern[i] && x < 70; ++n, ++x) {
                    uint32_t want = x >= 60 ? kWhite
                                    : i % 2 == 0 ? 0xFF0000u
                                    : mode == BkMode::Opaque ? 0x0000FFu : kWhite;
                    EXPECT_EQ(canvas.surface->Pixel(x, 1), want) << "x " << x;
                }
            }
            for (int px = 0; px < 70; ++px) {
                EXPECT_EQ(canvas.surface->Pixel(px, 0), kWhite);
                EXPECT_EQ(canvas.surface->Pixel(px, 2), kWhite);
            }
        }
    }
}

TEST(DeviceContextLine, StyledPatternKeepsItsPhaseWhenTheStartIsOffTheSurface) {
    auto whole = WhiteCanvas(100, 3);
    whole.dc->SelectPen(Pen{PenStyle::DashDot, 1, kRed});
    Line(*whole.dc, 0, 1, 100, 1);
    auto cut = WhiteCanvas(60, 3);
    cut.dc->SelectPen(Pen{PenStyle::DashDot, 1, kRed});
    Line(*cut.dc, -40, 1, 60, 1);
    for (int x = 0; x < 60; ++x) EXPECT_EQ(cut.surface->Pixel(x, 1), whole.surface->Pixel(x + 40, 1)) << x;
}

// The same wide line drawn straight with cairo: centre to centre of the end
// pixels, round caps, no antialiasing.
Surface CairoReferenceWideLine(int w, int h, double x0, double y0, double x1, double y1, int width, ColorRef color) {
    Surface reference(w, h);
    testing::FillAll(reference, kWhite);
    auto surface = reference.CreateCairoSurface();
    cairo_t* cr = cairo_create(surface.get());
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
    cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
    cairo_set_source_rgb(cr, RedOf(color) / 255.0, GreenOf(color) / 255.0, BlueOf(color) / 255.0);
    cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return reference;
}

TEST(DeviceContextLine, WidePensMatchACairoStrokeWithRoundEnds) {
    for (int width : {2, 5, 12}) {
        SCOPED_TRACE(width);
        auto c = WhiteCanvas(80, 60);
        c.dc->SelectPen(Pen{PenStyle::Solid, width, Rgb(0, 128, 0)});
        Line(*c.dc, 10, 50, 70, 8);
        testing::ExpectSamePixels(*c.surface, CairoReferenceWideLine(80, 60, 10, 50, 70, 8, width, Rgb(0, 128, 0)));
        testing::MaybeWritePng(*c.surface, "wide_line_" + std::to_string(width));
    }
    // Styles need a width of 1: a wide dashed pen draws solid.
    auto dashed = WhiteCanvas(80, 60);
    dashed.dc->SelectPen(Pen{PenStyle::Dash, 4, kRed});
    Line(*dashed.dc, 5, 5, 75, 30);
    testing::ExpectSamePixels(*dashed.surface, CairoReferenceWideLine(80, 60, 5, 5, 75, 30, 4, kRed));
}

TEST(DeviceContextLine, NullPenDrawsNothingButMoves) {
    auto c = WhiteCanvas(20, 20);
    Surface before = c.surface->Clone();
    c.dc->SelectPen(Pen{PenStyle::Null, 3, kRed});
    Line(*c.dc, 0, 0, 19, 19);
    testing::ExpectSamePixels(before, *c.surface);
    EXPECT_EQ(c.surface->TakeDirty(), Rect{});
    EXPECT_EQ(c.dc->MoveTo(1, 1), (Point{19, 19}));
}

TEST(DeviceContextLine, LineToContinuesFromTheLastPoint) {
    auto c = WhiteCanvas(20, 20);
    c.dc->MoveTo(2, 2);
    c.dc->LineTo(8, 2);
    c.dc->LineTo(8, 9);
    // The corner is drawn once by the second line, the last end point never.
    auto expected = Row(2, 2, 8);
    for (int y = 2; y < 9; ++y) expected.insert({8, y});
    EXPECT_EQ(PixelsOf(*c.surface, 0), expected);
    EXPECT_EQ(c.surface->TakeDirty().Intersected(Rect{2, 2, 9, 9}), (Rect{2, 2, 9, 9}));
}

TEST(DeviceContextLine, HugeCoordinatesAreClippedNotCrashed) {
    auto c = WhiteCanvas(50, 40);
    Line(*c.dc, INT_MIN, 7, INT_MAX, 7);
    EXPECT_EQ(PixelsOf(*c.surface, 0), Row(7, 0, 50));
    for (PenStyle style : {PenStyle::Solid, PenStyle::Dash, PenStyle::DashDotDot}) {
        for (int width : {1, 3, INT_MAX, INT_MIN}) {
            c.dc->SelectPen(Pen{style, width, kRed});
            Line(*c.dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
            Line(*c.dc, INT_MAX, INT_MIN, -3, 1 << 30);
            Line(*c.dc, 25, 20, 25, 20);
        }
    }
    // The diagonal through the middle lands where x == y.
    auto d = WhiteCanvas(30, 30);
    Line(*d.dc, -1000000, -1000000, 1000000, 1000000);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(d.surface->Pixel(i, i), 0u) << i;
    EXPECT_EQ(PixelsOf(*d.surface, 0).size(), 30u);
}

} // namespace
} // namespace showsaver::gfx
