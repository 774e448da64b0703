#include "flash/render/Renderer.h"

#include "flash/render/Effects.h"
#include "flash/render/Gradients.h"
#include "flash/render/ObjectBounds.h"

#include <cmath>
#include <memory>
#include <utility>

namespace showsaver::flash {
namespace {

cairo_matrix_t ToCairo(const Matrix& m) { return {m.a, m.b, m.c, m.d, m.tx, m.ty}; }

bool Invertible(const Matrix& m) {
    double det = m.a * m.d - m.b * m.c;
    return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(m.tx) && std::isfinite(m.ty);
}

FillStyle MixFill(const FillStyle& a, const FillStyle& b, double t) {
    auto mix = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
    auto mixColor = [&](Rgba x, Rgba y) { return Rgba{mix(x.r, y.r), mix(x.g, y.g), mix(x.b, y.b), mix(x.a, y.a)}; };
    FillStyle s = a;
    s.color = mixColor(a.color, b.color);
    s.matrix = Matrix::Lerp(a.matrix, b.matrix, t);
    s.gradient.focal = a.gradient.focal + (b.gradient.focal - a.gradient.focal) * t;
    for (size_t i = 0; i < s.gradient.stops.size() && i < b.gradient.stops.size(); ++i) {
        s.gradient.stops[i].ratio = mix(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio);
        s.gradient.stops[i].color = mixColor(a.gradient.stops[i].color, b.gradient.stops[i].color);
    }
    return s;
}

ShapeLayer Interpolate(const MorphCharacter& morph, double t) {
    ShapeLayer layer;
    for (const MorphFill& f : morph.fills) layer.fills.push_back(MixFill(f.start, f.end, t));
    for (const MorphLine& l : morph.lines) {
        LineStyle s = l.start;
        s.width = l.start.width + (l.end.width - l.start.width) * t;
        FillStyle from, to;
        from.color = l.start.color;
        to.color = l.end.color;
        s.color = MixFill(from, to, t).color;
        if (s.hasFill) s.fill = MixFill(l.start.fill, l.end.fill, t);
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

// An object drawn for its filters or blend mode gets a surface of its own:
// one at most this large, and all of them alive at once (groups inside
// groups) at most this many pixels. Past that it is drawn plainly.
constexpr int64_t kMaxGroupPixels = int64_t{3840} * 2160 * 2;
constexpr int64_t kMaxGroupPixelsAlive = kMaxGroupPixels * 2;
// The pixel operations the filters of one frame may take, past which
// objects are drawn without their filters: 64 for each pixel drawn to
// (three or four whole-screen shadows), at least enough for a small window
// (a preview's objects with shadows a few dozen pixels wide) and at most
// what a 4K screen gets. A few hundred million take a good part of a
// second, whatever the window: without the share, a movie that blurs or
// convolves widely made every frame of a small preview that slow.
constexpr int64_t kEffectWorkPerPixel = 64;
constexpr int64_t kMinEffectWorkPerFrame = int64_t{4} << 20;
constexpr int64_t kMaxEffectWorkPerFrame = int64_t{3840} * 2160 * kEffectWorkPerPixel;

int64_t EffectWorkFor(cairo_t* cr) {
    cairo_surface_t* target = cairo_get_target(cr);
    int64_t pixels = 0;
    if (cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE)
        pixels = int64_t{cairo_image_surface_get_width(target)} * cairo_image_surface_get_height(target);
    return std::clamp(pixels * kEffectWorkPerPixel, kMinEffectWorkPerFrame, kMaxEffectWorkPerFrame);
}

// Operations per pixel of an object's surface for its filters.
int64_t FilterWork(const std::vector<Filter>& filters) {
    int64_t work = 2;
    for (const Filter& f : filters) {
        int64_t passes = std::max(f.passes, 1);
        switch (f.kind) {
        case FilterKind::Blur: work += 8 * passes; break;
        // Each weight multiplies and adds the four channels of a pixel.
        case FilterKind::Convolution: work += 4 * int64_t{f.matrixX} * f.matrixY + 2; break;
        case FilterKind::ColorMatrix: work += 2; break;
        default: work += 2 * passes + 6; break;
        }
    }
    return work;
}

} // namespace

Renderer::Renderer(cairo_t* cr, const Movie& movie, ShapeCache* cache)
    : m_cr(cr), m_movie(&movie), m_cache(cache), m_effectBudget(EffectWorkFor(cr)) {}

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
        const Character* c = fill.bitmap ? fill.bitmap.get() : m_movie->Find(fill.bitmapId);
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

double Renderer::LineScale(const LineStyle& line, const Matrix& m) const {
    if (line.noHScale && line.noVScale) return std::sqrt(std::fabs(m_stage.a * m_stage.d - m_stage.b * m_stage.c));
    if (line.noHScale) return std::hypot(m.c, m.d);
    if (line.noVScale) return std::hypot(m.a, m.b);
    return std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
}

void Renderer::Stroke(const LineStyle& line, const std::vector<Edge>& edges, const Matrix& toDevice,
                      const ColorTransform& color) {
    FillStyle solid;
    solid.color = line.color;
    // The source takes its matrix from the shape's, which is current here.
    if (!SetSource(line.hasFill ? line.fill : solid, color)) return;
    if (m_edges + edges.size() > Limits::kMaxEdgesPerFrame) return;
    m_edges += edges.size();
    // Widths are kept in device pixels, at least one: a hairline is one.
    const double width = std::max(1.0, line.width * LineScale(line, toDevice));
    // A hinted line puts its ends on pixel centres when its width is odd,
    // on pixel edges when even.
    const bool odd = static_cast<long>(std::lround(width)) % 2 == 1;
    auto snap = [&](double v) { return odd ? std::floor(v) + 0.5 : std::round(v); };
    auto device = [&](Point p, bool end) {
        double x = toDevice.a * p.x + toDevice.c * p.y + toDevice.tx, y = toDevice.b * p.x + toDevice.d * p.y + toDevice.ty;
        if (end && line.pixelHinting) x = snap(x), y = snap(y);
        return std::pair{x, y};
    };
    struct End {
        double x, y, dx, dy;   // where a run starts or ends, and its heading there
    };
    std::vector<End> starts, ends;
    cairo_identity_matrix(m_cr);
    cairo_new_path(m_cr);
    size_t runStart = 0;
    auto finishRun = [&](size_t last) {
        const Edge &first = edges[runStart], &tail = edges[last];
        auto [sx, sy] = device(first.from, true);
        auto [ex, ey] = device(tail.to, true);
        if (first.from == tail.to && last > runStart && !line.noClose) {
            cairo_close_path(m_cr);
            return;
        }
        auto [fx, fy] = device(first.curve ? first.control : first.to, false);
        auto [tx, ty] = device(tail.curve ? tail.control : tail.from, false);
        starts.push_back({sx, sy, fx - sx, fy - sy});
        ends.push_back({ex, ey, ex - tx, ey - ty});
    };
    for (size_t i = 0; i < edges.size(); ++i) {
        const Edge& e = edges[i];
        if (i > 0 && !(e.from == edges[i - 1].to)) {
            finishRun(i - 1);
            runStart = i;
        }
        auto [fx, fy] = device(e.from, true);
        if (i == runStart) cairo_move_to(m_cr, fx, fy);
        auto [tx, ty] = device(e.to, true);
        if (e.curve) {
            auto [cx, cy] = device(e.control, false);
            // The quadratic's control point, raised to a cubic's two.
            cairo_curve_to(m_cr, fx + 2.0 / 3 * (cx - fx), fy + 2.0 / 3 * (cy - fy), tx + 2.0 / 3 * (cx - tx),
                           ty + 2.0 / 3 * (cy - ty), tx, ty);
        } else {
            cairo_line_to(m_cr, tx, ty);
        }
    }
    if (!edges.empty()) finishRun(edges.size() - 1);
    static constexpr cairo_line_cap_t kCaps[] = {CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE};
    static constexpr cairo_line_join_t kJoins[] = {CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL, CAIRO_LINE_JOIN_MITER};
    const bool sameCaps = line.cap == line.endCap;
    cairo_set_line_width(m_cr, width);
    cairo_set_line_cap(m_cr, sameCaps ? kCaps[static_cast<int>(line.cap)] : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(m_cr, kJoins[static_cast<int>(line.join)]);
    cairo_set_miter_limit(m_cr, std::max(1.0, line.miterLimit));
    cairo_stroke(m_cr);
    if (sameCaps) return;
    // Cairo has one cap for both ends: butt ends, then each cap drawn on,
    // a half disc or half a square past the end.
    auto cap = [&](const End& e, Cap kind, bool atStart) {
        double length = std::hypot(e.dx, e.dy);
        if (kind == Cap::None || length < 1e-9) return;
        double ux = e.dx / length, uy = e.dy / length, r = width / 2;
        if (atStart) ux = -ux, uy = -uy;   // outward, away from the line
        if (kind == Cap::Round) {
            double heading = std::atan2(uy, ux);
            cairo_new_sub_path(m_cr);
            cairo_arc(m_cr, e.x, e.y, r, heading - M_PI / 2, heading + M_PI / 2);
            cairo_close_path(m_cr);
        } else {
            cairo_move_to(m_cr, e.x - uy * r, e.y + ux * r);
            cairo_line_to(m_cr, e.x - uy * r + ux * r, e.y + ux * r + uy * r);
            cairo_line_to(m_cr, e.x + uy * r + ux * r, e.y - ux * r + uy * r);
            cairo_line_to(m_cr, e.x + uy * r, e.y - ux * r);
            cairo_close_path(m_cr);
        }
    };
    for (const End& e : starts) cap(e, line.cap, true);
    for (const End& e : ends) cap(e, line.endCap, false);
    cairo_set_fill_rule(m_cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(m_cr);
}

void Renderer::DrawLayer(const ShapeLayer& layer, const Matrix& toDevice, const ColorTransform& color, bool nonZero,
                         bool kept) {
    cairo_set_fill_rule(m_cr, nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    for (size_t i = 0; i < layer.fillPaths.size() && i < layer.fills.size(); ++i) {
        if (layer.fillPaths[i].empty() || !SetMatrix(toDevice)) continue;
        const bool cached = kept && m_cache && SetCachedSource(layer.fills[i], layer.fillPaths[i], toDevice, color);
        if ((!cached && !SetSource(layer.fills[i], color)) || !AddPath(layer.fillPaths[i])) continue;
        cairo_fill(m_cr);
    }
    for (size_t i = 0; i < layer.linePaths.size() && i < layer.lines.size() && !m_maskPass; ++i) {
        if (layer.linePaths[i].empty() || !SetMatrix(toDevice)) continue;
        Stroke(layer.lines[i], layer.linePaths[i], toDevice, color);
        cairo_new_path(m_cr);
    }
}

void Renderer::DrawList(const Playhead& playhead, const Matrix& toDevice, const ColorTransform& color, int depth) {
    if (depth > Limits::kMaxCharacterDepth) return;
    if (depth == 0) m_stage = toDevice;   // the root's matrix is the stage's: what unscaled lines keep
    const Movie* outer = std::exchange(m_movie, &playhead.OwnMovie());
    for (const ShapeLayer& layer : playhead.Drawing()) DrawLayer(layer, toDevice, color, false);
    DrawRun(playhead, playhead.List().begin(), playhead.List().end(), toDevice, color, depth);
    m_movie = outer;
}

void Renderer::DrawRun(const Playhead& playhead, ListIterator first, ListIterator last, const Matrix& toDevice,
                       const ColorTransform& color, int depth) {
    const PlayheadRegistry& registry = playhead.Registry();
    for (auto it = first; it != last; ++it) {
        const DisplayObject& object = it->second;
        if (object.masking && registry.Find(object.masking)) continue;   // drawn only as that clip's mask
        if (object.clipDepth == 0) {
            if (!object.visible) continue;
            const Playhead* mask = object.mask ? registry.Find(object.mask) : nullptr;
            if (mask && mask->Holder())
                DrawWithMaskClip(*mask, object, toDevice, color, depth);
            else
                DrawObject(object, toDevice, color, depth);
            continue;
        }
        auto next = std::next(it);
        while (next != last && next->first <= object.clipDepth) ++next;
        DrawMasked(playhead, object, std::next(it), next, toDevice, color, depth);
        it = std::prev(next);
    }
}

void Renderer::ThroughMask(const std::optional<DeviceBox>& box, const std::function<void()>& mask,
                           const std::function<void()>& content) {
    if (m_masks >= Limits::kMaxMaskNesting || (box && box->Empty())) return;
    ++m_masks;
    cairo_save(m_cr);
    if (box && std::isfinite(box->x0) && std::isfinite(box->y0) && std::isfinite(box->x1) && std::isfinite(box->y1)) {
        // Nothing shows outside the mask, so both groups are cut to its box
        // rather than made the size of the whole area.
        cairo_identity_matrix(m_cr);
        cairo_rectangle(m_cr, std::floor(box->x0), std::floor(box->y0), std::ceil(box->x1) - std::floor(box->x0),
                        std::ceil(box->y1) - std::floor(box->y0));
        cairo_clip(m_cr);
    }
    cairo_push_group(m_cr);
    content();
    PatternPtr drawn(cairo_pop_group(m_cr));
    cairo_push_group_with_content(m_cr, CAIRO_CONTENT_ALPHA);
    const bool outer = m_maskPass;
    m_maskPass = true;
    mask();
    m_maskPass = outer;
    PatternPtr coverage(cairo_pop_group(m_cr));
    cairo_identity_matrix(m_cr);
    cairo_set_source(m_cr, drawn.get());
    cairo_mask(m_cr, coverage.get());
    cairo_restore(m_cr);
    --m_masks;
}

namespace {

// What a mask is drawn with: every pixel it covers fully opaque.
ColorTransform Opaque() {
    ColorTransform opaque;
    opaque.ma = 0;
    opaque.aa = 255;
    return opaque;
}

} // namespace

void Renderer::DrawMasked(const Playhead& playhead, const DisplayObject& mask, ListIterator first, ListIterator last,
                          const Matrix& toDevice, const ColorTransform& color, int depth) {
    // A mask that draws nothing shows nothing of what it masks.
    if (first == last || !mask.character) return;
    ThroughMask(
        ObjectBounds(*mask.character, &mask, toDevice * mask.matrix, depth),
        [&] { DrawObject(mask, toDevice, Opaque(), depth); },
        [&] { DrawRun(playhead, first, last, toDevice, color, depth); });
}

void Renderer::DrawWithMaskClip(const Playhead& mask, const DisplayObject& object, const Matrix& toDevice,
                                const ColorTransform& color, int depth) {
    // The mask clip is where it is on the stage, wherever its list lies.
    Matrix parent;
    const Playhead* p = mask.Parent();
    for (int i = 0; p && p->Holder() && i <= Limits::kMaxCharacterDepth; ++i, p = p->Parent())
        parent = p->Holder()->matrix * parent;
    parent = m_stage * parent;
    const DisplayObject& holder = *mask.Holder();
    if (!holder.character) return;
    ThroughMask(
        ObjectBounds(*holder.character, &holder, parent * holder.matrix, depth),
        [&] { DrawObject(holder, parent, Opaque(), depth); },
        [&] { DrawObject(object, toDevice, color, depth); });
}

bool Renderer::BeginFrame(const DisplayObject& object, Matrix& m, const ColorTransform& color, int depth) {
    std::optional<DeviceBox> local;
    if (object.scrollRect) {
        const Rect& r = *object.scrollRect;
        local = DeviceBox{0, 0, double(r.xMax - r.xMin), double(r.yMax - r.yMin)};
    } else {
        local = ObjectBounds(*object.character, &object, Matrix{}, depth);
    }
    if (!local || local->Empty() || !SetMatrix(m)) return !object.scrollRect;
    cairo_rectangle(m_cr, local->x0, local->y0, local->x1 - local->x0, local->y1 - local->y0);
    if (object.opaqueBackground) {
        Rgba c = color.Apply(*object.opaqueBackground);
        cairo_set_source_rgba(m_cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
        if (object.scrollRect)
            cairo_fill_preserve(m_cr);
        else
            cairo_fill(m_cr);
    }
    if (object.scrollRect) {
        cairo_clip(m_cr);
        m = m * Matrix{1, 0, 0, 1, -double(object.scrollRect->xMin), -double(object.scrollRect->yMin)};
    }
    return true;
}

void Renderer::DrawObject(const DisplayObject& object, const Matrix& toDevice, const ColorTransform& color, int depth) {
    if (!object.character || ++m_objects > Limits::kMaxObjectsPerFrame) return;
    Matrix m = toDevice * object.matrix;
    // An object cached as a bitmap is drawn at whole device pixels: the
    // bitmap moves by whole pixels, and kept pixels serve it as it moves.
    if (object.cacheAsBitmap) m.tx = std::floor(m.tx + 0.5), m.ty = std::floor(m.ty + 0.5);
    const bool framed = object.scrollRect || object.opaqueBackground;
    if (framed) {
        cairo_save(m_cr);
        if (!BeginFrame(object, m, color * object.color, depth)) {
            cairo_restore(m_cr);
            return;
        }
    }
    if ((object.filters.empty() && object.blend == BlendMode::Normal) ||
        !DrawWithEffects(object, m, color * object.color, depth))
        DrawCharacter(*object.character, &object, m, color * object.color, depth);
    if (framed) cairo_restore(m_cr);
}

bool Renderer::DrawWithEffects(const DisplayObject& object, const Matrix& m, const ColorTransform& color, int depth) {
    // Filter sizes are stage pixels: they grow with the stage's scale to
    // the device, not with the object's own.
    std::vector<Filter> filters = object.filters;
    const double kx = std::hypot(m_stage.a, m_stage.b) * 20, ky = std::hypot(m_stage.c, m_stage.d) * 20;
    if (std::isfinite(kx) && std::isfinite(ky) && kx > 0 && ky > 0)
        for (Filter& f : filters) {
            f.blurX = std::min(f.blurX * kx, Filter::kMaxBlur);
            f.blurY = std::min(f.blurY * ky, Filter::kMaxBlur);
            f.distance *= std::sqrt(kx * ky);
        }
    // The surface covers the object's pixels grown by what its filters
    // spread, cut to what can show: the clip grown by the same.
    const FilterSpread spread = FilterMargin(filters);
    cairo_identity_matrix(m_cr);
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(m_cr, &cx0, &cy0, &cx1, &cy1);
    DeviceBox box = DeviceBox{cx0, cy0, cx1, cy1}.Grown(spread.x, spread.y);
    auto own = object.scrollRect ? std::nullopt : ObjectBounds(*object.character, &object, m, depth);   // the clip bounds a scrolled one
    if (own) box = box.Intersect(own->Grown(spread.x, spread.y));
    if (box.Empty()) return true;   // nothing of it can show
    if (!std::isfinite(box.x0) || !std::isfinite(box.y0) || !std::isfinite(box.x1) || !std::isfinite(box.y1)) return false;
    const int x0 = static_cast<int>(std::floor(box.x0)), y0 = static_cast<int>(std::floor(box.y0));
    const int x1 = static_cast<int>(std::ceil(box.x1)), y1 = static_cast<int>(std::ceil(box.y1));
    const int64_t pixels = int64_t{x1 - x0} * (y1 - y0);
    if (pixels > kMaxGroupPixels || m_groupPixels + pixels > kMaxGroupPixelsAlive) return false;
    const int64_t work = pixels * FilterWork(filters);
    if (work > m_effectBudget) return false;
    m_effectBudget -= work;
    CairoSurfacePtr group(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, x1 - x0, y1 - y0));
    if (cairo_surface_status(group.get()) != CAIRO_STATUS_SUCCESS) return false;
    m_groupPixels += pixels;
    cairo_surface_set_device_offset(group.get(), -x0, -y0);
    cairo_t* outer = m_cr;
    m_cr = cairo_create(group.get());
    // The object is drawn without colour transforms; they apply to the
    // filtered pixels.
    DrawCharacter(*object.character, &object, m, ColorTransform{}, depth);
    cairo_destroy(m_cr);
    m_cr = outer;
    cairo_surface_set_device_offset(group.get(), 0, 0);
    ApplyFilters(group.get(), filters);
    if (!IsIdentity(color)) TransformPixels(group.get(), color);
    Composite(group.get(), x0, y0, object.blend);
    m_groupPixels -= pixels;
    return true;
}

void Renderer::Composite(cairo_surface_t* group, int x, int y, BlendMode mode) {
    cairo_operator_t op = CAIRO_OPERATOR_OVER;
    switch (mode) {
    case BlendMode::Multiply: op = CAIRO_OPERATOR_MULTIPLY; break;
    case BlendMode::Screen: op = CAIRO_OPERATOR_SCREEN; break;
    case BlendMode::Lighten: op = CAIRO_OPERATOR_LIGHTEN; break;
    case BlendMode::Darken: op = CAIRO_OPERATOR_DARKEN; break;
    case BlendMode::Difference: op = CAIRO_OPERATOR_DIFFERENCE; break;
    case BlendMode::Add: op = CAIRO_OPERATOR_ADD; break;
    case BlendMode::Overlay: op = CAIRO_OPERATOR_OVERLAY; break;
    case BlendMode::Hardlight: op = CAIRO_OPERATOR_HARD_LIGHT; break;
    case BlendMode::Subtract:
    case BlendMode::Invert:
    case BlendMode::Alpha:
    case BlendMode::Erase: {
        // These act on the pixels below: the enclosing group's, or the
        // frame's own.
        cairo_surface_t* target = cairo_get_group_target(m_cr);
        if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) break;
        double ox, oy, cx0, cy0, cx1, cy1;
        cairo_surface_get_device_offset(target, &ox, &oy);
        cairo_identity_matrix(m_cr);
        cairo_clip_extents(m_cr, &cx0, &cy0, &cx1, &cy1);
        auto at = [](double v, double offset) { return static_cast<int>(std::lround(v + offset)); };
        BlendPixels(target, group, at(x, ox), at(y, oy), mode, at(std::floor(cx0), ox), at(std::floor(cy0), oy),
                    at(std::ceil(cx1), ox), at(std::ceil(cy1), oy));
        return;
    }
    default: break;
    }
    cairo_identity_matrix(m_cr);
    cairo_set_operator(m_cr, op);
    cairo_set_source_surface(m_cr, group, x, y);
    cairo_paint(m_cr);
    cairo_set_operator(m_cr, CAIRO_OPERATOR_OVER);
}

bool Renderer::SetCachedSource(const FillStyle& fill, const std::vector<Edge>& path, const Matrix& m,
                               const ColorTransform& color) {
    if (fill.kind == FillKind::Solid || !Invertible(m) || path.empty()) return false;
    // The paint is made once with the shape's origin on a pixel corner,
    // over the box of the fill's outline, and then moved where the shape is.
    Rect r{path.front().from.x, path.front().from.x, path.front().from.y, path.front().from.y};
    for (const Edge& e : path)
        for (Point p : {e.from, e.control, e.to})
            r = {std::min(r.xMin, p.x), std::max(r.xMax, p.x), std::min(r.yMin, p.y), std::max(r.yMax, p.y)};
    Matrix local = m;
    local.tx = local.ty = 0;
    const DeviceBox box = Transform(r, local);
    if (!std::isfinite(box.x0) || !std::isfinite(box.y0) || !std::isfinite(box.x1) || !std::isfinite(box.y1)) return false;
    const double w = std::ceil(box.x1) - std::floor(box.x0), h = std::ceil(box.y1) - std::floor(box.y0);
    if (w <= 0 || h <= 0 || w * h > double(ShapeCache::kMaxShapePixels)) return false;
    const int x0 = static_cast<int>(std::floor(box.x0)), y0 = static_cast<int>(std::floor(box.y0));
    const int width = static_cast<int>(w), height = static_cast<int>(h);
    ShapeCache::Entry* entry = m_cache->Find({&fill, m.a, m.b, m.c, m.d, color});
    if (!entry || (!entry->pixels && entry->seen < 2)) return false;
    if (!entry->pixels) {
        if (!m_cache->Charge(int64_t{width} * height)) return false;
        CairoSurfacePtr pixels(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        if (cairo_surface_status(pixels.get()) != CAIRO_STATUS_SUCCESS) return false;
        cairo_surface_set_device_offset(pixels.get(), -x0, -y0);
        cairo_t* outer = m_cr;
        m_cr = cairo_create(pixels.get());
        if (SetMatrix(local) && SetSource(fill, color)) cairo_paint(m_cr);
        cairo_destroy(m_cr);
        m_cr = outer;
        cairo_surface_set_device_offset(pixels.get(), 0, 0);
        entry->pixels = std::move(pixels);
        entry->x = x0;
        entry->y = y0;
    }
    // The paint moves by whole pixels, which copies: its colours are at
    // most half a pixel off, which a smooth paint hardly shows. The outline
    // itself is filled where it is, so its edges are exact.
    PatternPtr pattern(cairo_pattern_create_for_surface(entry->pixels.get()));
    cairo_matrix_t at;
    cairo_matrix_init_translate(&at, -(std::round(m.tx) + entry->x), -(std::round(m.ty) + entry->y));
    cairo_pattern_set_matrix(pattern.get(), &at);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
    cairo_identity_matrix(m_cr);
    cairo_set_source(m_cr, pattern.get());
    return SetMatrix(m);
}

void Renderer::DrawCharacter(const Character& character, const DisplayObject* object, const Matrix& m,
                             const ColorTransform& color, int depth) {
    if (depth > Limits::kMaxCharacterDepth) return;
    switch (character.kind) {
    case CharacterKind::Shape: {
        const Shape& shape = static_cast<const ShapeCharacter&>(character).shape;
        for (const ShapeLayer& layer : shape.layers)
            if (m_maskPass || !m_cache || !DrawKeptLayer(layer, m, color, shape.nonZero)) DrawLayer(layer, m, color, shape.nonZero, true);
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
    case CharacterKind::Video:
        DrawVideo(static_cast<const VideoCharacter&>(character), object, m, color);
        break;
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
    if (!bitmap.smooth) cairo_pattern_set_filter(cairo_get_source(m_cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(m_cr, 0, 0, bitmap.width, bitmap.height);
    cairo_fill(m_cr);
}

void Renderer::DrawText(const TextCharacter& text, const Matrix& m, const ColorTransform& color) {
    Matrix base = m * text.matrix;
    for (const TextGlyph& g : text.glyphs) {
        const Character* c = m_movie->Find(g.font);
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
