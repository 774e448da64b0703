#include "flash/render/Renderer.h"

#include <cmath>
#include <memory>

namespace showsaver::flash {
namespace {

struct PatternDeleter {
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

constexpr double kGradientHalf = 16384;

cairo_matrix_t ToCairo(const Matrix& m) { return {m.a, m.b, m.c, m.d, m.tx, m.ty}; }

bool Invertible(const Matrix& m) {
    double det = m.a * m.d - m.b * m.c;
    return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(m.tx) && std::isfinite(m.ty);
}

void AddStop(cairo_pattern_t* p, double offset, Rgba c) {
    cairo_pattern_add_color_stop_rgba(p, offset, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

double ToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double FromLinear(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

// Cairo blends stops in sRGB; for linear-RGB gradients put in-between stops
// blended in linear light.
void AddLinearRgbStops(cairo_pattern_t* p, Rgba a, Rgba b, double from, double to) {
    constexpr int kSteps = 8;
    for (int i = 1; i < kSteps; ++i) {
        double t = double(i) / kSteps;
        auto mix = [t](uint8_t x, uint8_t y) {
            return static_cast<uint8_t>(std::lround(255 * FromLinear(ToLinear(x / 255.0) * (1 - t) + ToLinear(y / 255.0) * t)));
        };
        Rgba c{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), static_cast<uint8_t>(a.a + (b.a - a.a) * t)};
        AddStop(p, from + (to - from) * t, c);
    }
}

PatternPtr GradientPattern(const FillStyle& fill, const ColorTransform& color) {
    PatternPtr p(fill.kind == FillKind::Linear
                     ? cairo_pattern_create_linear(-kGradientHalf, 0, kGradientHalf, 0)
                     : cairo_pattern_create_radial(fill.gradient.focal * kGradientHalf, 0, 0, 0, 0, kGradientHalf));
    const auto& stops = fill.gradient.stops;
    for (size_t i = 0; i < stops.size(); ++i) {
        Rgba c = color.Apply(stops[i].color);
        if (i > 0 && fill.gradient.linearRgb)
            AddLinearRgbStops(p.get(), color.Apply(stops[i - 1].color), c, stops[i - 1].ratio / 255.0, stops[i].ratio / 255.0);
        AddStop(p.get(), stops[i].ratio / 255.0, c);
    }
    static constexpr cairo_extend_t kExtend[] = {CAIRO_EXTEND_PAD, CAIRO_EXTEND_REFLECT, CAIRO_EXTEND_REPEAT};
    cairo_pattern_set_extend(p.get(), kExtend[static_cast<int>(fill.gradient.spread)]);
    return p;
}

ShapeLayer Interpolate(const MorphCharacter& morph, double t) {
    ShapeLayer layer;
    for (const MorphFill& f : morph.fills) {
        FillStyle s = f.start;
        auto mix = [t](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * t)); };
        auto mixColor = [&](Rgba a, Rgba b) { return Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)}; };
        s.color = mixColor(f.start.color, f.end.color);
        s.matrix = Matrix::Lerp(f.start.matrix, f.end.matrix, t);
        for (size_t i = 0; i < s.gradient.stops.size() && i < f.end.gradient.stops.size(); ++i) {
            s.gradient.stops[i].ratio = mix(f.start.gradient.stops[i].ratio, f.end.gradient.stops[i].ratio);
            s.gradient.stops[i].color = mixColor(f.start.gradient.stops[i].color, f.end.gradient.stops[i].color);
        }
        layer.fills.push_back(s);
    }
    for (const MorphLine& l : morph.lines) {
        LineStyle s = l.start;
        s.width = l.start.width + (l.end.width - l.start.width) * t;
        auto mix = [t](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * t)); };
        s.color = {mix(l.start.color.r, l.end.color.r), mix(l.start.color.g, l.end.color.g),
                   mix(l.start.color.b, l.end.color.b), mix(l.start.color.a, l.end.color.a)};
        layer.lines.push_back(s);
    }
    std::vector<StyledEdge> edges = morph.start;
    auto lerp = [t](Point a, Point b) {
        return Point{static_cast<int32_t>(std::lround(a.x + (b.x - a.x) * t)), static_cast<int32_t>(std::lround(a.y + (b.y - a.y) * t))};
    };
    for (size_t i = 0; i < edges.size(); ++i) {
        const Edge &a = morph.start[i].edge, &b = morph.end[i].edge;
        edges[i].edge = {lerp(a.from, b.from), lerp(a.control, b.control), lerp(a.to, b.to), a.curve || b.curve};
    }
    BuildPaths(layer, edges);
    return layer;
}

