#include "gfx/SurfaceContext.h"

#include "GfxTestSupport.h"

#include <pango/pangocairo.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

namespace showsaver::gfx {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

struct Canvas {
    std::shared_ptr<Surface> surface;
    std::unique_ptr<SurfaceContext> dc;
};

Canvas WhiteCanvas(int w, int h, const FontSpec& request) {
    Canvas canvas{std::make_shared<Surface>(w, h), nullptr};
    testing::FillAll(*canvas.surface, kWhite);
    canvas.dc = SurfaceContext::ForScreen(canvas.surface);
    canvas.dc->SelectFont(Font::Create(request));
    return canvas;
}

// The smallest rectangle holding every pixel that differs from `background`.
Rect InkBounds(const Surface& surface, Rect area, uint32_t background = kWhite) {
    Rect ink;
    area.Intersect(surface.Bounds());
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (surface.Pixel(x, y) != background) ink.Unite(Rect::FromSize(x, y, 1, 1));
    return ink;
}

// "Hello" drawn straight with Pango in Liberation Sans at 20 pixels, the way
// an "Arial" font of height -20 must draw it.
Surface PangoReference(const char* utf8, int x, int top, bool antialias) {
    Surface reference(160, 50);
    testing::FillAll(reference, kWhite);
    auto surface = reference.CreateCairoSurface();
    cairo_t* cr = cairo_create(surface.get());
    PangoContext* context = pango_cairo_create_context(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(options, antialias ? CAIRO_HINT_STYLE_SLIGHT : CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    PangoFontDescription* description = pango_font_description_from_string("Liberation Sans");
    pango_font_description_set_absolute_size(description, 20 * PANGO_SCALE);
    PangoFont* font = pango_context_load_font(context, description);
    PangoFontMetrics* metrics = pango_font_get_metrics(font, nullptr);
    int ascent = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics));
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, description);
    pango_layout_set_text(layout, utf8, -1);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, x, top + ascent);
    pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(layout, 0));
    g_object_unref(layout);
    pango_font_metrics_unref(metrics);
    g_object_unref(font);
    pango_font_description_free(description);
    g_object_unref(context);
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return reference;
}

TEST(DeviceContextText, MatchesPangoDrawingTheSameText) {
    for (bool antialias : {true, false}) {
        SCOPED_TRACE(antialias ? "antialiased" : "hard edges");
        FontSpec request("Arial", -20);
        request.quality = antialias ? 0 : 3;
        auto c = WhiteCanvas(160, 50, request);
        c.dc->SetBkMode(BkMode::Transparent);
        Rect rect{7, 9, 160, 50};
        c.dc->DrawText("Hello, Wörld", rect, DrawTextFormat::kLeft);
        testing::ExpectSamePixels(*c.surface, PangoReference("Hello, Wörld", 7, 9, antialias));
        testing::MaybeWritePng(*c.surface, antialias ? "text_antialiased" : "text_hard");
    }
}

TEST(DeviceContextText, ExtentIsTheAdvanceAndTheCellHeight) {
    auto c = WhiteCanvas(10, 10, FontSpec("Arial", -20));
    Size hello = c.dc->GetTextExtent("Hello");
    EXPECT_EQ(hello.height, c.dc->GetTextMetrics().height);
    EXPECT_GT(hello.width, 30);
    EXPECT_LT(hello.width, 70);
    EXPECT_EQ(c.dc->GetTextExtent("HelloHello").width, 2 * hello.width);   // whole-pixel advances
    EXPECT_EQ(c.dc->GetTextExtent("").width, 0);
    EXPECT_EQ(c.dc->GetTextExtent("").height, hello.height);
    EXPECT_GT(c.dc->GetTextExtent("Hello ").width, hello.width);   // trailing blanks count
    // Line breaks are not interpreted: the text stays on one line.
    EXPECT_EQ(c.dc->GetTextExtent("He\r\nllo").height, hello.height);
}

