#pragma once
// Lines drawn with a pen into a surface through cairo.
//
// A pen of width 1 draws like a GDI cosmetic pen: one pixel per step along
// the major axis, the start point drawn and the end point left out, styled
// pens counting their dash pattern in those steps. It is filled as thin
// parallelograms with cairo's antialiasing off, which samples pixel centres
// exactly like a Bresenham walk. Wider pens draw like GDI geometric pens:
// solid (styles need width 1), with round ends, end points included.

#include "gfx/Color.h"
#include "gfx/Geometry.h"
#include "gfx/Pen.h"
#include "gfx/Surface.h"

#include <cairo.h>

namespace showsaver::gfx {

// The dash pattern of a width-1 styled pen in pixels, on and off
// alternately, starting with on; empty for an unstyled pen.
struct DashPattern {
    int lengths[6] = {};
    int count = 0;
};
DashPattern CosmeticDashPattern(PenStyle style);

// The pixels a line from `from` to `to` may touch, for the dirty rectangle.
Rect LineBounds(Point from, Point to, const Pen& pen);

// Draws the line through `cr` (a context on the target surface). The gaps
// of a styled pen are filled with `gapColor` when it is given.
void StrokeLine(cairo_t* cr, Size surfaceSize, Point from, Point to, const Pen& pen,
                const ColorRef* gapColor);

} // namespace showsaver::gfx
