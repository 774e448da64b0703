#include "codec/RgbCapture.h"

#include <algorithm>
#include <new>

namespace showsaver::codec {

RgbImage CaptureRgb(gfx::DeviceContext& dc, int x, int y, int width, int height) {
    gfx::Surface* surface = dc.Target();
    if (!surface || width <= 0 || height <= 0) return {};
    gfx::Rect wanted = gfx::Rect::FromSize(x, y, width, height);
    gfx::Rect inside = wanted.Intersected(surface->Bounds());
    RgbImage image;
    try {
        // Only a rectangle that reaches beyond the surface needs black around the part read.
        image = inside == wanted ? RgbImage::Uninitialized(width, height) : RgbImage::Black(width, height);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (inside.IsEmpty()) return image;
    auto lock = surface->LockForReading();
    for (int row = inside.top; row < inside.bottom; ++row) {
        const uint32_t* from = surface->Row(row) + inside.left;
        uint8_t* to = image.Row(row - y) + static_cast<size_t>(inside.left - x) * 3;
        for (int i = 0; i < inside.Width(); ++i, to += 3) {
            to[0] = static_cast<uint8_t>(from[i] >> 16);
            to[1] = static_cast<uint8_t>(from[i] >> 8);
            to[2] = static_cast<uint8_t>(from[i]);
        }
    }
    return image;
}

void PaintRgb(gfx::DeviceContext& dc, const RgbImage& image, int x, int y) {
    gfx::Surface* surface = dc.Target();
    if (!surface || image.Empty()) return;
    gfx::Rect area = gfx::Rect::FromSize(x, y, image.Width(), image.Height()).Intersected(surface->Bounds());
    if (area.IsEmpty()) return;
    auto lock = surface->LockForDrawing(area);
    for (int row = area.top; row < area.bottom; ++row) {
        const uint8_t* from = image.Row(row - y) + static_cast<size_t>(area.left - x) * 3;
        uint32_t* to = surface->Row(row) + area.left;
        for (int i = 0; i < area.Width(); ++i, from += 3)
            to[i] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
    }
}

} // namespace showsaver::codec
