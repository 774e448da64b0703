#pragma once
// Drawing into a script's bitmap (premultiplied ARGB32): a clip's list and
// drawing, or another bitmap, through a matrix and a colour transform,
// composited by a blend mode inside a clipping rectangle; and filters run
// over a copy of a bitmap's rectangle.

#include <cairo.h>

#include <optional>

#include "flash/display/Playhead.h"

namespace showsaver::flash {

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct BitmapDrawing {
    const Playhead* clip = nullptr;       // either a clip (its contents, as at its own origin)
    cairo_surface_t* bitmap = nullptr;    // or a bitmap's pixels
    Matrix matrix;                        // the source's pixels (a clip's twips / 20) to the target's pixels
    ColorTransform color;
    BlendMode blend = BlendMode::Normal;
    std::optional<PixelRect> clipRect;    // in the target's pixels
    bool smoothing = false;               // a bitmap source filtered when scaled
};

// Draws `what` over `target`; the edges drawn. Work is bounded by the
// target's size and the renderer's bounds of a frame.
size_t DrawIntoBitmap(cairo_surface_t* target, const Movie& movie, const BitmapDrawing& what);

} // namespace showsaver::flash
