#include "platform/ui/UiLoop.h"

#include "platform/sys/Event.h"

#include <gtk/gtk.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

namespace showsaver::ui {

namespace {

// The process has one UI thread, as it has one display connection.
std::atomic<bool> g_ready{false};
std::thread::id g_uiThread;

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

} // namespace

bool InitUi() {
    if (g_ready) return true;
    // The shell relies on X11 facilities (foreign parent windows, the root
    // window, the server's own screen saver).
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) return false;
    g_uiThread = std::this_thread::get_id();
    g_ready = true;
    return true;
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
