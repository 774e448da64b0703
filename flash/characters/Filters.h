#pragma once
// What PlaceObject3 and button records add to a placed object beyond its
// matrix and colour: a list of bitmap filters, a blend mode and the
// cache-as-bitmap flag. The script machine's filter and blendMode
// properties read and write the same values.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "flash/characters/Shape.h"

namespace showsaver::flash {

// The blend modes in the order their numbers have in a movie (0 and 1 are
// both normal).
enum class BlendMode : uint8_t {
    Normal = 1, Layer, Multiply, Screen, Lighten, Darken, Difference, Add, Subtract, Invert, Alpha, Erase,
    Overlay, Hardlight
};

// 0 and unknown numbers are normal.
inline BlendMode ToBlendMode(uint8_t n) {
    return n >= 2 && n <= 14 ? static_cast<BlendMode>(n) : BlendMode::Normal;
}

enum class FilterKind : uint8_t {
    DropShadow = 0, Blur = 1, Glow = 2, Bevel = 3, GradientGlow = 4, Convolution = 5, ColorMatrix = 6,
    GradientBevel = 7
};

struct Filter {
    static constexpr double kMaxBlur = 255;        // pixels, as Flash Player clamps it
    static constexpr double kMaxDistance = 2000;   // pixels
    static constexpr int kMaxPasses = 15;
    static constexpr size_t kMaxFilters = 16;      // on one object; more are dropped
    FilterKind kind = FilterKind::Blur;
    double blurX = 4, blurY = 4;   // pixels
    int passes = 1;                // the box blur runs this many times (the quality)
    // Drop shadow, glow, bevel and the gradient kinds.
    Rgba color{0, 0, 0, 255};      // the shadow or glow; a bevel's shadow
    Rgba highlight{255, 255, 255, 255};   // a bevel's highlight
    std::vector<GradientStop> gradient;   // the gradient kinds' colours
    double angle = 0;              // radians
    double distance = 0;           // pixels
    double strength = 1;
    bool inner = false, knockout = false, compositeSource = true, onTop = false;
    // Convolution: matrixX × matrixY weights; colour matrix: 20 weights.
    int matrixX = 0, matrixY = 0;
    std::vector<float> weights;
    double divisor = 1, bias = 0;
    bool clamp = true, preserveAlpha = true;
    bool operator==(const Filter&) const = default;
};

} // namespace showsaver::flash
