#include "app/HackWindow.h"

#include "platform/ui/UiLoop.h"

#include <gtk/gtk.h>
#include <gdk/gdkx.h>
#include <cairo-xlib.h>

#include <algorithm>

// Xlib's macros clash with our names.
#undef FillSolid

namespace showsaver {

namespace {

// As the fullscreen window: at most one present per display frame.

Display* XDisplayOf() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

} // namespace

unsigned long RootWindowId() { return ui::InitUi() ? GDK_WINDOW_XID(gdk_get_default_root_window()) : 0; }

bool HackWindow::MakeScreen(int width, int height) {
    m_screen = gfx::Surface::Create(std::max(width, 1), std::max(height, 1));
    if (!m_screen) return false;
    m_context = gfx::SurfaceContext::ForScreen(m_screen);
    m_cairoScreen = m_screen->CreateCairoSurface();
    m_layers = std::make_unique<gfx::LayerStack>(*m_screen);
    return m_context && m_cairoScreen;
}

std::unique_ptr<HackWindow> HackWindow::OnForeign(unsigned long xid, std::function<void()> stopPlayback) {
    if (!ui::InitUi() || xid == 0) return nullptr;
    GdkDisplay* display = gdk_display_get_default();
    Display* xdisplay = XDisplayOf();
    // The window belongs to another program and may vanish at any moment:
    // every request on it is made under an error trap.
    XWindowAttributes attributes{};
    gdk_x11_display_error_trap_push(display);
    Status known = XGetWindowAttributes(xdisplay, xid, &attributes);
    if (known)
        XSelectInput(xdisplay, xid, attributes.your_event_mask | StructureNotifyMask | ExposureMask);
    if (gdk_x11_display_error_trap_pop(display) != 0 || !known) return nullptr;

    std::unique_ptr<HackWindow> window(new HackWindow(std::move(stopPlayback)));
    if (!window->MakeScreen(attributes.width, attributes.height)) return nullptr;
    window->m_foreign = xid;
    window->m_foreignSurface = cairo_xlib_surface_create(xdisplay, xid, attributes.visual, window->m_screen->Width(),
                                                         window->m_screen->Height());
    if (cairo_surface_status(window->m_foreignSurface) != CAIRO_STATUS_SUCCESS) return nullptr;
    gdk_window_add_filter(nullptr, reinterpret_cast<GdkFilterFunc>(OnXEvent), window.get());
    window->m_filterInstalled = true;
    window->m_screen->SetDirtyNotifier([w = window.get()] { w->SchedulePresent(); });
    window->m_screen->MarkDirty(window->m_screen->Bounds());
    return window;
}

std::unique_ptr<HackWindow> HackWindow::TopLevel(const std::string& title, std::function<void()> stopPlayback) {
    if (!ui::InitUi()) return nullptr;
    std::unique_ptr<HackWindow> window(new HackWindow(std::move(stopPlayback)));
    if (!window->MakeScreen(kTopLevelWidth, kTopLevelHeight)) return nullptr;
    window->m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window->m_window), title.c_str());
    gtk_window_set_resizable(GTK_WINDOW(window->m_window), FALSE);
    window->m_area = gtk_drawing_area_new();
    gtk_widget_set_size_request(window->m_area, kTopLevelWidth, kTopLevelHeight);
    gtk_container_add(GTK_CONTAINER(window->m_window), window->m_area);
    g_signal_connect(window->m_area, "draw", G_CALLBACK(OnDraw), window.get());
    g_signal_connect(window->m_window, "destroy", G_CALLBACK(OnTopLevelDestroyed), window.get());
    gtk_widget_show_all(window->m_window);
    window->m_screen->SetDirtyNotifier([w = window.get()] { w->SchedulePresent(); });
    window->m_screen->MarkDirty(window->m_screen->Bounds());
    return window;
}

HackWindow::~HackWindow() {
    if (m_screen) m_screen->SetDirtyNotifier({});
    m_presenter.Cancel();
    if (m_filterInstalled) gdk_window_remove_filter(nullptr, reinterpret_cast<GdkFilterFunc>(OnXEvent), this);
    if (m_foreignSurface) {
        GdkDisplay* display = gdk_display_get_default();
        gdk_x11_display_error_trap_push(display);
        cairo_surface_destroy(m_foreignSurface);
        gdk_display_flush(display);
        gdk_x11_display_error_trap_pop_ignored(display);
    }
    if (m_window) {
        // Our own destruction is not the user closing the window.
        g_signal_handlers_disconnect_by_data(m_window, this);
        gtk_widget_destroy(m_window);
    }
}

void HackWindow::End() {
    if (m_ended) return;
    m_ended = true;
    if (m_stopPlayback) m_stopPlayback();
    ui::QuitUiLoop();
}

void HackWindow::SetBackground(ColorRef color) {
    m_background = color;
    m_context->FillSolid(m_screen->Bounds(), color);
}

gfx::LayerHandle HackWindow::AddLayer(const gfx::Rect& area) {
    return m_layers ? m_layers->Add(area) : gfx::LayerHandle{};
}

void HackWindow::Compose(cairo_t* cr) {
    auto lock = m_screen->LockForReading();
    cairo_surface_mark_dirty(m_cairoScreen.get());
    cairo_set_source_surface(cr, m_cairoScreen.get(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    m_layers->ForEachVisible([cr](const gfx::Surface& pixels, const gfx::Rect& area) {
        auto* data = const_cast<unsigned char*>(pixels.Data());
        gfx::CairoSurfacePtr layer(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, pixels.Width(),
                                                                       pixels.Height(), pixels.Stride()));
        cairo_set_source_surface(cr, layer.get(), area.left, area.top);
        cairo_rectangle(cr, area.left, area.top, area.Width(), area.Height());
        cairo_fill(cr);
    });
}

void HackWindow::PresentForeign(const gfx::Rect& area) {
    GdkDisplay* display = gdk_display_get_default();
    gdk_x11_display_error_trap_push(display);
    cairo_t* cr = cairo_create(m_foreignSurface);
    cairo_rectangle(cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(cr);
    Compose(cr);
    cairo_destroy(cr);
    cairo_surface_flush(m_foreignSurface);
    gdk_display_flush(display);
    gdk_x11_display_error_trap_pop_ignored(display);
}

void HackWindow::Present() {
    gfx::Rect dirty = m_screen->TakeDirty();
    if (dirty.IsEmpty() || m_ended) return;
    if (m_area)
        gtk_widget_queue_draw_area(m_area, dirty.left, dirty.top, dirty.Width(), dirty.Height());
    else if (m_foreignSurface)
        PresentForeign(dirty);
}

int HackWindow::OnDraw(GtkWidget*, cairo_t* cr, void* data) {
    static_cast<HackWindow*>(data)->Compose(cr);
    return TRUE;
}

void HackWindow::OnTopLevelDestroyed(GtkWidget*, void* data) {
    auto* self = static_cast<HackWindow*>(data);
    self->m_window = nullptr;
    self->m_area = nullptr;
    self->End();
}

// Every X event of the display passes here first; ours are the foreign
// window's exposures and its destruction.
int HackWindow::OnXEvent(void* xevent, void*, void* data) {
    auto* self = static_cast<HackWindow*>(data);
    const auto* event = static_cast<const XEvent*>(xevent);
    if (event->type == DestroyNotify && event->xdestroywindow.window == self->m_foreign) {
        self->End();
    } else if (event->type == Expose && event->xexpose.window == self->m_foreign && !self->m_ended) {
        self->PresentForeign(self->m_screen->Bounds());
    }
    return GDK_FILTER_CONTINUE;
}

} // namespace showsaver
