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

// How far from the centre towards the circle a focal point may lie.
constexpr double kMaxFocal = 0.98;

// The pattern of a linear, radial or focal gradient fill, its colours through
// `color`, in the gradient square's own space (the caller sets its matrix).
// Stops are taken in the order they are stored, each drawn up to its ratio
// before the next begins: a stop whose ratio is below an earlier stop's
// starts where that one ends. Equal ratios make a hard edge.
PatternPtr GradientPattern(const FillStyle& fill, const ColorTransform& color);

} // namespace showsaver::flash
