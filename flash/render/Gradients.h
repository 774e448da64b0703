#pragma once
// Gradient fills as cairo patterns: the stops in the gradient's square
// (-16384..16384 along x), spread and interpolated as the fill says.

#include <cairo.h>

#include <memory>

#include "flash/characters/Movie.h"

namespace showsaver::flash {

struct PatternDeleter {
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

// Half the side of the square a gradient's matrix maps onto the shape.
constexpr double kGradientHalf = 16384;

// The pattern of a linear, radial or focal gradient fill, its colours through
// `color`, in the gradient square's own space (the caller sets its matrix).
PatternPtr GradientPattern(const FillStyle& fill, const ColorTransform& color);

} // namespace showsaver::flash
