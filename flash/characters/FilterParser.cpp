// FILTERLIST records of PlaceObject3 and DefineButton2: a count, then each
// filter's id and fields. Sizes and counts are bounded here, so the
// renderer never sees a blur wider or a pass count larger than it can pay.

#include "flash/characters/Parsers.h"

#include <bit>
#include <cmath>

namespace showsaver::flash {
namespace {

double Fixed(Reader& r) { return static_cast<int32_t>(r.U32()) / 65536.0; }
double Fixed8(Reader& r) { return r.S16() / 256.0; }
float Float(Reader& r) {
    float f = std::bit_cast<float>(r.U32());
    return std::isfinite(f) ? f : 0.0f;
}

double Blur(double v) { return std::clamp(v, 0.0, Filter::kMaxBlur); }
double Bounded(double v, double limit) { return std::isfinite(v) ? std::clamp(v, -limit, limit) : 0.0; }

// Blur sizes, angle, distance and strength, as the shadow, glow and bevel
// kinds share them (the glow has no angle or distance).
void ReadShared(Reader& r, Filter& f, bool angled) {
    f.blurX = Blur(Fixed(r));
    f.blurY = Blur(Fixed(r));
    if (angled) {
        f.angle = Bounded(Fixed(r), 1000);
        f.distance = Bounded(Fixed(r), Filter::kMaxDistance);
    }
    f.strength = std::clamp(Fixed8(r), 0.0, 255.0);
}

// Inner, knockout, composite source, then on-top (bevels) and the passes.
void ReadFlags(Reader& r, Filter& f, bool hasOnTop) {
    f.inner = r.Flag();
    f.knockout = r.Flag();
    f.compositeSource = r.Flag();
    if (hasOnTop) f.onTop = r.Flag();
    f.passes = static_cast<int>(r.Bits(hasOnTop ? 4 : 5));
    r.Align();
}

void ReadGradient(Reader& r, Filter& f) {
    size_t count = r.U8();
    std::vector<Rgba> colors;
    for (size_t i = 0; i < count && !r.Failed(); ++i) colors.push_back(r.ReadRgba());
    for (size_t i = 0; i < count && !r.Failed(); ++i) {
        uint8_t ratio = r.U8();
        if (f.gradient.size() < Limits::kMaxGradientStops) f.gradient.push_back({ratio, colors[i]});
    }
}

} // namespace

bool ParseFilters(Reader& r, std::vector<Filter>& filters, MemoryBudget* budget) {
    size_t count = r.U8();
    for (size_t i = 0; i < count && !r.Failed(); ++i) {
        Filter f;
        uint8_t id = r.U8();
        if (id > static_cast<uint8_t>(FilterKind::GradientBevel)) return false;   // the rest cannot be read
        f.kind = static_cast<FilterKind>(id);
        switch (f.kind) {
        case FilterKind::DropShadow:
            f.color = r.ReadRgba();
            ReadShared(r, f, true);
            ReadFlags(r, f, false);
            break;
        case FilterKind::Blur:
            f.blurX = Blur(Fixed(r));
            f.blurY = Blur(Fixed(r));
            f.passes = static_cast<int>(r.Bits(5));
            r.Align();
            break;
        case FilterKind::Glow:
            f.color = r.ReadRgba();
            ReadShared(r, f, false);
            ReadFlags(r, f, false);
            break;
        case FilterKind::Bevel:
            // The highlight comes first, whatever the field names suggest.
            f.highlight = r.ReadRgba();
            f.color = r.ReadRgba();
            ReadShared(r, f, true);
            ReadFlags(r, f, true);
            break;
        case FilterKind::GradientGlow:
        case FilterKind::GradientBevel:
            ReadGradient(r, f);
            ReadShared(r, f, true);
            ReadFlags(r, f, true);
            break;
        case FilterKind::Convolution: {
            f.matrixX = r.U8();
            f.matrixY = r.U8();
            f.divisor = Float(r);
            f.bias = Float(r);
            size_t weights = static_cast<size_t>(f.matrixX) * static_cast<size_t>(f.matrixY);
            if (weights > r.Remaining() / 4 || (budget && !budget->Charge(weights * sizeof(float)))) return false;
            for (size_t k = 0; k < weights; ++k) f.weights.push_back(Float(r));
            f.color = r.ReadRgba();
            uint8_t flags = r.U8();
            f.clamp = (flags & 0x02) != 0;
            f.preserveAlpha = (flags & 0x01) != 0;
            break;
        }
        case FilterKind::ColorMatrix:
            for (int k = 0; k < 20; ++k) f.weights.push_back(Float(r));
            break;
        }
        f.passes = std::clamp(f.passes, 0, Filter::kMaxPasses);
        if (filters.size() < Filter::kMaxFilters) filters.push_back(std::move(f));
    }
    return !r.Failed();
}

} // namespace showsaver::flash
