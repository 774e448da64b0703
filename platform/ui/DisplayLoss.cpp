#include "platform/ui/DisplayLoss.h"

#include <X11/Xlib.h>
#include <gdk/gdk.h>
#include <glib-unix.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#include <wayland-client.h>
#endif

#include <atomic>
#include <unistd.h>

namespace showsaver::ui {

namespace {

std::function<void()> g_cleanUp;
std::atomic<bool> g_lost{false};

[[noreturn]] void Lost() {
    // Two threads may find the connection gone; the first one cleans up.
    if (!g_lost.exchange(true) && g_cleanUp) g_cleanUp();
    // Other threads still hold the connection's lock and state: no destructor
    // or exit handler may run now.
    _exit(1);
}

int OnIoError(Display*) { Lost(); }

#ifdef GDK_WINDOWING_WAYLAND
// GDK ends the process itself when the compositor goes (a line on stderr,
// then _exit, or an abort when a write fails first), with no clean-up. The
// socket's hang-up is watched at a higher priority than GDK's events, so the
// main loop hands it to us before GDK's source looks at the socket; a fatal
// error GDK meets on the way there (a failed flush) comes here too.
gboolean OnWaylandHangUp(gint, GIOCondition, gpointer) { Lost(); }

void OnGdkError(const gchar*, GLogLevelFlags, const gchar*, gpointer) { Lost(); }

void WatchWayland(GdkDisplay* display) {
    const int fd = wl_display_get_fd(gdk_wayland_display_get_wl_display(display));
    g_unix_fd_add_full(G_PRIORITY_HIGH, fd, static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR), OnWaylandHangUp,
                       nullptr, nullptr);
    g_log_set_handler("Gdk", static_cast<GLogLevelFlags>(G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL), OnGdkError, nullptr);
}
#endif

} // namespace

void OnDisplayLost(std::function<void()> cleanUp) {
    g_cleanUp = std::move(cleanUp);
    XSetIOErrorHandler(OnIoError);
#ifdef GDK_WINDOWING_WAYLAND
    if (GdkDisplay* display = gdk_display_get_default(); display && GDK_IS_WAYLAND_DISPLAY(display))
        WatchWayland(display);
#endif
}

} // namespace showsaver::ui
