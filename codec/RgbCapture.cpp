#include "codec/RgbCapture.h"

#include <algorithm>
#include <bit>
#include <cstring>
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
    const int left = inside.left, top = inside.top, bottom = inside.bottom, columns = inside.Width();
    for (int row = top; row < bottom; ++row) {
        const uint32_t* __restrict from = surface->Row(row) + left;
        uint8_t* __restrict to = image.Row(row - y) + static_cast<size_t>(left - x) * 3;
        for (int i = 0; i < columns; ++i, to += 3) {
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
    // The bounds live in locals: the row stores cannot then be taken as
    // writes to them, and the inner loop stays tight.
    const int left = area.left, top = area.top, bottom = area.bottom, width = area.Width();
    for (int row = top; row < bottom; ++row) {
        const uint8_t* __restrict from = image.Row(row - y) + static_cast<size_t>(left - x) * 3;
        uint32_t* __restrict to = surface->Row(row) + left;
        int i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Four bytes R G B R' read at once and byte-swapped give R G B in
            // place; the row's last pixel is left to the loop below so that
            // no read passes the image's end.
            for (; i + 1 < width; ++i, from += 3) {
                uint32_t four;
                std::memcpy(&four, from, 4);
                to[i] = __builtin_bswap32(four) >> 8;
            }
        }
        for (; i < width; ++i, from += 3) to[i] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
    }
}

} // namespace showsaver::codec
