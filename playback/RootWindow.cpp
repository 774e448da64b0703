#include "playback/RootWindow.h"

#include "gfx/PixelLimits.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace showsaver {
namespace {

// A channel of an X pixel: its mask's lowest bit and its width, the value
// scaled to eight bits.
struct Channel {
    int shift = 0;
    unsigned long max = 0;
    explicit Channel(unsigned long mask) {
        if (!mask) return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        max = mask;
    }
    uint8_t Of(unsigned long pixel) const {
        return max ? static_cast<uint8_t>(((pixel >> shift) & max) * 255 / max) : 0;
    }
};

} // namespace

std::optional<codec::RgbImage> ReadRootWindow(Display* x) {
    const Window root = DefaultRootWindow(x);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x, root, &attributes)) return std::nullopt;
    const int width = attributes.width, height = attributes.height;
    // The capture is a picture of the show: no larger than one may be.
    if (width <= 0 || height <= 0 || int64_t{width} * height > gfx::kMaxPicturePixels) return std::nullopt;
    XImage* shot = XGetImage(x, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                             ZPixmap);
    if (!shot) return std::nullopt;
    auto image = codec::RgbImage::Uninitialized(width, height);
    const Channel red(shot->red_mask), green(shot->green_mask), blue(shot->blue_mask);
    const bool words = shot->bits_per_pixel == 32 && shot->byte_order == LSBFirst && shot->red_mask == 0xFF0000 &&
                       shot->green_mask == 0xFF00 && shot->blue_mask == 0xFF;
    for (int y = 0; y < height; ++y) {
        uint8_t* out = image.Row(y);
        const auto* row = reinterpret_cast<const uint8_t*>(shot->data) + static_cast<size_t>(y) * static_cast<size_t>(shot->bytes_per_line);
        for (int x = 0; x < width; ++x, out += 3) {
            if (words) {
                // xRGB words: blue, green, red, unused bytes.
                const uint8_t* p = row + static_cast<size_t>(x) * 4;
                out[0] = p[2];
                out[1] = p[1];
                out[2] = p[0];
            } else {
                const unsigned long pixel = XGetPixel(shot, x, y);
                out[0] = red.Of(pixel);
                out[1] = green.Of(pixel);
                out[2] = blue.Of(pixel);
            }
        }
    }
    XDestroyImage(shot);
    return image;
}

std::optional<codec::RgbImage> ReadRootWindow() {
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    if (!gdkDisplay || !GDK_IS_X11_DISPLAY(gdkDisplay)) return std::nullopt;
    gdk_x11_display_error_trap_push(gdkDisplay);
    auto image = ReadRootWindow(gdk_x11_display_get_xdisplay(gdkDisplay));
    if (gdk_x11_display_error_trap_pop(gdkDisplay) != 0) return std::nullopt;
    return image;
}

} // namespace showsaver
