#include "flash/render/Gradients.h"

#include <algorithm>
#include <cmath>

namespace showsaver::flash {
namespace {

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

} // namespace

PatternPtr GradientPattern(const FillStyle& fill, const ColorTransform& color) {
    // A focal point on the circle itself would leave the far side of the
    // cone undefined; it is kept just inside, where every pixel has a colour.
    const double focal = std::clamp(fill.gradient.focal, -kMaxFocal, kMaxFocal);
    PatternPtr p(fill.kind == FillKind::Linear
                     ? cairo_pattern_create_linear(-kGradientHalf, 0, kGradientHalf, 0)
                     : cairo_pattern_create_radial(focal * kGradientHalf, 0, 0, 0, 0, kGradientHalf));
    const auto& stops = fill.gradient.stops;
    uint8_t previous = 0;
    for (size_t i = 0; i < stops.size(); ++i) {
        const uint8_t ratio = std::max(previous, stops[i].ratio);
        Rgba c = color.Apply(stops[i].color);
        if (i > 0 && fill.gradient.linearRgb)
            AddLinearRgbStops(p.get(), color.Apply(stops[i - 1].color), c, previous / 255.0, ratio / 255.0);
        AddStop(p.get(), ratio / 255.0, c);
        previous = ratio;
    }
    static constexpr cairo_extend_t kExtend[] = {CAIRO_EXTEND_PAD, CAIRO_EXTEND_REFLECT, CAIRO_EXTEND_REPEAT};
    cairo_pattern_set_extend(p.get(), kExtend[static_cast<int>(fill.gradient.spread)]);
    return p;
}

} // namespace showsaver::flash
