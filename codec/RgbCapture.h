#pragma once
// Moving pictures between a device context's surface and the codec layer's
// RGB images: a rectangle read into an image, an image drawn back.

#include "codec/RgbImage.h"
#include "gfx/DeviceContext.h"

namespace showsaver::codec {

// The width × height pixels at (x, y) of the surface `dc` draws into. Parts
// of the rectangle outside the surface read as black. Returns an empty image
// when the size is below 1, the context has no pixels (Target() is null) or
// there is no memory for the image.
RgbImage CaptureRgb(gfx::DeviceContext& dc, int x, int y, int width, int height);

// Draws the whole image, opaquely, with its top-left at (x, y) of the
// surface `dc` draws into, clipped to the surface. An empty image or a
// context without pixels draws nothing.
void PaintRgb(gfx::DeviceContext& dc, const RgbImage& image, int x, int y);

} // namespace showsaver::codec
