#pragma once
// Pieces of text drawing shared by Font and SurfaceContext: owners for the
// Pango and cairo handles, text clean-up and line splitting, and one Pango
// context setup used both to measure and to draw, so that the two can never
// disagree.

#include "gfx/Color.h"
#include "gfx/Font.h"
#include "gfx/Geometry.h"
#include "gfx/Surface.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace showsaver::gfx::text {

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
using PangoContextPtr = std::unique_ptr<PangoContext, GObjectUnref>;
using PangoLayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;
using PangoFontPtr = std::unique_ptr<PangoFont, GObjectUnref>;

using gfx::CairoPtr;

struct FontOptionsDeleter {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsDeleter>;

struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

// The font options all our text is drawn with: greyscale or no
// antialiasing, and hinted metrics so advances are whole pixels as in GDI.
FontOptionsPtr CreateFontOptions(bool antialias);

// A Pango context drawing through `cr` with our font options.
PangoContextPtr CreateContext(cairo_t* cr, bool antialias);

// A cairo context on a private 1 × 1 surface, for measuring only.
CairoPtr CreateMeasuringCairo();

// `text` as valid UTF-8 without NUL characters: invalid sequences become
// U+FFFD, NULs are dropped.
std::string ToValidUtf8(std::string_view text);

// Splits at CR LF, a lone CR or a lone LF. "" is one empty line, and a text
// ending in a break ends with an empty line.
std::vector<std::string_view> SplitLines(std::string_view text);

// One line ready for Pango: its characters after prefix processing, and
// the byte ranges [first, second) to underline.
struct PreparedLine {
    std::string text;
    std::vector<std::pair<unsigned, unsigned>> underlined;
};

// Prefix processing of DrawText: '&' is left out and underlines the next
// character, "&&" draws one '&'. The text must be valid UTF-8.
PreparedLine StripPrefixes(std::string_view line);

// A one-line layout of `line` in `font` (underline and strike-out of the
// font applied), with line breaks drawn as glyphs rather than obeyed.
PangoLayoutPtr CreateLineLayout(PangoContext* context, const Font& font, const PreparedLine& line);

// The advance width of a line layout in pixels.
int LayoutWidth(PangoLayout* layout);
// Where a layout drawn with its cell's top-left at (x, y) puts ink and its
// logical box, both in pixels.
Rect LayoutBounds(PangoLayout* layout, int x, int y, const FontMetrics& metrics);
// Draws a line layout with its cell's top-left at (x, y).
void DrawLayout(cairo_t* cr, PangoLayout* layout, double x, double y, const FontMetrics& metrics,
                ColorRef color);

} // namespace showsaver::gfx::text
