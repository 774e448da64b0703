#include "platform/ui/UiLoop.h"

#include "platform/sys/Event.h"

#include <gtk/gtk.h>
#include <glib-unix.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <thread>

namespace showsaver::ui {

namespace {

// The process has one UI thread, as it has one display connection.
std::atomic<bool> g_ready{false};
std::thread::id g_uiThread;
DisplaySystems g_systems = DisplaySystems::X11;

struct PostedCall {
    std::function<void()> call;
    std::shared_ptr<sys::Event> done;
};

gboolean RunPostedCall(gpointer data) {
    std::unique_ptr<PostedCall> posted(static_cast<PostedCall*>(data));
    posted->call();
    if (posted->done) posted->done->Set();
    return G_SOURCE_REMOVE;
}

// The self-pipe of the termination signals.
int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signalled = 0;
std::function<void()> g_onSignal;   // UI thread only

void OnTerminationSignal(int) {
    int saved = errno;
    g_signalled = 1;
    char byte = 1;
    // A full pipe already wakes the loop; the byte may be dropped.
    [[maybe_unused]] ssize_t written = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

gboolean OnSignalPipe(gint fd, GIOCondition, gpointer) {
    char bytes[64];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
    if (g_onSignal) g_onSignal();
    return G_SOURCE_CONTINUE;
}

} // namespace

void WatchTerminationSignals(std::function<void()> onSignal) {
    g_onSignal = std::move(onSignal);
    if (g_signalPipe[0] >= 0) return;
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    g_unix_fd_add(g_signalPipe[0], G_IO_IN, OnSignalPipe, nullptr);
    struct sigaction action{};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A hang-up (the session or the terminal going) ends the show as SIGTERM does.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

int TerminationSignalFd() { return g_signalPipe[0]; }

bool TerminationSignalled() { return g_signalled != 0; }

void KeepGdkFromOpenGl() {
    // GDK reads its GL switches once, when it opens the display; a value
    // the user set wins.
    g_setenv("GDK_GL", "disable", FALSE);
}

bool InitUi() {
    if (g_ready) return true;
    KeepGdkFromOpenGl();
    gdk_set_allowed_backends(g_systems == DisplaySystems::X11 ? "x11" : "wayland,x11");
    if (!gtk_init_check(nullptr, nullptr)) return false;
    g_uiThread = std::this_thread::get_id();
    g_ready = true;
    return true;
}

void SetDisplaySystems(DisplaySystems systems) { g_systems = systems; }

bool IsWayland() {
#ifdef GDK_WINDOWING_WAYLAND
    return g_ready && GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default());
#else
    return false;
#endif
}

ScreenSize GetScreenSize() {
    if (!g_ready) return {};
    if (IsWayland()) {
        GdkMonitor* monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
        if (!monitor) return {};
        GdkRectangle area;
        gdk_monitor_get_geometry(monitor, &area);
        return {area.width, area.height};
    }
    GdkWindow* root = gdk_get_default_root_window();
    return {gdk_window_get_width(root), gdk_window_get_height(root)};
}

bool IsUiReady() { return g_ready; }

bool IsUiThread() { return g_ready && std::this_thread::get_id() == g_uiThread; }

void RunUiLoop() { gtk_main(); }

void QuitUiLoop() {
    PostToUiThread([] {
        if (gtk_main_level() > 0) gtk_main_quit();
    });
}

void PostToUiThread(std::function<void()> call) {
    g_idle_add_full(G_PRIORITY_DEFAULT, RunPostedCall, new PostedCall{std::move(call), nullptr}, nullptr);
}

bool CallOnUiThread(std::function<void()> call, const sys::Event* stop) {
    if (IsUiThread()) {
        call();
        return true;
    }
    auto done = std::make_shared<sys::Event>();
    g_idle_add_full(G_PRIORITY_DEFAULT, RunPostedCall, new PostedCall{std::move(call), done}, nullptr);
    if (!stop) {
        done->Wait();
        return true;
    }
    const sys::Event* events[] = {done.get(), stop};
    int which;
    while ((which = sys::Event::WaitAny(events, std::chrono::hours(1))) < 0) {
    }
    return which == 0;
}

} // namespace showsaver::ui
