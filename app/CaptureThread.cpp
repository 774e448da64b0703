#include "app/CaptureThread.h"

#include "codec/Codec.h"
#include "playback/RootWindow.h"

#include "platform/ui/StartTrace.h"

#include <glib.h>

// Xlib last: its macros clash with other names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace showsaver {

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
    std::optional<codec::RgbImage> desktop = ReadRootWindow(x);
    gfx::Size screen{DisplayWidth(x, DefaultScreen(x)), DisplayHeight(x, DefaultScreen(x))};
    XCloseDisplay(x);
    m_desktopRead.Set();
    ui::TraceStart("desktop read");
    bool written = desktop && codec::WriteBmp(files.desktop, *desktop);
    desktop.reset();
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
