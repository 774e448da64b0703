// Gives a headless compositor's seat a pointer device and keeps it until
// SIGTERM or SIGINT: without one no client gets pointer events, and the
// compositor's own cursor commands (`swaymsg seat seat0 cursor ...`) move
// and press nothing that a client sees. Prints "ready" once the device
// exists.

#include "virtual-pointer-client.h"

#include <wayland-client.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace {

wl_seat* g_seat = nullptr;
zwlr_virtual_pointer_manager_v1* g_manager = nullptr;
volatile sig_atomic_t g_stop = 0;

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (!g_seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        g_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!g_manager && std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener = {OnGlobal, OnGlobalRemove};

} // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "seat-pointer: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, nullptr);
    wl_display_roundtrip(display);
    if (!g_manager) {
        std::fprintf(stderr, "seat-pointer: the compositor makes no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_manager, g_seat);
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::signal(SIGINT, [](int) { g_stop = 1; });
    pollfd watch{wl_display_get_fd(display), POLLIN, 0};
    while (!g_stop) {
        wl_display_flush(display);
        if (poll(&watch, 1, -1) > 0 && wl_display_dispatch(display) < 0) break;
    }
    wl_display_disconnect(display);
    return 0;
}
