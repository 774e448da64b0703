#include "gfx/LineDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace showsaver::gfx {

namespace {

// Wider pens are clamped: nothing on a screen needs more, and cairo's
// fixed-point coordinates must stay in range.
constexpr int kMaxPenWidth = 2 * Surface::kMaxDimension;

int EffectiveWidth(const Pen& pen) { return std::clamp(pen.width, 1, kMaxPenWidth); }

bool IsStyled(const Pen& pen) {
    return pen.style >= PenStyle::Dash && pen.style <= PenStyle::DashDotDot && EffectiveWidth(pen) == 1;
}

void SetSource(cairo_t* cr, ColorRef color) {
    cairo_set_source_rgb(cr, RedOf(color) / 255.0, GreenOf(color) / 255.0, BlueOf(color) / 255.0);
}

// The range of steps k in [0, n) whose pixel can lie on the surface: the
// major coordinate a0 + sa·k within [-1, majorExtent] and the minor one
// b0 + db·k/n within [-2, minorExtent + 1]. Keeps huge lines cheap and
// their coordinates inside cairo's range.
struct StepRange {
    int64_t first = 0;
    int64_t end = 0;
};

StepRange VisibleSteps(int64_t a0, int64_t sa, int64_t n, int64_t b0, int64_t db, int majorExtent, int minorExtent) {
    double lo = 0, hi = static_cast<double>(n);
    auto limit = [&](double start, double slope, double min, double max) {
        if (slope == 0) {
            if (start < min || start > max) hi = lo - 1;
            return;
        }
        double k1 = (min - start) / slope, k2 = (max - start) / slope;
        lo = std::max(lo, std::min(k1, k2) - 1);
        hi = std::min(hi, std::max(k1, k2) + 1);
    };
    limit(static_cast<double>(a0), static_cast<double>(sa), -1.0, majorExtent);
    limit(static_cast<double>(b0), static_cast<double>(db) / static_cast<double>(n), -2.0, minorExtent + 1.0);
    if (hi <= lo) return {};
    return {static_cast<int64_t>(std::max(0.0, std::floor(lo))),
            static_cast<int64_t>(std::min(static_cast<double>(n), std::ceil(hi)))};
}

// A cosmetic (width 1) line, filled run by run as parallelograms one pixel
// thick across the minor axis.
void CosmeticLine(cairo_t* cr, Size surfaceSize, Point from, Point to, const Pen& pen, const ColorRef* gapColor) {
    int64_t dx = int64_t{to.x} - from.x, dy = int64_t{to.y} - from.y;
    if (dx == 0 && dy == 0) return;   // the end point is left out, and it is the only one
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    int64_t a0 = xMajor ? from.x : from.y, b0 = xMajor ? from.y : from.x;
    int64_t da = xMajor ? dx : dy, db = xMajor ? dy : dx;
    int64_t n = std::llabs(da), sa = da > 0 ? 1 : -1;
    int majorExtent = xMajor ? surfaceSize.width : surfaceSize.height;
    int minorExtent = xMajor ? surfaceSize.height : surfaceSize.width;
    StepRange steps = VisibleSteps(a0, sa, n, b0, db, majorExtent, minorExtent);
    if (steps.end <= steps.first) return;

    // Pixel centres of step t (fractional for the run edges).
    auto major = [&](double t) { return static_cast<double>(a0) + 0.5 + static_cast<double>(sa) * t; };
    auto minor = [&](double t) { return static_cast<double>(b0) + 0.5 + static_cast<double>(db) * t / static_cast<double>(n); };
    auto point = [&](double a, double b) {
        if (xMajor) cairo_line_to(cr, a, b);
        else cairo_line_to(cr, b, a);
    };
    auto addRun = [&](int64_t k0, int64_t k1) {
        double t0 = static_cast<double>(k0) - 0.5, t1 = static_cast<double>(k1) - 0.5;
        cairo_new_sub_path(cr);
        point(major(t0), minor(t0) - 0.5);
        point(major(t1), minor(t1) - 0.5);
        point(major(t1), minor(t1) + 0.5);
        point(major(t0), minor(t0) + 0.5);
        cairo_close_path(cr);
    };

    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    DashPattern pattern = IsStyled(pen) ? CosmeticDashPattern(pen.style) : DashPattern{};
    if (pattern.count == 0) {
        cairo_new_path(cr);
        addRun(steps.first, steps.end);
        SetSource(cr, pen.color);
        cairo_fill(cr);
        return;
    }

    // Walk the pattern from step 0 so the visible part keeps its phase; the
    // dashes go into one path and the gaps into another.
    int period = 0;
    for (int i = 0; i < pattern.count; ++i) period += pattern.lengths[i];
    int64_t k = steps.first;
    int64_t phase = k % period;
    int segment = 0;
    while (phase >= pattern.lengths[segment]) phase -= pattern.lengths[segment++];
    for (int pass = 0; pass < 2; ++pass) {
        // Pass 0 fills the gaps, pass 1 the dashes.
        if (pass == 0 && !gapColor) continue;
        int64_t runStart = k;
        int runSegment = segment;
        int64_t runPhase = phase;
        cairo_new_path(cr);
        while (runStart < steps.end) {
            int64_t runEnd = std::min(steps.end, runStart + pattern.lengths[runSegment] - runPhase);
            bool on = runSegment % 2 == 0;
            if (on == (pass == 1)) addRun(runStart, runEnd);
            runStart = runEnd;
            runSegment = (runSegment + 1) % pattern.count;
            runPhase = 0;
        }
        SetSource(cr, pass == 0 ? *gapColor : pen.color);
        cairo_fill(cr);
    }
}

// Cuts the segment p0-p1 to the box [lo, hi]² (Liang-Barsky). False when
// nothing of it is inside.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double xlo, double ylo, double xhi, double yhi) {
    double t0 = 0, t1 = 1, dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - xlo, xhi - x0, y0 - ylo, yhi - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        double r = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, r);
        else t1 = std::min(t1, r);
        if (t0 > t1) return false;
    }
    double sx = x0, sy = y0;
    x0 = sx + t0 * dx;
    y0 = sy + t0 * dy;
    x1 = sx + t1 * dx;
    y1 = sy + t1 * dy;
    return true;
}

