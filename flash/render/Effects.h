#pragma once
// Pixel work on premultiplied ARGB32 image surfaces: the bitmap filters,
// colour transforms and the blend modes cairo has no operator for. The
// renderer draws an object into a surface of its own, runs these on it and
// composites the result.

#include <cairo.h>

#include <vector>

#include "flash/characters/Filters.h"

namespace showsaver::flash {

// How far the filters can spread an object's pixels, in device pixels on
// each side.
struct FilterSpread {
    int x = 0, y = 0;
};
FilterSpread FilterMargin(const std::vector<Filter>& filters);

// Runs `filters` in order over `image` (ARGB32), in place.
void ApplyFilters(cairo_surface_t* image, const std::vector<Filter>& filters);

// `color` applied to every pixel, taken out of and back into premultiplied form.
void TransformPixels(cairo_surface_t* image, const ColorTransform& color);

// Composites `source` (ARGB32) with its top left at (x, y) of `target`'s
// pixels (ARGB32 or RGB24) by one of the blend modes cairo lacks:
// subtract, invert, alpha or erase. Only the rectangle (x0, y0)-(x1, y1)
// of the target changes.
void BlendPixels(cairo_surface_t* target, cairo_surface_t* source, int x, int y, BlendMode mode, int x0, int y0,
                 int x1, int y1);

} // namespace showsaver::flash