TEST(DeviceContextText, CalcRectMeasuresWithoutDrawing) {
    auto c = WhiteCanvas(100, 100, FontSpec("Arial", -16));
    Surface before = c.surface->Clone();
    int lineHeight = c.dc->GetTextMetrics().height;
    Rect rect{10, 20, 11, 21};
    int height = c.dc->DrawText("short\r\nthe longest line\r\nmid", rect, DrawTextFormat::kCalcRect | DrawTextFormat::kCenter);
    EXPECT_EQ(height, 3 * lineHeight);
    EXPECT_EQ(rect, (Rect{10, 20, 10 + c.dc->GetTextExtent("the longest line").width, 20 + 3 * lineHeight}));
    testing::ExpectSamePixels(before, *c.surface);
    EXPECT_EQ(c.surface->TakeDirty(), Rect{});

    // CR LF, lone LF and lone CR all break; a break at the end adds no line.
    for (const char* text : {"a\r\nb", "a\nb", "a\rb", "a\r\nb\r\n"}) {
        Rect r{0, 0, 0, 0};
        EXPECT_EQ(c.dc->DrawText(text, r, DrawTextFormat::kCalcRect), 2 * lineHeight) << text;
    }
    Rect empty{5, 5, 50, 50};
    EXPECT_EQ(c.dc->DrawText("", empty, DrawTextFormat::kCalcRect), lineHeight);
    EXPECT_EQ(empty.right, 5);
}

// Multi-line text aligned in a rectangle must draw each line exactly as the
// line drawn alone, left-aligned, at the x that the alignment asks for.
TEST(DeviceContextText, AlignsEveryLineOfMultiLineText) {
    const char* lines[] = {"Pictures", "and", "captions W"};
    const std::string text = std::string(lines[0]) + "\r\n" + lines[1] + "\r\n" + lines[2];
    const Rect box{12, 6, 232, 120};
    for (uint32_t align : {DrawTextFormat::kLeft, DrawTextFormat::kCenter, DrawTextFormat::kRight}) {
        SCOPED_TRACE(align);
        auto whole = WhiteCanvas(250, 130, FontSpec("Arial", -18));
        auto alone = WhiteCanvas(250, 130, FontSpec("Arial", -18));
        whole.dc->SetBkMode(BkMode::Transparent);
        alone.dc->SetBkMode(BkMode::Transparent);
        Rect rect = box;
        int height = whole.dc->DrawText(text, rect, align);
        int lineHeight = whole.dc->GetTextMetrics().height;
        EXPECT_EQ(height, 3 * lineHeight);
        EXPECT_EQ(rect, box);   // only kCalcRect changes the rectangle
        for (int i = 0; i < 3; ++i) {
            int w = alone.dc->GetTextExtent(lines[i]).width;
            int x = align == DrawTextFormat::kLeft     ? box.left
                    : align == DrawTextFormat::kCenter ? (box.left + box.right - w) / 2
                                                       : box.right - w;
            Rect single = Rect::FromSize(x, box.top + i * lineHeight, w, lineHeight);
            alone.dc->DrawText(lines[i], single, DrawTextFormat::kLeft | DrawTextFormat::kNoClip);
            // And the ink sits where the alignment says.
            Rect ink = InkBounds(*whole.surface, Rect::FromSize(0, box.top + i * lineHeight, 250, lineHeight));
            ASSERT_FALSE(ink.IsEmpty());
            if (align == DrawTextFormat::kLeft) {
                EXPECT_LE(std::abs(ink.left - box.left), 3);
            } else if (align == DrawTextFormat::kRight) {
                EXPECT_LE(std::abs(ink.right - box.right), 3);
            } else {
                EXPECT_LE(std::abs((ink.left + ink.right) - (box.left + box.right)), 6);
            }
        }
        testing::ExpectSamePixels(*whole.surface, *alone.surface);
        testing::MaybeWritePng(*whole.surface, "text_align_" + std::to_string(align));
    }
}

