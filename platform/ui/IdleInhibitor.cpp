#include "platform/ui/IdleInhibitor.h"

#include <gtk/gtk.h>

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#include <wayland-client.h>

#include "idle-inhibit-client.h"

#include <cstring>
#include <utility>
#endif

namespace showsaver::ui {

#ifdef GDK_WINDOWING_WAYLAND

// The protocol's objects live on an event queue of our own, so that binding
// the manager never dispatches GDK's events out of turn.
struct IdleInhibitor::Objects {
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;
    wl_display* wrapper = nullptr;
    wl_registry* registry = nullptr;
    zwp_idle_inhibit_manager_v1* manager = nullptr;
    zwp_idle_inhibitor_v1* inhibitor = nullptr;

    ~Objects() {
        if (inhibitor) zwp_idle_inhibitor_v1_destroy(inhibitor);
        if (manager) zwp_idle_inhibit_manager_v1_destroy(manager);
        if (registry) wl_registry_destroy(registry);
        if (wrapper) wl_proxy_wrapper_destroy(wrapper);
        if (queue) wl_event_queue_destroy(queue);
        if (display) wl_display_flush(display);
    }
};

namespace {

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* objects = static_cast<IdleInhibitor::Objects*>(data);
    if (objects->manager || std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) != 0) return;
    objects->manager = static_cast<zwp_idle_inhibit_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

} // namespace

std::unique_ptr<IdleInhibitor> IdleInhibitor::ForWindow(GtkWidget* window) {
    GdkDisplay* display = gtk_widget_get_display(window);
    GdkWindow* gdkWindow = gtk_widget_get_window(window);
    if (!GDK_IS_WAYLAND_DISPLAY(display) || !gdkWindow) return nullptr;
    wl_surface* surface = gdk_wayland_window_get_wl_surface(gdkWindow);
    if (!surface) return nullptr;
    auto objects = std::make_unique<Objects>();
    objects->display = gdk_wayland_display_get_wl_display(display);
    objects->queue = wl_display_create_queue(objects->display);
    objects->wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(objects->display));
    if (!objects->queue || !objects->wrapper) return nullptr;
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(objects->wrapper), objects->queue);
    objects->registry = wl_display_get_registry(objects->wrapper);
    if (!objects->registry) return nullptr;
    wl_registry_add_listener(objects->registry, &kRegistryListener, objects.get());
    if (wl_display_roundtrip_queue(objects->display, objects->queue) < 0 || !objects->manager) return nullptr;
    // Later globals would only pile up on a queue that nobody dispatches.
    wl_registry_destroy(std::exchange(objects->registry, nullptr));
    objects->inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(objects->manager, surface);
    if (!objects->inhibitor) return nullptr;
    wl_display_flush(objects->display);
    return std::unique_ptr<IdleInhibitor>(new IdleInhibitor(std::move(objects)));
}

#else

struct IdleInhibitor::Objects {};

std::unique_ptr<IdleInhibitor> IdleInhibitor::ForWindow(GtkWidget*) { return nullptr; }

#endif

IdleInhibitor::IdleInhibitor(std::unique_ptr<Objects> objects) : m_objects(std::move(objects)) {}

IdleInhibitor::~IdleInhibitor() = default;

} // namespace showsaver::ui