// A geometric (wide) line: a cairo stroke with round ends.
void WideLine(cairo_t* cr, Size surfaceSize, Point from, Point to, const Pen& pen) {
    if (from == to) return;
    int width = EffectiveWidth(pen);
    double x0 = from.x + 0.5, y0 = from.y + 0.5, x1 = to.x + 0.5, y1 = to.y + 0.5;
    double margin = width + 2.0;
    if (!ClipSegment(x0, y0, x1, y1, -margin, -margin, surfaceSize.width + margin, surfaceSize.height + margin))
        return;
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_new_path(cr);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    SetSource(cr, pen.color);
    cairo_stroke(cr);
}

} // namespace

DashPattern CosmeticDashPattern(PenStyle style) {
    switch (style) {
    case PenStyle::Dash: return {{18, 6}, 2};
    case PenStyle::Dot: return {{3, 3}, 2};
    case PenStyle::DashDot: return {{9, 6, 3, 6}, 4};
    case PenStyle::DashDotDot: return {{9, 3, 3, 3, 3, 3}, 6};
    default: return {};
    }
}

Rect LineBounds(Point from, Point to, const Pen& pen) {
    Rect box{std::min(from.x, to.x), std::min(from.y, to.y), SaturateToInt(int64_t{std::max(from.x, to.x)} + 1),
             SaturateToInt(int64_t{std::max(from.y, to.y)} + 1)};
    return box.Inflated(EffectiveWidth(pen) / 2 + 2);
}

void StrokeLine(cairo_t* cr, Size surfaceSize, Point from, Point to, const Pen& pen, const ColorRef* gapColor) {
    if (pen.style == PenStyle::Null || surfaceSize.IsEmpty()) return;
    if (EffectiveWidth(pen) == 1) CosmeticLine(cr, surfaceSize, from, to, pen, gapColor);
    else WideLine(cr, surfaceSize, from, to, pen);
}

} // namespace showsaver::gfx
