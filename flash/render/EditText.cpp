// Edit text fields show their initial text, styled. A field that uses
// outlines draws the embedded font's glyphs, laid out here (advances, line
// metrics, word wrap, alignment); any other field draws with Pango in an
// installed font, the device fonts _sans, _serif and _typewriter mapped to
// the Liberation families. A field with a border is white inside a black
// line one pixel wide, set on whole pixels.

#include "flash/render/Renderer.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <string_view>

namespace showsaver::flash {
namespace {

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
struct AttrListDeleter {
    void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};

constexpr double kTwips = 20;
constexpr double kGutter = 40;   // the field's inner margin, 2 px
constexpr size_t kMaxTextBytes = 65536;

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The embedded font a run asks for: by name (HTML's face, or the field's
// font's name when a style differs), the style matched where the movie has
// it; else the field's font itself. Null when none has glyphs.
const FontCharacter* FontFor(const Movie& movie, const TextRun& run) {
    const FontCharacter* own = nullptr;
    if (const Character* c = run.font ? movie.Find(run.font) : nullptr; c && c->kind == CharacterKind::Font)
        own = static_cast<const FontCharacter*>(c);
    const std::string& name = !run.face.empty() ? run.face : own ? own->name : std::string{};
    const FontCharacter* named = nullptr;
    if (!name.empty() && (!own || own->bold != run.bold || own->italic != run.italic || !run.face.empty())) {
        for (const auto& [id, character] : movie.characters) {
            if (character->kind != CharacterKind::Font) continue;
            const auto& font = static_cast<const FontCharacter&>(*character);
            if (font.glyphs.empty() || font.codes.empty() || !SameName(font.name, name)) continue;
            if (font.bold == run.bold && font.italic == run.italic) return &font;
            if (!named) named = &font;
        }
    }
    if (named) return named;
    if (own && !own->glyphs.empty() && !own->codes.empty() && (run.face.empty() || SameName(own->name, run.face))) return own;
    return nullptr;
}

// The next code point of UTF-8 text, moving `at` past it; a broken byte
// stands for itself.
uint32_t NextCodePoint(const std::string& text, size_t& at) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint32_t c = byte(at);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (at + extra >= text.size()) extra = 0;
    uint32_t value = extra ? c & (0x3F >> extra) : c;
    for (int i = 1; i <= extra; ++i) value = value << 6 | (byte(at + i) & 0x3F);
    at += 1 + extra;
    return value;
}

struct PlacedGlyph {
    const FontCharacter* font = nullptr;
    const TextRun* run = nullptr;
    int glyph = -1;   // -1 for a space or a character the font lacks
    uint32_t code = 0;
    double advance = 0, x = 0;   // twips
};

struct Line {
    std::vector<PlacedGlyph> glyphs;
    double width = 0, ascent = 0, descent = 0;
    bool firstOfParagraph = true;
};

// Lines of glyphs: broken at '\n' and, with word wrap, after the last
// space that keeps a line within `width`.
std::vector<Line> LayOut(const TextCharacter& text, const Movie& movie, double width) {
    std::vector<Line> lines(1);
    auto metrics = [](Line& line, const PlacedGlyph& g) {
        double scale = g.run->height / g.font->emSquare;
        line.ascent = std::max(line.ascent, g.font->ascent * scale);
        line.descent = std::max(line.descent, g.font->descent * scale);
    };
    size_t total = 0;   // bytes laid out, all runs together
    for (const TextRun& run : text.runs) {
        const FontCharacter* font = FontFor(movie, run);
        if (!font) continue;
        const double scale = run.height / font->emSquare;
        for (size_t at = 0; at < run.text.size() && total < kMaxTextBytes; ++total) {
            uint32_t code = NextCodePoint(run.text, at);
            if (code == '\n') {
                if (lines.back().glyphs.empty()) metrics(lines.back(), {font, &run});
                lines.emplace_back();
                continue;
            }
            PlacedGlyph g{font, &run, font->GlyphFor(code), code};
            g.advance = g.glyph >= 0 && static_cast<size_t>(g.glyph) < font->advances.size()
                            ? font->advances[static_cast<size_t>(g.glyph)] * scale
                            : run.height / 2;
            Line& line = lines.back();
            if (text.wordWrap && code != ' ' && line.width + g.advance > width && !line.glyphs.empty()) {
                auto space = std::find_if(line.glyphs.rbegin(), line.glyphs.rend(), [](const PlacedGlyph& p) { return p.code == ' '; });
                Line next;
                next.firstOfParagraph = false;
                if (space != line.glyphs.rend()) {
                    auto cut = space.base();   // the glyphs after the space move down
                    next.glyphs.assign(cut, line.glyphs.end());
                    line.glyphs.erase(cut, line.glyphs.end());
                }
                line.width = 0;
                for (const PlacedGlyph& p : line.glyphs) line.width += p.advance;
                for (const PlacedGlyph& p : next.glyphs) next.width += p.advance, metrics(next, p);
                lines.push_back(std::move(next));
            }
            Line& into = lines.back();
            into.width += g.advance;
            metrics(into, g);
            into.glyphs.push_back(g);
        }
    }
    return lines;
}

void DrawUnderline(cairo_t* cr, double x0, double x1, double baseline, double height, Rgba c) {
    double thickness = std::max(kTwips, height / 20);
    cairo_rectangle(cr, x0, baseline + height / 10, x1 - x0, thickness);
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
    cairo_fill(cr);
}

const char* DeviceFamily(const std::string& face) {
    if (face == "_sans") return "Liberation Sans";
    if (face == "_serif") return "Liberation Serif";
    if (face == "_typewriter") return "Liberation Mono";
    return nullptr;
}

// The white field inside its one-pixel black line, on whole device pixels
// when the field is not turned.
void DrawBox(cairo_t* cr, const Rect& b, const Matrix& m, const ColorTransform& color) {
    Rgba white = color.Apply({255, 255, 255, 255}), black = color.Apply({0, 0, 0, 255});
    cairo_identity_matrix(cr);
    if (m.b == 0 && m.c == 0) {
        double x0 = std::round(m.a * b.xMin + m.tx), x1 = std::round(m.a * b.xMax + m.tx);
        double y0 = std::round(m.d * b.yMin + m.ty), y1 = std::round(m.d * b.yMax + m.ty);
        if (x1 < x0) std::swap(x0, x1);
        if (y1 < y0) std::swap(y0, y1);
        if (x1 - x0 < 1 || y1 - y0 < 1) return;
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        cairo_set_source_rgba(cr, white.r / 255.0, white.g / 255.0, white.b / 255.0, white.a / 255.0);
        cairo_fill(cr);
        cairo_rectangle(cr, x0 + 0.5, y0 + 0.5, x1 - x0 - 1, y1 - y0 - 1);
    } else {
        cairo_matrix_t cm{m.a, m.b, m.c, m.d, m.tx, m.ty};
        cairo_set_matrix(cr, &cm);
        cairo_rectangle(cr, b.xMin, b.yMin, b.Width(), b.Height());
        cairo_identity_matrix(cr);
        cairo_set_source_rgba(cr, white.r / 255.0, white.g / 255.0, white.b / 255.0, white.a / 255.0);
        cairo_fill_preserve(cr);
    }
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, black.r / 255.0, black.g / 255.0, black.b / 255.0, black.a / 255.0);
    cairo_stroke(cr);
}

// One Pango layout a paragraph, each with its own alignment, stacked.
struct Paragraph {
    std::string text;
    std::unique_ptr<PangoAttrList, AttrListDeleter> attributes{pango_attr_list_new()};
    TextAlign align = TextAlign::Left;
    bool started = false;
};

std::vector<Paragraph> Paragraphs(const TextCharacter& text, const Movie& movie, const ColorTransform& color) {
    std::vector<Paragraph> paragraphs(1);
    size_t total = 0;
    for (const TextRun& run : text.runs) {
        std::string face = run.face;
        if (face.empty() && run.font)
            if (const Character* c = movie.Find(run.font); c && c->kind == CharacterKind::Font)
                face = static_cast<const FontCharacter*>(c)->name;
        const char* device = DeviceFamily(face);
        const Rgba c = color.Apply(run.color);
        for (size_t at = 0; at <= run.text.size() && total < kMaxTextBytes;) {
            size_t end = std::min(run.text.find('\n', at), run.text.size());
            Paragraph& p = paragraphs.back();
            // An empty line still takes its font's height.
            std::string_view piece(run.text.data() + at, end - at);
            if (piece.empty() && end < run.text.size() && p.text.empty()) piece = " ";
            if (!p.started && !piece.empty()) p.align = run.align, p.started = true;
            auto from = static_cast<guint>(p.text.size());
            p.text += piece;
            total += piece.size();
            auto to = static_cast<guint>(p.text.size());
            auto add = [&](PangoAttribute* a) {
                a->start_index = from, a->end_index = to;
                pango_attr_list_insert(p.attributes.get(), a);
            };
            if (to > from) {
                add(pango_attr_family_new(device ? device : face.empty() ? "Liberation Serif" : face.c_str()));
                add(pango_attr_size_new_absolute(static_cast<int>(std::max(1.0, run.height / kTwips) * PANGO_SCALE)));
                if (run.bold) add(pango_attr_weight_new(PANGO_WEIGHT_BOLD));
                if (run.italic) add(pango_attr_style_new(PANGO_STYLE_ITALIC));
                if (run.underline) add(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
                add(pango_attr_foreground_new(static_cast<guint16>(c.r * 257), static_cast<guint16>(c.g * 257),
                                              static_cast<guint16>(c.b * 257)));
                add(pango_attr_foreground_alpha_new(static_cast<guint16>(std::max(1, c.a * 257))));
            }
            if (end >= run.text.size()) break;
            paragraphs.emplace_back();
            at = end + 1;
        }
    }
    return paragraphs;
}

// A paragraph's layout in pixels, wrapped or aligned within `width`.
std::unique_ptr<PangoLayout, LayoutDeleter> ParagraphLayout(PangoLayout* made, const Paragraph& p, const TextCharacter& text,
                                                            double width) {
    std::unique_ptr<PangoLayout, LayoutDeleter> layout(made);
    pango_layout_set_text(layout.get(), p.text.c_str(), static_cast<int>(p.text.size()));
    pango_layout_set_attributes(layout.get(), p.attributes.get());
    if (text.wordWrap || p.align != TextAlign::Left) {
        pango_layout_set_width(layout.get(), static_cast<int>(std::max(1.0, width) * PANGO_SCALE));
        pango_layout_set_wrap(layout.get(), text.wordWrap ? PANGO_WRAP_WORD : PANGO_WRAP_CHAR);
    }
    static constexpr PangoAlignment kAlign[] = {PANGO_ALIGN_LEFT, PANGO_ALIGN_RIGHT, PANGO_ALIGN_CENTER, PANGO_ALIGN_LEFT};
    pango_layout_set_alignment(layout.get(), kAlign[static_cast<int>(p.align)]);
    pango_layout_set_justify(layout.get(), p.align == TextAlign::Justify);
    pango_layout_set_indent(layout.get(), static_cast<int>(text.indent / kTwips * PANGO_SCALE));
    pango_layout_set_spacing(layout.get(), static_cast<int>(text.leading / kTwips * PANGO_SCALE));
    return layout;
}

bool Shown(const Paragraph& p) {
    return !p.text.empty() && g_utf8_validate(p.text.data(), static_cast<gssize>(p.text.size()), nullptr);
}

double InnerWidth(const TextCharacter& text) { return text.bounds.Width() - 2 * kGutter - text.leftMargin - text.rightMargin; }

bool Outlined(const TextCharacter& text, const Movie& movie) {
    return text.useOutlines && std::all_of(text.runs.begin(), text.runs.end(), [&](const TextRun& r) { return FontFor(movie, r); });
}

} // namespace

void Renderer::DrawEditText(const TextCharacter& text, const Matrix& m, const ColorTransform& color) {
    if (text.bounds.Width() <= 0 || text.bounds.Height() <= 0 || !SetMatrix(m)) return;
    if (text.editBorder) DrawBox(m_cr, text.bounds, m, color);
    if (text.runs.empty()) return;
    cairo_save(m_cr);
    SetMatrix(m);
    cairo_rectangle(m_cr, text.bounds.xMin, text.bounds.yMin, text.bounds.Width(), text.bounds.Height());
    cairo_clip(m_cr);
    if (Outlined(text, *m_movie))
        DrawOutlineText(text, m, color);
    else
        DrawDeviceText(text, m, color);
    cairo_restore(m_cr);
}

void Renderer::DrawOutlineText(const TextCharacter& text, const Matrix& m, const ColorTransform& color) {
    const double left = text.bounds.xMin + kGutter + text.leftMargin;
    const double width = text.bounds.Width() - 2 * kGutter - text.leftMargin - text.rightMargin;
    double top = text.bounds.yMin + kGutter;
    for (const Line& line : LayOut(text, *m_movie, width)) {
        double baseline = top + line.ascent;
        double x = left + (line.firstOfParagraph ? text.indent : 0);
        TextAlign align = line.glyphs.empty() ? TextAlign::Left : line.glyphs.front().run->align;
        if (align == TextAlign::Right) x = left + width - line.width;
        if (align == TextAlign::Center) x = left + (width - line.width) / 2;
        for (const PlacedGlyph& g : line.glyphs) {
            const double scale = g.run->height / g.font->emSquare;
            if (g.glyph >= 0 && !g.font->glyphs[static_cast<size_t>(g.glyph)].layers.empty()) {
                ShapeLayer layer = g.font->glyphs[static_cast<size_t>(g.glyph)].layers[0];
                for (FillStyle& fill : layer.fills) fill.color = g.run->color;
                DrawLayer(layer, m * Matrix{scale, 0, 0, scale, x, baseline}, color, true);
            }
            if (g.run->underline && SetMatrix(m)) DrawUnderline(m_cr, x, x + g.advance, baseline, g.run->height, color.Apply(g.run->color));
            x += g.advance;
        }
        top = baseline + line.descent + text.leading;
    }
}

void Renderer::DrawDeviceText(const TextCharacter& text, const Matrix& m, const ColorTransform& color) {
    const double width = InnerWidth(text) / kTwips;
    double top = 0;   // pixels below the field's inner top
    for (const Paragraph& p : Paragraphs(text, *m_movie, color)) {
        if (!Shown(p)) continue;
        Matrix field = m * Matrix{kTwips, 0, 0, kTwips, text.bounds.xMin + kGutter + text.leftMargin, text.bounds.yMin + kGutter};
        if (!SetMatrix(field)) return;
        auto layout = ParagraphLayout(pango_cairo_create_layout(m_cr), p, text, width);
        cairo_move_to(m_cr, 0, top);
        cairo_set_source_rgba(m_cr, 0, 0, 0, 1);
        pango_cairo_show_layout(m_cr, layout.get());
        int height = 0;
        pango_layout_get_pixel_size(layout.get(), nullptr, &height);
        top += height + text.leading / kTwips;
    }
}

TextSize MeasureEditText(const TextCharacter& text, const Movie& movie) {
    TextSize size;
    if (Outlined(text, movie)) {
        std::vector<Line> lines = LayOut(text, movie, InnerWidth(text));
        for (size_t i = 0; i < lines.size(); ++i) {
            size.width = std::max(size.width, lines[i].width + (lines[i].firstOfParagraph ? text.indent : 0));
            size.height += lines[i].ascent + lines[i].descent + (i + 1 < lines.size() ? text.leading : 0);
        }
        return size;
    }
    // A context of its own: players on other threads measure too.
    std::unique_ptr<PangoContext, void (*)(gpointer)> context(pango_font_map_create_context(pango_cairo_font_map_get_default()),
                                                              g_object_unref);
    bool first = true;
    for (const Paragraph& p : Paragraphs(text, movie, {})) {
        if (!Shown(p)) continue;
        auto layout = ParagraphLayout(pango_layout_new(context.get()), p, text, InnerWidth(text) / kTwips);
        PangoRectangle ink, logical;
        pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
        size.width = std::max(size.width, logical.width * kTwips);
        size.height += logical.height * kTwips + (first ? 0 : text.leading);
        first = false;
    }
    return size;
}

} // namespace showsaver::flash
