// Shapes' layers drawn once into pixels of their own and copied from them
// while only their position changes (see ShapeCache).

#include "flash/render/ObjectBounds.h"
#include "flash/render/Renderer.h"

#include <cmath>

namespace showsaver::flash {
namespace {

// The box of a layer's outlines in twips: the control points of its curves
// included, which holds the curves.
bool OutlineBox(const ShapeLayer& layer, Rect& box) {
    bool any = false;
    auto add = [&](const std::vector<std::vector<Edge>>& paths) {
        for (const auto& path : paths)
            for (const Edge& e : path)
                for (Point p : {e.from, e.control, e.to}) {
                    box = any ? Rect{std::min(box.xMin, p.x), std::max(box.xMax, p.x), std::min(box.yMin, p.y), std::max(box.yMax, p.y)}
                              : Rect{p.x, p.x, p.y, p.y};
                    any = true;
                }
    };
    add(layer.fillPaths);
    add(layer.linePaths);
    return any;
}

// Where a device coordinate falls: its whole pixel, and the fraction in
// kPhases of a pixel, rounded.
struct Phase {
    int pixel = 0, phase = 0;
};

bool PhaseOf(double v, Phase& out) {
    constexpr double kFar = 1 << 28;
    if (!std::isfinite(v) || std::fabs(v) > kFar) return false;
    const double whole = std::floor(v);
    int phase = static_cast<int>(std::lround((v - whole) * ShapeCache::kPhases));
    int pixel = static_cast<int>(whole);
    if (phase == ShapeCache::kPhases) phase = 0, ++pixel;
    out = {pixel, phase};
    return true;
}

} // namespace

bool Renderer::DrawKeptLayer(const ShapeLayer& layer, const Matrix& m, const ColorTransform& color, bool nonZero) {
    const double det = m.a * m.d - m.b * m.c;
    Phase px, py;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12 || !PhaseOf(m.tx, px) || !PhaseOf(m.ty, py)) return false;
    ShapeCache::Entry* entry = m_cache->Find({&layer, m.a, m.b, m.c, m.d, color, px.phase, py.phase});
    if (!entry || (!entry->pixels && entry->seen < 2)) return false;
    if (!entry->pixels) {
        Rect outline;
        if (!OutlineBox(layer, outline)) return false;
        Matrix local = m;
        local.tx = double(px.phase) / ShapeCache::kPhases;
        local.ty = double(py.phase) / ShapeCache::kPhases;
        DeviceBox box = Transform(outline, local);
        // Lines reach past the outline by half their width, a miter by
        // its limit times that, a square cap's corner by √2 times; hinted
        // ends move by up to half a pixel. One pixel more covers the
        // flattening of curves.
        double reach = 0;
        for (size_t i = 0; i < layer.lines.size() && i < layer.linePaths.size(); ++i) {
            if (layer.linePaths[i].empty()) continue;
            const LineStyle& line = layer.lines[i];
            const double half = std::max(1.0, line.width * LineScale(line, m)) / 2;
            double factor = line.join == Join::Miter ? std::max(line.miterLimit, 1.0) : 1.0;
            if (line.cap == Cap::Square || line.endCap == Cap::Square) factor = std::max(factor, M_SQRT2);
            reach = std::max(reach, half * factor + (line.pixelHinting ? 0.5 : 0));
        }
        box = box.Grown(reach + 1, reach + 1);
        if (!std::isfinite(box.x0) || !std::isfinite(box.y0) || !std::isfinite(box.x1) || !std::isfinite(box.y1)) return false;
        const double w = std::ceil(box.x1) - std::floor(box.x0), h = std::ceil(box.y1) - std::floor(box.y0);
        if (w <= 0 || h <= 0 || w * h > double(ShapeCache::kMaxShapePixels)) return false;
        const int x0 = static_cast<int>(std::floor(box.x0)), y0 = static_cast<int>(std::floor(box.y0));
        const int width = static_cast<int>(w), height = static_cast<int>(h);
        if (!m_cache->Charge(int64_t{width} * height)) return false;
        CairoSurfacePtr pixels(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        if (cairo_surface_status(pixels.get()) != CAIRO_STATUS_SUCCESS) return false;
        local.tx -= x0;
        local.ty -= y0;
        cairo_t* outer = m_cr;
        m_cr = cairo_create(pixels.get());
        DrawLayer(layer, local, color, nonZero);
        cairo_destroy(m_cr);
        m_cr = outer;
        cairo_surface_flush(pixels.get());
        entry->pixels = std::move(pixels);
        entry->x = x0;
        entry->y = y0;
    }
    m_cache->CountHit();
    cairo_identity_matrix(m_cr);
    cairo_set_source_surface(m_cr, entry->pixels.get(), px.pixel + entry->x, py.pixel + entry->y);
    cairo_paint(m_cr);
    return true;
}

} // namespace showsaver::flash