TEST(DeviceContextText, OpaqueFillsEachLineCellTransparentOnlyDrawsGlyphs) {
    const char* text = "Ab\r\nlonger line";
    auto opaque = WhiteCanvas(200, 80, FontSpec("Arial", -16));
    opaque.dc->SetBkColor(Rgb(0, 0, 200));
    opaque.dc->SetTextColor(Rgb(255, 255, 0));
    Rect rect{10, 10, 190, 80};
    opaque.dc->DrawText(text, rect, DrawTextFormat::kRight);
    int h = opaque.dc->GetTextMetrics().height;
    int w0 = opaque.dc->GetTextExtent("Ab").width, w1 = opaque.dc->GetTextExtent("longer line").width;
    Rect cell0 = Rect::FromSize(190 - w0, 10, w0, h), cell1 = Rect::FromSize(190 - w1, 10 + h, w1, h);
    int yellow = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 200; ++x) {
            uint32_t p = opaque.surface->Pixel(x, y);
            bool inCell = cell0.Contains({x, y}) || cell1.Contains({x, y});
            if (!inCell) EXPECT_EQ(p, kWhite) << x << "," << y;
            else EXPECT_NE(p, kWhite) << x << "," << y;
            yellow += p == 0xFFFF00;
        }
    }
    EXPECT_GT(yellow, 20);
    // The cells' corners show the background colour.
    EXPECT_EQ(opaque.surface->Pixel(cell1.left, cell1.bottom - 1), 0x0000C8u);

    auto transparent = WhiteCanvas(200, 80, FontSpec("Arial", -16));
    transparent.dc->SetBkColor(Rgb(0, 0, 200));
    transparent.dc->SetBkMode(BkMode::Transparent);
    Rect again{10, 10, 190, 80};
    transparent.dc->DrawText(text, again, DrawTextFormat::kRight);
    Rect ink = InkBounds(*transparent.surface, transparent.surface->Bounds());
    EXPECT_FALSE(ink.IsEmpty());
    EXPECT_EQ(ink.Intersected(cell0.United(cell1)), ink);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 200; ++x) EXPECT_NE(transparent.surface->Pixel(x, y), 0x0000C8u);
}

TEST(DeviceContextText, HardEdgedTextHasOnlyTwoColours) {
    FontSpec request("MS Sans Serif", -11, 700);
    request.quality = 3;
    auto c = WhiteCanvas(120, 30, request);
    c.dc->SetTextColor(0x00FFFFDC);   // the preview scroller's colour, 0x00BBGGRR
    c.dc->SetBkColor(0);
    Rect rect{2, 2, 120, 30};
    c.dc->DrawText("Screen Saver", rect, DrawTextFormat::kLeft);
    int text = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x) {
            uint32_t p = c.surface->Pixel(x, y);
            EXPECT_TRUE(p == 0xDCFFFF || p == 0 || p == kWhite) << std::hex << p;
            text += p == 0xDCFFFF;
        }
    EXPECT_GT(text, 30);
    testing::MaybeWritePng(*c.surface, "text_hard_bold");
}

TEST(DeviceContextText, ClipsToTheRectangleUnlessNoClip) {
    auto c = WhiteCanvas(120, 40, FontSpec("Arial", -24));
    Rect small{10, 5, 30, 20};
    c.dc->DrawText("Wide text", small, DrawTextFormat::kLeft);
    Rect ink = InkBounds(*c.surface, c.surface->Bounds());
    EXPECT_FALSE(ink.IsEmpty());
    EXPECT_EQ(ink.Intersected(small), ink);
    Rect dirtySmall = c.surface->TakeDirty();
    EXPECT_EQ(dirtySmall.Intersected(small), dirtySmall);

    auto free = WhiteCanvas(120, 40, FontSpec("Arial", -24));
    Rect same{10, 5, 30, 20};
    free.dc->DrawText("Wide text", same, DrawTextFormat::kLeft | DrawTextFormat::kNoClip);
    Rect freeInk = InkBounds(*free.surface, free.surface->Bounds());
    EXPECT_GT(freeInk.right, 60);
    EXPECT_GT(freeInk.bottom, 20);
    // The dirty rectangle holds every pixel drawn.
    Rect dirty = free.surface->TakeDirty();
    EXPECT_EQ(dirty.United(freeInk), dirty);
}

