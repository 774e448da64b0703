#include "platform/ui/DisplayLoss.h"

#include <X11/Xlib.h>

#include <atomic>
#include <unistd.h>

namespace showsaver::ui {

namespace {

std::function<void()> g_cleanUp;
std::atomic<bool> g_lost{false};

int OnIoError(Display*) {
    // Two threads may find the connection gone; the first one cleans up.
    if (!g_lost.exchange(true) && g_cleanUp) g_cleanUp();
    // Other threads still hold the connection's lock and state: no destructor
    // or exit handler may run now.
    _exit(1);
}

} // namespace

void OnDisplayLost(std::function<void()> cleanUp) {
    g_cleanUp = std::move(cleanUp);
    XSetIOErrorHandler(OnIoError);
}

} // namespace showsaver::ui
