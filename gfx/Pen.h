#pragma once
// A logical pen: style, width and colour, as a line item creates it.

#include "gfx/Color.h"

#include <cstdint>

namespace showsaver::gfx {

// The pen styles of a show, numbered as stored.
enum class PenStyle : int32_t {
    Solid = 0,
    Dash = 1,
    Dot = 2,
    DashDot = 3,
    DashDotDot = 4,
    Null = 5,          // draws nothing
    InsideFrame = 6,   // a solid pen for lines
};

struct Pen {
    PenStyle style = PenStyle::Solid;
    int width = 1;          // pixels; 0 or less is treated as 1
    ColorRef color = 0;

    // A pen from stored numbers: a style outside 0..6 gives a solid pen, so
    // that a line of an unknown style is still seen.
    static Pen FromStored(int32_t style, int32_t width, ColorRef color) {
        Pen pen;
        pen.style = (style >= 0 && style <= 6) ? static_cast<PenStyle>(style) : PenStyle::Solid;
        pen.width = width;
        pen.color = color;
        return pen;
    }

    friend constexpr bool operator==(const Pen&, const Pen&) = default;
};

} // namespace showsaver::gfx