TEST(DeviceContextText, AmpersandUnderlinesTheNextCharacter) {
    auto measure = WhiteCanvas(10, 10, FontSpec("Arial", -16));
    Rect a{0, 0, 0, 0}, b{0, 0, 0, 0}, c{0, 0, 0, 0};
    measure.dc->DrawText("&File", a, DrawTextFormat::kCalcRect);
    measure.dc->DrawText("File", b, DrawTextFormat::kCalcRect);
    measure.dc->DrawText("&File", c, DrawTextFormat::kCalcRect | DrawTextFormat::kNoPrefix);
    EXPECT_EQ(a, b);
    EXPECT_GT(c.right, b.right);

    auto prefixed = WhiteCanvas(80, 30, FontSpec("Arial", -16));
    auto plain = WhiteCanvas(80, 30, FontSpec("Arial", -16));
    auto doubled = WhiteCanvas(80, 30, FontSpec("Arial", -16));
    auto literal = WhiteCanvas(80, 30, FontSpec("Arial", -16));
    Rect r{2, 2, 80, 30};
    prefixed.dc->DrawText("&File", r, 0);
    plain.dc->DrawText("File", r, 0);
    doubled.dc->DrawText("R&&D", r, 0);
    literal.dc->DrawText("R&D", r, DrawTextFormat::kNoPrefix);
    // The underline adds ink below the baseline under the F only.
    Rect extra = InkBounds(*prefixed.surface, prefixed.surface->Bounds());
    Rect base = InkBounds(*plain.surface, plain.surface->Bounds());
    EXPECT_GT(extra.bottom, base.bottom);
    testing::ExpectSamePixels(*doubled.surface, *literal.surface);
}

TEST(DeviceContextText, BadTextAndCoordinatesNeverCrash) {
    auto c = WhiteCanvas(64, 32, FontSpec("Arial", -12));
    const std::string texts[] = {
        std::string("bad \xff\xfe utf8 \xc3"), std::string("nul\0inside", 10), std::string(20000, 'W'),
        std::string(3000, '\n'), "&", "&&&", "\r", "trailing &", "\t\ttabs",
    };
    const Rect rects[] = {
        {0, 0, 64, 32}, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 5, 0, INT_MAX, 10}, {50, 50, 10, 10},
        {-100000, -100000, -99990, -99990}, {0, INT_MIN, 64, INT_MIN + 1},
    };
    for (const auto& text : texts) {
        for (Rect rect : rects) {
            for (uint32_t format : {0u, 1u, 2u, 0x25u, 0x28u, 0x100u, 0x400u, 0x402u}) {
                Rect r = rect;
                int height = c.dc->DrawText(text, r, format);
                EXPECT_GE(height, INT_MIN);
            }
        }
        EXPECT_GE(c.dc->GetTextExtent(text).width, 0);
    }
    // A long text of many lines measures every line.
    Rect r{0, 0, 0, 0};
    EXPECT_EQ(c.dc->DrawText(std::string(3000, '\n') + "x", r, DrawTextFormat::kCalcRect),
              3001 * c.dc->GetTextMetrics().height);
    // No font at all selected: the default one draws.
    auto plain = SurfaceContext::ForScreen(std::make_shared<Surface>(40, 20));
    Rect pr{0, 0, 40, 20};
    EXPECT_GT(plain->DrawText("Hi", pr, 0), 0);
    // A 0 × 0 screen takes text too.
    auto empty = SurfaceContext::ForScreen(std::make_shared<Surface>());
    Rect er{0, 0, 10, 10};
    EXPECT_GT(empty->DrawText("Hi", er, 0), 0);
}

TEST(DeviceContextText, ThreadsDrawTextSideBySide) {
    // The scene thread and the preview scroller draw text at the same time.
    auto draw = [] {
        auto c = WhiteCanvas(160, 40, FontSpec("Arial", -14, 700));
        for (int i = 0; i < 20; ++i) {
            Rect r{0, 0, 160, 40};
            c.dc->DrawText("Side by side " + std::to_string(i % 3), r, DrawTextFormat::kCenter);
        }
        return std::move(*c.surface);
    };
    Surface alone = draw();
    Surface a, b;
    std::thread one([&] { a = draw(); });
    std::thread two([&] { b = draw(); });
    one.join();
    two.join();
    testing::ExpectSamePixels(alone, a);
    testing::ExpectSamePixels(alone, b);
}

} // namespace
} // namespace showsaver::gfx
