#include "app/X11ShmPresenter.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <mutex>
#include <utility>
#include <vector>

// Xlib last: its macros clash with other names.
#include <gdk/gdkx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace showsaver {

namespace {

// The parts of every rectangle of `parts` outside `hole`.
void Subtract(std::vector<gfx::Rect>& parts, const gfx::Rect& hole) {
    std::vector<gfx::Rect> left;
    for (const gfx::Rect& part : parts) {
        gfx::Rect cut = part.Intersected(hole);
        if (cut.IsEmpty()) {
            left.push_back(part);
            continue;
        }
        gfx::Rect above{part.left, part.top, part.right, cut.top};
        gfx::Rect below{part.left, cut.bottom, part.right, part.bottom};
        gfx::Rect before{part.left, cut.top, cut.left, cut.bottom};
        gfx::Rect after{cut.right, cut.top, part.right, cut.bottom};
        for (const gfx::Rect& r : {above, below, before, after})
            if (!r.IsEmpty()) left.push_back(r);
    }
    parts = std::move(left);
}

// Set by the error handler while an attach is being tried.
bool g_attachFailed = false;
int OnAttachError(Display*, XErrorEvent*) {
    g_attachFailed = true;
    return 0;
}

} // namespace

class X11ShmPresenter::Book : public std::enable_shared_from_this<X11ShmPresenter::Book> {
public:
    class Segment;

    Book(Display* display, Visual* visual, int depth) : m_display(display), m_visual(visual), m_depth(depth) {}

    Display* const m_display;
    Visual* const m_visual;
    const int m_depth;
    XID m_window = 0;
    GC m_gc = nullptr;
    bool m_broken = false;   // an attach failed: the server cannot read our segments

    // Segments that went while attached, to detach on the UI thread.
    std::mutex m_mutex;
    std::vector<ShmSeg> m_retired;   // under m_mutex
    bool m_closed = false;           // under m_mutex: no more Xlib calls

    void Retire(ShmSeg segment) {
        std::lock_guard lock(m_mutex);
        if (!m_closed) m_retired.push_back(segment);
    }
    void DetachRetired() {
        std::vector<ShmSeg> retired;
        {
            std::lock_guard lock(m_mutex);
            retired.swap(m_retired);
        }
        for (ShmSeg id : retired) {
            XShmSegmentInfo info{};
            info.shmseg = id;
            XShmDetach(m_display, &info);
        }
    }
    void Close() {
        DetachRetired();
        if (m_gc) XFreeGC(m_display, m_gc);
        m_gc = nullptr;
        XSync(m_display, False);
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    // The attached image over `pixels`, attaching it on its first use;
    // null when the pixels are not in a segment or the server refuses it.
    XImage* ImageOf(const gfx::Surface& pixels);
};

class X11ShmPresenter::Book::Segment final : public gfx::PixelMemory {
public:
    static std::unique_ptr<Segment> Make(std::shared_ptr<Book> book, size_t bytes) {
        int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) return nullptr;
        void* address = shmat(id, nullptr, 0);
        // Marked for removal at once: it goes when the last process that
        // attached it lets go, even if we crash. Linux still lets the X
        // server attach it until then.
        shmctl(id, IPC_RMID, nullptr);
        if (address == reinterpret_cast<void*>(-1)) return nullptr;
        return std::unique_ptr<Segment>(new Segment(std::move(book), id, address));
    }
    ~Segment() override {
        if (image) {
            image->data = nullptr;
            XFree(image);
        }
        // The server keeps its own mapping for the requests still queued.
        shmdt(info.shmaddr);
        if (attached) book->Retire(info.shmseg);
    }
    void* Data() override { return info.shmaddr; }

    std::shared_ptr<Book> book;
    XShmSegmentInfo info{};
    XImage* image = nullptr;
    bool attached = false;

private:
    Segment(std::shared_ptr<Book> owner, int id, void* address) : book(std::move(owner)) {
        info.shmid = id;
        info.shmaddr = static_cast<char*>(address);
        info.readOnly = True;
    }
};

XImage* X11ShmPresenter::Book::ImageOf(const gfx::Surface& pixels) {
    auto* segment = dynamic_cast<Segment*>(pixels.Memory());
    if (!segment || m_broken) return nullptr;
    if (segment->attached) return segment->image;
    if (!segment->image) {
        segment->image = XShmCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap,
                                         segment->info.shmaddr, &segment->info, static_cast<unsigned>(pixels.Pitch()),
                                         static_cast<unsigned>(pixels.Height()));
        if (!segment->image) return nullptr;
        if (segment->image->bytes_per_line != pixels.Stride() || segment->image->bits_per_pixel != 32) {
            m_broken = true;
            return nullptr;
        }
    }
    g_attachFailed = false;
    XSync(m_display, False);
    auto previous = XSetErrorHandler(OnAttachError);
    Status sent = XShmAttach(m_display, &segment->info);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    if (!sent || g_attachFailed) {
        // A server on another machine, or one that may not read our
        // memory: every present goes the other way from now on.
        m_broken = true;
        return nullptr;
    }
    segment->attached = true;
    return segment->image;
}