bool IsIdentity(const ColorTransform& t) {
    return t.mr == 1 && t.mg == 1 && t.mb == 1 && t.ma == 1 && t.ar == 0 && t.ag == 0 && t.ab == 0 && t.aa == 0;
}

// Past this size a bitmap is drawn without its colour transform rather than
// copied for it every frame.
constexpr int64_t kMaxTransformedPixels = int64_t{4} << 20;

} // namespace

// The bitmap itself (one more reference), or a copy through the colour
// transform, its pixels taken out of and back into premultiplied form.
CairoSurfacePtr Renderer::Transformed(const BitmapCharacter& bitmap, const ColorTransform& color) {
    cairo_surface_t* own = bitmap.surface.get();
    if (IsIdentity(color) || int64_t{bitmap.width} * bitmap.height > kMaxTransformedPixels)
        return CairoSurfacePtr(cairo_surface_reference(own));
    CairoSurfacePtr copy(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height));
    if (cairo_surface_status(copy.get()) != CAIRO_STATUS_SUCCESS) return CairoSurfacePtr(cairo_surface_reference(own));
    cairo_surface_flush(own);
    cairo_surface_flush(copy.get());
    for (int y = 0; y < bitmap.height; ++y) {
        auto row = [y](cairo_surface_t* s) {
            return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(s));
        };
        const uint32_t* in = row(own);
        uint32_t* out = row(copy.get());
        for (int x = 0; x < bitmap.width; ++x) {
            uint32_t p = in[x], a = p >> 24;
            auto straight = [a](uint32_t c) { return static_cast<uint8_t>(a ? std::min<uint32_t>(255, c * 255 / a) : 0); };
            Rgba c = color.Apply({straight(p >> 16 & 0xFF), straight(p >> 8 & 0xFF), straight(p & 0xFF), static_cast<uint8_t>(a)});
            auto mul = [&](uint32_t v) { return (v * c.a + 127) / 255; };
            out[x] = uint32_t{c.a} << 24 | mul(c.r) << 16 | mul(c.g) << 8 | mul(c.b);
        }
    }
    cairo_surface_mark_dirty(copy.get());
    return copy;
}

bool Renderer::SetMatrix(const Matrix& m) {
    if (!Invertible(m)) return false;
    cairo_matrix_t cm = ToCairo(m);
    cairo_set_matrix(m_cr, &cm);
    return true;
}

bool Renderer::AddPath(const std::vector<Edge>& edges) {
    if (m_edges + edges.size() > Limits::kMaxEdgesPerFrame) return false;
    m_edges += edges.size();
    bool open = false;
    Point at;
    for (const Edge& e : edges) {
        if (!open || !(e.from == at)) cairo_move_to(m_cr, e.from.x, e.from.y);
        open = true;
        if (e.curve) {
            // The quadratic's control point, raised to a cubic's two.
            double c1x = e.from.x + 2.0 / 3 * (e.control.x - e.from.x), c1y = e.from.y + 2.0 / 3 * (e.control.y - e.from.y);
            double c2x = e.to.x + 2.0 / 3 * (e.control.x - e.to.x), c2y = e.to.y + 2.0 / 3 * (e.control.y - e.to.y);
            cairo_curve_to(m_cr, c1x, c1y, c2x, c2y, e.to.x, e.to.y);
        } else {
            cairo_line_to(m_cr, e.to.x, e.to.y);
        }
        at = e.to;
    }
    return true;
}

