#include "flash/render/BitmapDraw.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "flash/render/Effects.h"
#include "flash/render/Renderer.h"

namespace showsaver::flash {

namespace {

struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

bool Finite(const Matrix& m) {
    for (double v : {m.a, m.b, m.c, m.d, m.tx, m.ty})
        if (!std::isfinite(v)) return false;
    return std::fabs(m.a * m.d - m.b * m.c) > 1e-12;
}

bool Plain(const ColorTransform& c) {
    return c.mr == 1 && c.mg == 1 && c.mb == 1 && c.ma == 1 && c.ar == 0 && c.ag == 0 && c.ab == 0 && c.aa == 0;
}

cairo_operator_t OperatorOf(BlendMode mode) {
    switch (mode) {
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Screen: return CAIRO_OPERATOR_SCREEN;
    case BlendMode::Lighten: return CAIRO_OPERATOR_LIGHTEN;
    case BlendMode::Darken: return CAIRO_OPERATOR_DARKEN;
    case BlendMode::Difference: return CAIRO_OPERATOR_DIFFERENCE;
    case BlendMode::Add: return CAIRO_OPERATOR_ADD;
    case BlendMode::Overlay: return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::Hardlight: return CAIRO_OPERATOR_HARD_LIGHT;
    default: return CAIRO_OPERATOR_OVER;
    }
}

} // namespace

size_t DrawIntoBitmap(cairo_surface_t* target, const Movie& movie, const BitmapDrawing& what) {
    if (cairo_surface_status(target) != CAIRO_STATUS_SUCCESS || !Finite(what.matrix)) return 0;
    const int width = cairo_image_surface_get_width(target), height = cairo_image_surface_get_height(target);
    int x0 = 0, y0 = 0, x1 = width, y1 = height;
    if (what.clipRect) {
        x0 = std::max(x0, what.clipRect->x), y0 = std::max(y0, what.clipRect->y);
        x1 = std::min<int64_t>(x1, int64_t{what.clipRect->x} + what.clipRect->width);
        y1 = std::min<int64_t>(y1, int64_t{what.clipRect->y} + what.clipRect->height);
    }
    if (x0 >= x1 || y0 >= y1) return 0;

    // The source is drawn into pixels of its own first: the colour
    // transform and the blend modes work on them.
    CairoSurfacePtr layer(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(layer.get()) != CAIRO_STATUS_SUCCESS) return 0;
    size_t edges = 0;
    {
        std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(layer.get()));
        cairo_rectangle(cr.get(), x0, y0, x1 - x0, y1 - y0);
        cairo_clip(cr.get());
        if (what.clip) {
            Renderer renderer(cr.get(), movie);
            renderer.DrawList(*what.clip, what.matrix * Matrix{0.05, 0, 0, 0.05, 0, 0}, ColorTransform{}, 0);
            edges = renderer.EdgesDrawn();
        } else if (what.bitmap) {
            cairo_matrix_t m{what.matrix.a, what.matrix.b, what.matrix.c, what.matrix.d, what.matrix.tx, what.matrix.ty};
            cairo_set_matrix(cr.get(), &m);
            cairo_set_source_surface(cr.get(), what.bitmap, 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr.get()), what.smoothing ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
            cairo_rectangle(cr.get(), 0, 0, cairo_image_surface_get_width(what.bitmap), cairo_image_surface_get_height(what.bitmap));
            cairo_fill(cr.get());
        }
    }
    cairo_surface_flush(layer.get());
    if (!Plain(what.color)) TransformPixels(layer.get(), what.color);

    switch (what.blend) {
    case BlendMode::Subtract:
    case BlendMode::Invert:
    case BlendMode::Alpha:
    case BlendMode::Erase:
        cairo_surface_flush(target);
        BlendPixels(target, layer.get(), 0, 0, what.blend, x0, y0, x1, y1);
        cairo_surface_mark_dirty(target);
        return edges;
    default: break;
    }
    std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(target));
    cairo_rectangle(cr.get(), x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr.get());
    cairo_set_operator(cr.get(), OperatorOf(what.blend));
    cairo_set_source_surface(cr.get(), layer.get(), 0, 0);
    cairo_paint(cr.get());
    cairo_surface_flush(target);
    return edges;
}

} // namespace showsaver::flash
