#include "app/CaptureThread.h"

#include "codec/Codec.h"
#include "codec/RgbImage.h"

#include "platform/ui/StartTrace.h"

#include <glib.h>

#include <bit>
#include <new>

// Xlib last: its macros clash with other names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace showsaver {

namespace {

// One channel of a pixel as 0-255, by its mask.
uint8_t Channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    unsigned long top = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / top);
}

} // namespace

codec::RgbImage ReadRootWindow(Display* x) {
    Window root = DefaultRootWindow(x);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x, root, &attributes) || attributes.width <= 0 || attributes.height <= 0) return {};
    const int width = attributes.width, height = attributes.height;
    codec::RgbImage rgb;
    try {
        rgb = codec::RgbImage::Uninitialized(width, height);
    } catch (const std::bad_alloc&) {
        return {};
    }
    XImage* image = XGetImage(x, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes,
                              ZPixmap);
    if (!image) return {};
    const unsigned long red = image->red_mask, green = image->green_mask, blue = image->blue_mask;
    const bool plain = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                       std::endian::native == std::endian::little && red == 0xFF0000 && green == 0xFF00 && blue == 0xFF;
    for (int y = 0; y < height; ++y) {
        uint8_t* out = rgb.Row(y);
        if (plain) {
            const auto* row = reinterpret_cast<const uint32_t*>(image->data + static_cast<ptrdiff_t>(y) * image->bytes_per_line);
            for (int i = 0; i < width; ++i, out += 3) {
                out[0] = static_cast<uint8_t>(row[i] >> 16);
                out[1] = static_cast<uint8_t>(row[i] >> 8);
                out[2] = static_cast<uint8_t>(row[i]);
            }
            continue;
        }
        for (int i = 0; i < width; ++i, out += 3) {
            unsigned long pixel = XGetPixel(image, i, y);
            out[0] = Channel(pixel, red), out[1] = Channel(pixel, green), out[2] = Channel(pixel, blue);
        }
    }
    XDestroyImage(image);
    return rgb;
}

std::unique_ptr<CaptureThread> CaptureThread::Start(const std::string& displayName, Files files,
                                                    const registry::Store& store, Done done) {
    Display* x = XOpenDisplay(displayName.c_str());
    if (!x) return nullptr;
    std::unique_ptr<CaptureThread> thread(new CaptureThread);
    thread->m_thread = std::thread([self = thread.get(), x, files = std::move(files), &store, done = std::move(done)] {
        self->Run(x, files, store, done);
    });
    return thread;
}

CaptureThread::~CaptureThread() { Join(); }

void CaptureThread::Run(Display* x, Files files, const registry::Store& store, Done done) {
    codec::RgbImage desktop = ReadRootWindow(x);
    gfx::Size screen{DisplayWidth(x, DefaultScreen(x)), DisplayHeight(x, DefaultScreen(x))};
    XCloseDisplay(x);
    m_desktopRead.Set();
    ui::TraceStart("desktop read");
    bool written = !desktop.Empty() && codec::WriteBmp(files.desktop, desktop);
    desktop = {};
    ui::TraceStart("desktop written");
    WallpaperStyle style = WallpaperStyle::Centred;
    written = CaptureWallpaper(files.wallpaper, store, screen, style) && written;
    if (done) done(written, style);
    m_ended.Set();
    // A Join waiting in the loop sees the end.
    g_main_context_wakeup(nullptr);
}

void CaptureThread::WaitForDesktop() { m_desktopRead.Wait(); }

void CaptureThread::Join() {
    if (!m_thread.joinable()) return;
    while (!m_ended.IsSet()) g_main_context_iteration(nullptr, TRUE);
    m_thread.join();
}

} // namespace showsaver