bool Renderer::SetSource(const FillStyle& fill, const ColorTransform& color) {
    if (fill.kind == FillKind::Solid) {
        Rgba c = color.Apply(fill.color);
        cairo_set_source_rgba(m_cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
        return true;
    }
    if (!Invertible(fill.matrix)) return false;
    cairo_matrix_t inverse = ToCairo(fill.matrix);
    cairo_matrix_invert(&inverse);
    PatternPtr pattern;
    if (fill.kind == FillKind::Bitmap) {
        const Character* c = m_movie.Find(fill.bitmapId);
        if (!c || c->kind != CharacterKind::Bitmap) return false;
        auto pixels = Transformed(*static_cast<const BitmapCharacter*>(c), color);
        pattern.reset(cairo_pattern_create_for_surface(pixels.get()));
        cairo_pattern_set_extend(pattern.get(), fill.repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pattern.get(), fill.smooth ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    } else {
        if (fill.gradient.stops.empty()) return false;
        pattern = GradientPattern(fill, color);
    }
    cairo_pattern_set_matrix(pattern.get(), &inverse);
    cairo_set_source(m_cr, pattern.get());
    return true;
}

void Renderer::Stroke(const LineStyle& line, const Matrix& toDevice, const ColorTransform& color) {
    FillStyle solid;
    solid.color = line.color;
    if (!SetSource(line.hasFill ? line.fill : solid, color)) return;
    // Widths are kept in device pixels, at least one.
    double scale = std::sqrt(std::fabs(toDevice.a * toDevice.d - toDevice.b * toDevice.c));
    cairo_identity_matrix(m_cr);
    cairo_set_line_width(m_cr, std::max(1.0, line.width * scale));
    static constexpr cairo_line_cap_t kCaps[] = {CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE};
    static constexpr cairo_line_join_t kJoins[] = {CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL, CAIRO_LINE_JOIN_MITER};
    cairo_set_line_cap(m_cr, kCaps[static_cast<int>(line.cap)]);
    cairo_set_line_join(m_cr, kJoins[static_cast<int>(line.join)]);
    cairo_set_miter_limit(m_cr, std::max(1.0, line.miterLimit));
    cairo_stroke(m_cr);
}

void Renderer::DrawLayer(const ShapeLayer& layer, const Matrix& toDevice, const ColorTransform& color, bool nonZero) {
    cairo_set_fill_rule(m_cr, nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    for (size_t i = 0; i < layer.fillPaths.size() && i < layer.fills.size(); ++i) {
        if (layer.fillPaths[i].empty() || !SetMatrix(toDevice)) continue;
        if (!SetSource(layer.fills[i], color) || !AddPath(layer.fillPaths[i])) continue;
        cairo_fill(m_cr);
    }
    for (size_t i = 0; i < layer.linePaths.size() && i < layer.lines.size(); ++i) {
        if (layer.linePaths[i].empty() || !SetMatrix(toDevice) || !AddPath(layer.linePaths[i])) continue;
        Stroke(layer.lines[i], toDevice, color);
        cairo_new_path(m_cr);
    }
}

void Renderer::DrawList(const Playhead& playhead, const Matrix& toDevice, const ColorTransform& color, int depth) {
    if (depth > Limits::kMaxCharacterDepth) return;
    for (const ShapeLayer& layer : playhead.Drawing()) DrawLayer(layer, toDevice, color, false);
    const auto& list = playhead.List();
    for (auto it = list.begin(); it != list.end(); ++it) {
        const DisplayObject& object = it->second;
        if (object.clipDepth == 0) {
            if (object.visible) DrawObject(object, toDevice, color, depth);
            continue;
        }
        std::vector<const DisplayObject*> masked;
        auto next = std::next(it);
        for (; next != list.end() && next->first <= object.clipDepth; ++next) masked.push_back(&next->second);
        DrawMasked(object, masked, toDevice, color, depth);
        it = std::prev(next);
    }
}

void Renderer::DrawMasked(const DisplayObject& mask, const std::vector<const DisplayObject*>& masked,
                          const Matrix& toDevice, const ColorTransform& color, int depth) {
    // Each mask level holds two groups the size of the area while it draws.
    if (masked.empty() || m_masks >= Limits::kMaxMaskNesting) return;
    ++m_masks;
    cairo_push_group(m_cr);
    for (const DisplayObject* object : masked) DrawObject(*object, toDevice, color, depth);
    PatternPtr content(cairo_pop_group(m_cr));
    cairo_push_group(m_cr);
    ColorTransform opaque;
    opaque.ma = 0;
    opaque.aa = 255;
    DrawObject(mask, toDevice, opaque, depth);
    PatternPtr coverage(cairo_pop_group(m_cr));
    cairo_identity_matrix(m_cr);
    cairo_set_source(m_cr, content.get());
    cairo_mask(m_cr, coverage.get());
    --m_masks;
}

void Renderer::DrawObject(const DisplayObject& object, const Matrix& toDevice, const ColorTransform& color, int depth) {
    if (!object.character || ++m_objects > Limits::kMaxObjectsPerFrame) return;
    DrawCharacter(*object.character, &object, toDevice * object.matrix, color * object.color, depth);
}

void Renderer::DrawCharacter(const Character& character, const DisplayObject* object, const Matrix& m,
                             const ColorTransform& color, int depth) {
    if (depth > Limits::kMaxCharacterDepth) return;
    switch (character.kind) {
    case CharacterKind::Shape: {
        const Shape& shape = static_cast<const ShapeCharacter&>(character).shape;
        for (const ShapeLayer& layer : shape.layers) DrawLayer(layer, m, color, shape.nonZero);
        break;
    }
    case CharacterKind::Morph:
        DrawMorph(static_cast<const MorphCharacter&>(character), object ? object->ratio : 0, m, color);
        break;
    case CharacterKind::Bitmap: DrawBitmap(static_cast<const BitmapCharacter&>(character), m, color); break;
    case CharacterKind::Sprite:
    case CharacterKind::Button:   // its up state, a one-frame timeline of its own
        if (object && object->sprite) DrawList(*object->sprite, m, color, depth + 1);
        break;
    case CharacterKind::Text: {
        const auto& text = static_cast<const TextCharacter&>(character);
        if (text.isEdit)
            DrawEditText(text, m, color);
        else
            DrawText(text, m, color);
        break;
    }
    case CharacterKind::Font: break;
    }
}

void Renderer::DrawMorph(const MorphCharacter& morph, uint16_t ratio, const Matrix& m, const ColorTransform& color) {
    if (m_edges + morph.start.size() > Limits::kMaxEdgesPerFrame) return;
    DrawLayer(Interpolate(morph, ratio / 65535.0), m, color, false);
}

void Renderer::DrawBitmap(const BitmapCharacter& bitmap, const Matrix& m, const ColorTransform& color) {
    // A bitmap placed by itself is drawn one pixel to 20 twips.
    Matrix pixels = m * Matrix{20, 0, 0, 20, 0, 0};
    if (!SetMatrix(pixels)) return;
    cairo_set_source_surface(m_cr, Transformed(bitmap, color).get(), 0, 0);
    cairo_rectangle(m_cr, 0, 0, bitmap.width, bitmap.height);
    cairo_fill(m_cr);
}

void Renderer::DrawText(const TextCharacter& text, const Matrix& m, const ColorTransform& color) {
    Matrix base = m * text.matrix;
    for (const TextGlyph& g : text.glyphs) {
        const Character* c = m_movie.Find(g.font);
        if (!c || c->kind != CharacterKind::Font) continue;
        const auto& font = static_cast<const FontCharacter&>(*c);
        if (g.glyph >= font.glyphs.size() || font.glyphs[g.glyph].layers.empty()) continue;
        double scale = g.height / font.emSquare;
        Matrix at = base * Matrix{scale, 0, 0, scale, g.x, g.y};
        ShapeLayer layer = font.glyphs[g.glyph].layers[0];
        layer.fills[0].color = g.color;
        DrawLayer(layer, at, color, true);
    }
}

} // namespace showsaver::flash
