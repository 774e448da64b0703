#include "app/PreviewWindow.h"

#include "gfx/SurfaceContext.h"
#include "app/PreviewPicture.h"
#include "platform/ui/UiLoop.h"

#include <poll.h>

// Xlib comes last: its macros (FillSolid, None, ...) clash with our names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <vector>

namespace showsaver {

namespace {

// Xlib's default error handler ends the process; a window that vanishes
// under us must not. The errors are counted instead.
std::atomic<int> g_xErrors{0};

int CountXError(Display*, XErrorEvent*) {
    ++g_xErrors;
    return 0;
}

// Splits UTF-8 text into its characters.
std::vector<std::string> Characters(const std::string& text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        size_t n = 1;
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xF0) n = 4;
        else if (lead >= 0xE0) n = 3;
        else if (lead >= 0xC0) n = 2;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

// Puts the part of `image` that lies inside the window at (x, y).
void PutSurface(Display* display, Window window, GC gc, gfx::Surface& image, int x, int y) {
    if (image.Width() == 0 || image.Height() == 0) return;
    XImage ximage{};
    ximage.width = image.Width();
    ximage.height = image.Height();
    ximage.format = ZPixmap;
    ximage.data = reinterpret_cast<char*>(image.Data());
    ximage.byte_order = LSBFirst;
    ximage.bitmap_unit = 32;
    ximage.bitmap_bit_order = LSBFirst;
    ximage.bitmap_pad = 32;
    ximage.depth = 24;
    ximage.bytes_per_line = image.Stride();
    ximage.bits_per_pixel = 32;
    ximage.red_mask = 0xFF0000;
    ximage.green_mask = 0x00FF00;
    ximage.blue_mask = 0x0000FF;
    if (!XInitImage(&ximage)) return;
    auto lock = image.LockForReading();
    XPutImage(display, window, gc, &ximage, 0, 0, x, y, static_cast<unsigned>(image.Width()),
              static_cast<unsigned>(image.Height()));
}

} // namespace

} // namespace showsaver
#undef FillSolid
namespace showsaver {

gfx::Surface MakeNameStrip(const std::string& name) {
    auto font = gfx::Font::Create(gfx::FontSpec("Arial", -11, 700));
    gfx::FontMetrics metrics = font ? font->Metrics() : gfx::FontMetrics{};
    auto characters = Characters(name);
    int width = 2 * metrics.maxCharWidth;
    int lineHeight = metrics.height;
    auto strip = gfx::Surface::Create(width, static_cast<int>(characters.size()) * lineHeight + 1);
    if (!strip) return gfx::Surface();
    auto dc = gfx::SurfaceContext::ForMemory({width, strip->Height()});
    gfx::ScopedSelection bitmap(*dc, strip);
    gfx::ScopedSelection selected(*dc, font);
    dc->FillSolid(strip->Bounds(), 0);
    dc->SetTextColor(0x00FFFFDC);
    dc->SetBkMode(gfx::BkMode::Transparent);
    for (size_t i = 0; i < characters.size(); ++i) {
        // Centred on x = the widest character's width, top-aligned.
        gfx::Rect line{0, static_cast<int>(i) * lineHeight, width, static_cast<int>(i + 1) * lineHeight};
        dc->DrawText(characters[i], line,
                     gfx::DrawTextFormat::kCenter | gfx::DrawTextFormat::kSingleLine | gfx::DrawTextFormat::kNoPrefix);
    }
    return std::move(*strip);
}

std::unique_ptr<PreviewWindow> PreviewWindow::Create(unsigned long parent, const std::string& name) {
    XInitThreads();
    XSetErrorHandler(CountXError);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    XWindowAttributes attributes{};
    int errorsBefore = g_xErrors;
    if (parent == 0 || !XGetWindowAttributes(display, parent, &attributes) || g_xErrors != errorsBefore) {
        XCloseDisplay(display);
        return nullptr;
    }
    unsigned long black = BlackPixel(display, DefaultScreen(display));
    Window window = XCreateSimpleWindow(display, parent, 0, 0, static_cast<unsigned>(std::max(attributes.width, 1)),
                                        static_cast<unsigned>(std::max(attributes.height, 1)), 0, black, black);
    XSync(display, False);
    if (g_xErrors != errorsBefore) {
        XCloseDisplay(display);
        return nullptr;
    }
    XSelectInput(display, window, ExposureMask | StructureNotifyMask);
    XMapWindow(display, window);
    XFlush(display);
    return std::unique_ptr<PreviewWindow>(
        new PreviewWindow(display, window, attributes.width, attributes.height, name));
}

PreviewWindow::PreviewWindow(Display* display, Window window, int width, int height, std::string name)
    : m_display(display), m_window(window), m_width(width), m_height(height), m_name(std::move(name)),
      m_picture(MakePreviewPicture()), m_scroller([this] { Scroll(); }) {
    m_scroller.Resume();
}

PreviewWindow::~PreviewWindow() {
    m_stop.Set();
    m_scroller.Join();
    XCloseDisplay(m_display);
}

void PreviewWindow::Run() {
    GC gc = XCreateGC(m_display, m_window, 0, nullptr);
    XEvent event;
    // The X connection and the termination signals' pipe are watched
    // together: SIGTERM or SIGINT ends the preview the clean way.
    pollfd watched[2] = {{ConnectionNumber(m_display), POLLIN, 0}, {ui::TerminationSignalFd(), POLLIN, 0}};
    for (;;) {
        if (ui::TerminationSignalled()) break;
        if (XPending(m_display) == 0) {
            poll(watched, watched[1].fd >= 0 ? 2 : 1, -1);
            continue;
        }
        XNextEvent(m_display, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == m_window) break;
        if (event.type == Expose && event.xexpose.count == 0) {
            XSetForeground(m_display, gc, BlackPixel(m_display, DefaultScreen(m_display)));
            XFillRectangle(m_display, m_window, gc, 0, 0, static_cast<unsigned>(m_width.load()),
                           static_cast<unsigned>(m_height.load()));
            PutSurface(m_display, m_window, gc, m_picture, 0, 0);
            XFlush(m_display);
        }
        if (event.type == ConfigureNotify) {
            m_width = event.xconfigure.width;
            m_height = event.xconfigure.height;
        }
    }
    XFreeGC(m_display, gc);
    m_stop.Set();
}

// Moves the name strip up one pixel every 20 ms, from the bottom of the
// window until it has left the top, then starts again at the bottom.
void PreviewWindow::Scroll() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    GC gc = XCreateGC(display, m_window, 0, nullptr);
    gfx::Surface strip = MakeNameStrip(m_name);
    int x = kPictureWidth + (m_width - strip.Width() - kPictureWidth) / 2;
    int y = m_height;
    while (!m_stop.IsSet()) {
        PutSurface(display, m_window, gc, strip, x, y);
        XFlush(display);
        --y;
        if (0 - strip.Height() < y)
            m_stop.Wait(std::chrono::milliseconds(20));
        else
            y = m_height;
    }
    XFreeGC(display, gc);
    XCloseDisplay(display);
}

} // namespace showsaver