std::unique_ptr<X11ShmPresenter> X11ShmPresenter::Create(Display* display, unsigned long visualId) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    if (!display || !XShmQueryExtension(display)) return nullptr;
    XVisualInfo wanted{};
    wanted.visualid = visualId;
    wanted.screen = DefaultScreen(display);
    int count = 0;
    XVisualInfo* found = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &wanted, &count);
    if (!found) return nullptr;
    Visual* visual = found->visual;
    int depth = found->depth;
    XFree(found);
    // Our pixels are 32-bit words 0x00RRGGBB.
    if ((depth != 24 && depth != 32) || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
        visual->blue_mask != 0xFF || ImageByteOrder(display) != LSBFirst)
        return nullptr;
    return std::unique_ptr<X11ShmPresenter>(new X11ShmPresenter(std::make_shared<Book>(display, visual, depth)));
}

std::unique_ptr<X11ShmPresenter> X11ShmPresenter::ForGdkDisplay(GdkDisplay* display) {
    if (!display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
    GdkVisual* visual = gdk_screen_get_system_visual(gdk_display_get_default_screen(display));
    return Create(GDK_DISPLAY_XDISPLAY(display), XVisualIDFromVisual(GDK_VISUAL_XVISUAL(visual)));
}

bool X11ShmPresenter::SetGdkWindow(GdkWindow* window) {
    if (!window || !GDK_IS_X11_WINDOW(window)) return false;
    if (GDK_VISUAL_XVISUAL(gdk_window_get_visual(window)) != m_book->m_visual) return false;
    SetWindow(GDK_WINDOW_XID(window));
    return true;
}

X11ShmPresenter::X11ShmPresenter(std::shared_ptr<Book> book) : m_book(std::move(book)) {}

X11ShmPresenter::~X11ShmPresenter() { m_book->Close(); }

void X11ShmPresenter::SetWindow(XID window) {
    Book& book = *m_book;
    if (book.m_gc) XFreeGC(book.m_display, book.m_gc);
    book.m_gc = nullptr;
    book.m_window = window;
    if (!window) return;
    XGCValues values{};
    values.graphics_exposures = False;
    book.m_gc = XCreateGC(book.m_display, window, GCGraphicsExposures, &values);
}

gfx::PixelSource X11ShmPresenter::Pixels() {
    std::weak_ptr<Book> weak = m_book;
    return [weak](size_t bytes) -> std::unique_ptr<gfx::PixelMemory> {
        auto book = weak.lock();
        if (!book) return nullptr;
        return Book::Segment::Make(std::move(book), bytes);
    };
}

bool X11ShmPresenter::Show(const gfx::Surface& screen, const gfx::LayerStack& layers, const gfx::Rect& dirty) {
    Book& book = *m_book;
    if (!book.m_gc || book.m_broken) return false;
    book.DetachRetired();
    gfx::Rect shown = dirty.Intersected(screen.Bounds());
    if (shown.IsEmpty()) return true;
    XImage* screenImage = book.ImageOf(screen);
    if (!screenImage) return false;

    // The screen where no layer covers it: layers are opaque.
    std::vector<gfx::Rect> parts{shown};
    layers.ForEachVisible([&](const gfx::Surface&, const gfx::Rect& area) { Subtract(parts, area); });
    for (const gfx::Rect& part : parts)
        XShmPutImage(book.m_display, book.m_window, book.m_gc, screenImage, part.left, part.top, part.left, part.top,
                     static_cast<unsigned>(part.Width()), static_cast<unsigned>(part.Height()), False);
    bool all = true;
    layers.ForEachVisible([&](const gfx::Surface& pixels, const gfx::Rect& area) {
        gfx::Rect part = area.Intersected(shown);
        if (part.IsEmpty()) return;
        XImage* image = book.ImageOf(pixels);
        if (!image) {
            all = false;
            return;
        }
        XShmPutImage(book.m_display, book.m_window, book.m_gc, image, part.left - area.left, part.top - area.top,
                     part.left, part.top, static_cast<unsigned>(part.Width()), static_cast<unsigned>(part.Height()),
                     False);
    });
    XFlush(book.m_display);
    return all;
}

} // namespace showsaver
