#include "gfx/TextSupport.h"

#include <algorithm>
#include <iterator>

namespace showsaver::gfx::text {

FontOptionsPtr CreateFontOptions(bool antialias) {
    FontOptionsPtr options(cairo_font_options_create());
    // Every field is set, so that what the surface or the desktop settings
    // would add cannot change measured widths between measuring and drawing.
    cairo_font_options_set_antialias(options.get(), antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_subpixel_order(options.get(), CAIRO_SUBPIXEL_ORDER_RGB);
    cairo_font_options_set_hint_style(options.get(), antialias ? CAIRO_HINT_STYLE_SLIGHT : CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
    return options;
}

PangoContextPtr CreateContext(cairo_t* cr, bool antialias) {
    PangoContextPtr context(pango_cairo_create_context(cr));
    auto options = CreateFontOptions(antialias);
    pango_cairo_context_set_font_options(context.get(), options.get());
    return context;
}

CairoPtr CreateMeasuringCairo() {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    CairoPtr cr(cairo_create(surface));
    cairo_surface_destroy(surface);   // the cairo context keeps its own reference
    return cr;
}

std::string ToValidUtf8(std::string_view text) {
    std::string withoutNul;
    withoutNul.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(withoutNul), [](char c) { return c != '\0'; });
    if (g_utf8_validate(withoutNul.data(), static_cast<gssize>(withoutNul.size()), nullptr))
        return withoutNul;
    gchar* valid = g_utf8_make_valid(withoutNul.data(), static_cast<gssize>(withoutNul.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

PreparedLine StripPrefixes(std::string_view line) {
    PreparedLine prepared;
    prepared.text.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '&') {
            prepared.text += line[i];
            continue;
        }
        if (i + 1 >= line.size()) break;   // a trailing '&' marks nothing
        if (line[i + 1] == '&') {
            prepared.text += '&';
            ++i;
            continue;
        }
        // Underline the whole UTF-8 sequence of the next character.
        size_t length = 1;
        while (i + 1 + length < line.size() && (static_cast<unsigned char>(line[i + 1 + length]) & 0xC0) == 0x80)
            ++length;
        auto first = static_cast<unsigned>(prepared.text.size());
        prepared.text.append(line.substr(i + 1, length));
        prepared.underlined.emplace_back(first, static_cast<unsigned>(prepared.text.size()));
        i += length;
    }
    return prepared;
}

PangoLayoutPtr CreateLineLayout(PangoContext* context, const Font& font, const PreparedLine& line) {
    PangoLayoutPtr layout(pango_layout_new(context));
    pango_layout_set_font_description(layout.get(), font.Description());
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    pango_layout_set_text(layout.get(), line.text.data(), static_cast<int>(line.text.size()));

    PangoAttrList* attributes = pango_attr_list_new();
    if (font.Requested().underline)
        pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (font.Requested().strikeOut)
        pango_attr_list_insert(attributes, pango_attr_strikethrough_new(TRUE));
    for (auto [first, end] : line.underlined) {
        PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
        underline->start_index = first;
        underline->end_index = end;
        pango_attr_list_insert(attributes, underline);
    }
    pango_layout_set_attributes(layout.get(), attributes);
    pango_attr_list_unref(attributes);
    return layout;
}

int LayoutWidth(PangoLayout* layout) {
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    return std::max(0, logical.width);
}

Rect LayoutBounds(PangoLayout* layout, int x, int y, const FontMetrics& metrics) {
    PangoRectangle ink{}, logical{};
    pango_layout_line_get_pixel_extents(pango_layout_get_line_readonly(layout, 0), &ink, &logical);
    int baseline = SaturateToInt(int64_t{y} + metrics.ascent);
    Rect cell = Rect::FromSize(x, y, logical.width, metrics.height);
    Rect inkRect = Rect::FromSize(ink.x, ink.y, ink.width, ink.height).Translated(x, baseline);
    Rect logicalRect = Rect::FromSize(logical.x, logical.y, logical.width, logical.height).Translated(x, baseline);
    // One pixel of slack for antialiased edges that round outwards.
    Rect bounds = cell.United(inkRect).United(logicalRect);
    return bounds.IsEmpty() ? bounds : bounds.Inflated(1);
}

void DrawLayout(cairo_t* cr, PangoLayout* layout, double x, double y, const FontMetrics& metrics,
                ColorRef color) {
    cairo_set_source_rgb(cr, RedOf(color) / 255.0, GreenOf(color) / 255.0, BlueOf(color) / 255.0);
    cairo_move_to(cr, x, y + metrics.ascent);
    pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(layout, 0));
}

} // namespace showsaver::gfx::text
