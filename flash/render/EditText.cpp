// Edit text fields show their initial text, drawn with Pango in the field's
// rectangle (no input, no HTML).

#include "flash/render/Renderer.h"

#include <pango/pangocairo.h>

#include <memory>

namespace showsaver::flash {
namespace {

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
struct FontDeleter {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};

constexpr double kTwips = 20;
constexpr double kGutter = 40;   // the field's inner margin, 2 px

} // namespace

void Renderer::DrawEditText(const TextCharacter& text, const Matrix& m, const ColorTransform& color) {
    if (text.bounds.Width() <= 0 || text.bounds.Height() <= 0) return;
    if (text.editBorder && SetMatrix(m)) {
        cairo_rectangle(m_cr, text.bounds.xMin, text.bounds.yMin, text.bounds.Width(), text.bounds.Height());
        Rgba white = color.Apply({255, 255, 255, 255}), black = color.Apply({0, 0, 0, 255});
        cairo_set_source_rgba(m_cr, white.r / 255.0, white.g / 255.0, white.b / 255.0, white.a / 255.0);
        cairo_fill_preserve(m_cr);
        cairo_identity_matrix(m_cr);
        cairo_set_line_width(m_cr, 1);
        cairo_set_source_rgba(m_cr, black.r / 255.0, black.g / 255.0, black.b / 255.0, black.a / 255.0);
        cairo_stroke(m_cr);
    }
    if (text.editText.empty()) return;
    if (!g_utf8_validate(text.editText.data(), static_cast<gssize>(text.editText.size()), nullptr)) return;
    Matrix field = m * Matrix{kTwips, 0, 0, kTwips, text.bounds.xMin + kGutter, text.bounds.yMin + kGutter};
    if (!SetMatrix(field)) return;
    std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_cairo_create_layout(m_cr));
    std::unique_ptr<PangoFontDescription, FontDeleter> font(pango_font_description_from_string("Sans"));
    pango_font_description_set_absolute_size(font.get(), std::max(1.0, text.editHeight / kTwips) * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_width(layout.get(), static_cast<int>((text.bounds.Width() - 2 * kGutter) / kTwips * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
    pango_layout_set_text(layout.get(), text.editText.c_str(), static_cast<int>(std::min<size_t>(text.editText.size(), 65536)));
    Rgba c = color.Apply(text.editColor);
    cairo_set_source_rgba(m_cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
    cairo_save(m_cr);
    cairo_rectangle(m_cr, -kGutter / kTwips, -kGutter / kTwips, text.bounds.Width() / kTwips, text.bounds.Height() / kTwips);
    cairo_clip(m_cr);
    pango_cairo_show_layout(m_cr, layout.get());
    cairo_restore(m_cr);
}

} // namespace showsaver::flash
