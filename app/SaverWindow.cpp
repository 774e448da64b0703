#include "app/SaverWindow.h"

#include "platform/ui/IdleInhibitor.h"
#include "app/X11ShmPresenter.h"
#include "platform/ui/UiLoop.h"
#include "platform/ui/StartTrace.h"
#include "platform/ui/X11ServerSaver.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace showsaver {

namespace {

// A new frame is presented at most this often, and only when something was
// drawn: one display frame at 60 Hz.

} // namespace

struct SaverWindow::Box {
    GtkWidget* dialog = nullptr;                   // UI thread
    sys::Event answered;
    std::atomic<ui::MessageAnswer> answer{ui::MessageAnswer::Cancel};
    std::atomic<bool> abandoned{false};            // the asking thread stopped waiting
};

uint32_t VirtualKeyOf(unsigned keyval) {
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return kKeyEnter;
    case GDK_KEY_Escape: return kKeyEscape;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space: return kKeySpace;
    default: break;
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return 112 + (keyval - GDK_KEY_F1);
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return 'A' + (keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return keyval;
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return keyval;
    // Any other key only needs to be a key that is not one of the above.
    return 0x10000 + keyval;
}

SaverWindow::SaverWindow(ExitSettings exitSettings, Hooks hooks)
    : m_rules(exitSettings), m_mute(exitSettings.IsMuted()), m_hooks(std::move(hooks)) {}

SaverWindow::~SaverWindow() {
    CloseBoxes();
    // Every drawing thread has ended by now.
    if (m_screen) m_screen->SetDirtyNotifier({});
    m_presenter.Cancel();
    m_fastPresenter.reset();
    m_shm.reset();
    if (m_screenSaverSuspended && m_window) ui::SuspendServerScreenSaver(m_window, false);
    m_idleInhibitor.reset();
    if (m_window) gtk_widget_destroy(m_window);
}

bool SaverWindow::MakeScreen() {
    if (m_screen) return true;
    if (!ui::InitUi()) return false;
    m_wayland = ui::IsWayland();
    auto [width, height] = ui::GetScreenSize();
    // On X11 the screen and the layers live in shared memory the X server
    // reads; elsewhere (Wayland) GTK's own buffers carry the pixels.
    m_shm = m_wayland ? nullptr : X11ShmPresenter::ForGdkDisplay(gdk_display_get_default());
    gfx::PixelSource pixels = m_shm ? m_shm->Pixels() : gfx::PixelSource{};
    m_screen = gfx::Surface::Create(width, height, pixels);
    if (!m_screen) return false;
    m_context = gfx::SurfaceContext::ForScreen(m_screen);
    m_cairoScreen = m_screen->CreateCairoSurface();
    m_layers = std::make_unique<gfx::LayerStack>(*m_screen, pixels);
    // What is drawn from now on is presented once the window shows.
    m_screen->SetDirtyNotifier([this] { SchedulePresent(); });
    return true;
}

bool SaverWindow::Create(const std::function<void()>& whileCreating) {
    if (!MakeScreen()) return false;
    const int width = m_screen->Width(), height = m_screen->Height();

    if (m_wayland) {
        // Wayland places no window itself and shows a pop-up only over a
        // parent: the show is a fullscreen toplevel, which the compositor
        // puts above the others with the keyboard's focus.
        m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(m_window), g_get_application_name());
        gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_default_size(GTK_WINDOW(m_window), width, height);
        // On the output whose size the screen has.
        gtk_window_fullscreen_on_monitor(GTK_WINDOW(m_window), gtk_widget_get_screen(m_window), 0);
    } else {
        // A pop-up window is not managed: it stays above the others at 0,0
        // without decorations, and no window manager can close it.
        m_window = gtk_window_new(GTK_WINDOW_POPUP);
        gtk_window_move(GTK_WINDOW(m_window), 0, 0);
        gtk_window_set_default_size(GTK_WINDOW(m_window), width, height);
        gtk_window_set_keep_above(GTK_WINDOW(m_window), TRUE);
    }
    m_area = gtk_drawing_area_new();
    gtk_container_add(GTK_CONTAINER(m_window), m_area);
    gtk_widget_add_events(m_window, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK);
    g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(m_window, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(m_window, "motion-notify-event", G_CALLBACK(OnMotion), this);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
    gtk_widget_realize(m_window);
    ui::TraceStart("window realized");
    if (whileCreating) whileCreating();
    if (m_shm && m_shm->SetGdkWindow(gtk_widget_get_window(m_window))) {
        m_fastPresenter = std::move(m_shm);
        // Exposures are sent from the shared pixels too (OnDraw), straight
        // to the window: GTK's back buffer and cairo's upload of the screen
        // into it would cost two screens of memory and a copy, and the
        // window's own background would only be painted over.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_widget_set_double_buffered(m_window, FALSE);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gtk_widget_set_app_paintable(m_window, TRUE);
    }

    // Our show replaces the X server's own screen saver while it runs.
    ui::SuspendServerScreenSaver(m_window, true);
    m_screenSaverSuspended = true;

    gtk_widget_show_all(m_window);
    ui::TraceStart("window shown");
    // The compositor's counterpart of the X server's saver: no idle while
    // the show is up.
    m_idleInhibitor = ui::IdleInhibitor::ForWindow(m_window);
    SetPointerVisible(false);
    GrabInput();
    // The window's first pointer position only sets the reference: the
    // pointer resting where it was never ends the show.
    ResetMouseReference();
    // What was drawn before the window existed.
    SchedulePresent();
    return true;
}

void SaverWindow::Destroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    // A box of the show goes with the show, before the scene thread is
    // asked to end (it may be waiting for the answer).
    CloseBoxes();
    if (m_hooks.stopPlayback) m_hooks.stopPlayback();
    if (m_screenSaverSuspended) {
        ui::SuspendServerScreenSaver(m_window, false);
        m_screenSaverSuspended = false;
    }
    m_idleInhibitor.reset();
    ReleaseInput();
    ui::QuitUiLoop();
}

void SaverWindow::RequestClose() {
    if (m_closePending || m_destroyed) return;
    m_closePending = true;
    g_idle_add(OnCloseRequested, this);
}

int SaverWindow::OnCloseRequested(void* data) {
    auto* self = static_cast<SaverWindow*>(data);
    self->m_closePending = false;
    if (self->m_destroyed) return G_SOURCE_REMOVE;
    bool close = true;
    self->CloseBoxes();
    if (self->m_hooks.checkOnClose) {
        // The dialog needs the keyboard and an arrow pointer.
        self->m_dialogOpen = true;
        self->ReleaseInput();
        self->SetPointerVisible(true);
        close = self->m_hooks.checkOnClose(self->m_window);
        self->m_dialogOpen = false;
        // A signal may have ended the show while the dialog was open.
        if (!close && self->m_destroyed) return G_SOURCE_REMOVE;
        if (!close) {
            self->ResetMouseReference();
            // A box that came up meanwhile keeps the pointer and the grab.
            self->SetPointerVisible(!self->m_boxes.empty());
            self->GrabInput();
        }
    }
    if (close) self->Destroy();
    return G_SOURCE_REMOVE;
}

void SaverWindow::ResetMouseReference() {
    if (!m_window) return;
    // A Wayland client learns where the pointer is only from the moves that
    // reach it (entering is no move): the next move sets the reference.
    if (m_wayland) {
        m_rules.ResetReference(-1, -1);
        return;
    }
    GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(m_window));
    int x = 0, y = 0;
    gdk_window_get_device_position(gtk_widget_get_window(m_window), gdk_seat_get_pointer(seat), &x, &y, nullptr);
    m_rules.ResetReference(x, y);
}

void SaverWindow::SetBackground(ColorRef color) {
    m_background = color;
    // Erasing the window fills all of it with the new colour at once.
    m_context->FillSolid(m_screen->Bounds(), color);
}

void SaverWindow::ArmLink(const std::string& address, int32_t keyMode) {
    std::lock_guard lock(m_linkMutex);
    m_linkAddress = address;
    m_linkKeyMode = keyMode;
}

void SaverWindow::DisarmLink() {
    std::lock_guard lock(m_linkMutex);
    m_linkKeyMode = -1;
    m_linkAddress.clear();
}

bool SaverWindow::HandleKey(const GdkEventKey& event) {
    uint32_t key = VirtualKeyOf(event.keyval);
    if (event.state & GDK_MOD1_MASK) {
        // A key with Alt is a system key; Alt+F4 is swallowed whole.
        if (key != kKeyF4 && m_rules.OnSystemKey()) RequestClose();
        return true;
    }
    std::string address;
    ExitRules::KeyOutcome outcome;
    {
        std::lock_guard lock(m_linkMutex);
        outcome = m_rules.OnKeyDown(key, m_linkKeyMode);
        if (outcome.storeLink) address = m_linkAddress;
    }
    if (outcome.storeLink && m_hooks.storeExitUrl) m_hooks.storeExitUrl(address);
    if (outcome.close) RequestClose();
    return false;
}

int SaverWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, void* data) {
    auto* self = static_cast<SaverWindow*>(data);
    // A box that is up has the keyboard, whichever window the key reached.
    if (!self->m_boxes.empty()) return gtk_widget_event(self->m_boxes.back()->dialog, reinterpret_cast<GdkEvent*>(event));
    self->HandleKey(*event);
    return TRUE;
}

int SaverWindow::OnButtonPress(GtkWidget*, GdkEventButton* event, void* data) {
    auto* self = static_cast<SaverWindow*>(data);
    if (event->button < 1 || event->button > 3) return TRUE;
    bool close = event->type == GDK_2BUTTON_PRESS ? self->m_rules.OnDoubleClick()
                 : event->type == GDK_BUTTON_PRESS ? self->m_rules.OnButtonDown()
                                                   : false;
    if (close) self->RequestClose();
    return TRUE;
}

int SaverWindow::OnMotion(GtkWidget*, GdkEventMotion* event, void* data) {
    auto* self = static_cast<SaverWindow*>(data);
    if (self->m_rules.OnMouseMove(static_cast<int32_t>(event->x), static_cast<int32_t>(event->y)))
        self->RequestClose();
    return TRUE;
}

// The window manager's close request is ignored: only the exit rules end the show.
int SaverWindow::OnDelete(GtkWidget*, void*, void*) { return TRUE; }

int SaverWindow::OnDraw(GtkWidget*, cairo_t* cr, void* data) {
    auto* self = static_cast<SaverWindow*>(data);
    if (!self->m_cairoScreen) return TRUE;
    if (self->m_fastPresenter) {
        double x0, y0, x1, y1;
        cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
        const double w = self->m_screen->Width(), h = self->m_screen->Height();
        auto within = [](double v, double size) { return static_cast<int>(std::clamp(v, 0.0, size)); };
        const gfx::Rect exposed{within(std::floor(x0), w), within(std::floor(y0), h), within(std::ceil(x1), w),
                                within(std::ceil(y1), h)};
        if (self->m_fastPresenter->Show(*self->m_screen, *self->m_layers, exposed)) return TRUE;
    }
    auto lock = self->m_screen->LockForReading();
    // Our code writes the pixels behind cairo's back: drop any copy it keeps.
    cairo_surface_mark_dirty(self->m_cairoScreen.get());
    cairo_set_source_surface(cr, self->m_cairoScreen.get(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    // The layers above it, as child windows over their parent.
    self->m_layers->ForEachVisible([cr](const gfx::Surface& pixels, const gfx::Rect& area) {
        // cairo only reads a source surface.
        auto* data = const_cast<unsigned char*>(pixels.Data());
        gfx::CairoSurfacePtr layer(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, pixels.Width(),
                                                                       pixels.Height(), pixels.Stride()));
        cairo_set_source_surface(cr, layer.get(), area.left, area.top);
        cairo_rectangle(cr, area.left, area.top, area.Width(), area.Height());
        cairo_fill(cr);
    });
    return TRUE;
}

void SaverWindow::Present() {
    // Before the window is made (a box of the start-up runs the loop) the
    // changes wait for it.
    if (!m_area) return;
    gfx::Rect dirty = m_screen->TakeDirty();
    if (dirty.IsEmpty()) return;
    if (m_fastPresenter && m_fastPresenter->Show(*m_screen, *m_layers, dirty)) return;
    gtk_widget_queue_draw_area(m_area, dirty.left, dirty.top, dirty.Width(), dirty.Height());
}

gfx::LayerHandle SaverWindow::AddLayer(const gfx::Rect& area) {
    return m_layers ? m_layers->Add(area) : gfx::LayerHandle{};
}

void SaverWindow::GrabInput() {
    // While a box is up the grab is the box's: keys reach it, the pointer
    // shows to answer it, and the window still sees the pointer over it.
    GtkWidget* owner = m_boxes.empty() ? m_window : m_boxes.back()->dialog;
    GdkWindow* window = gtk_widget_get_window(owner);
    GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(m_window));
    GdkCursor* blank =
        m_boxes.empty() ? gdk_cursor_new_for_display(gtk_widget_get_display(m_window), GDK_BLANK_CURSOR) : nullptr;
    GdkGrabStatus status = window ? gdk_seat_grab(seat, window, GDK_SEAT_CAPABILITY_ALL, TRUE, blank, nullptr, nullptr, nullptr)
                                  : GDK_GRAB_NOT_VIEWABLE;
    if (blank) g_object_unref(blank);
    // Another program may hold a grab for a moment (a menu, a key being
    // pressed): try again shortly.
    if (status != GDK_GRAB_SUCCESS && !m_destroyed && !m_dialogOpen)
        g_timeout_add(100, [](void* data) -> int {
            auto* self = static_cast<SaverWindow*>(data);
            if (!self->m_destroyed && !self->m_dialogOpen) self->GrabInput();
            return G_SOURCE_REMOVE;
        }, this);
}

void SaverWindow::ReleaseInput() {
    if (!m_window) return;
    gdk_seat_ungrab(gdk_display_get_default_seat(gtk_widget_get_display(m_window)));
}

void SaverWindow::SetPointerVisible(bool visible) {
    GdkDisplay* display = gtk_widget_get_display(m_window);
    GdkCursor* cursor = visible ? gdk_cursor_new_from_name(display, "default")
                                : gdk_cursor_new_for_display(display, GDK_BLANK_CURSOR);
    gdk_window_set_cursor(gtk_widget_get_window(m_window), cursor);
    if (cursor) g_object_unref(cursor);
}

ui::MessageAnswer SaverWindow::ShowMessage(std::string_view caption, std::string_view text, ui::MessageIcon icon,
                                           ui::MessageButtons buttons, const sys::Event* stop) {
    if (auto answer = ui::AnswerWithoutDialog(caption, text, icon, buttons)) return *answer;
    if (ui::IsUiThread()) return ui::ShowMessageBox(caption, text, icon, buttons, stop);
    auto box = std::make_shared<Box>();
    std::weak_ptr<SaverWindow*> alive = m_alive;
    ui::PostToUiThread([alive, box, caption = std::string(caption), text = std::string(text), icon, buttons] {
        if (auto self = alive.lock()) (*self)->OpenBox(box, caption, text, icon, buttons);
        else box->answered.Set();
    });
    const sys::Event* events[] = {&box->answered, stop};
    int which;
    while ((which = sys::Event::WaitAny(events, std::chrono::hours(1))) < 0) {
    }
    if (which == 0) return box->answer.load();
    box->abandoned = true;
    ui::PostToUiThread([alive, box] {
        if (auto self = alive.lock()) (*self)->FinishBox(box, ui::MessageAnswer::Cancel);
    });
    return ui::MessageAnswer::Cancel;
}

void SaverWindow::OpenBox(const std::shared_ptr<Box>& box, const std::string& caption, const std::string& text,
                          ui::MessageIcon icon, ui::MessageButtons buttons) {
    if (m_destroyed || box->abandoned || !m_window) {
        box->answered.Set();
        return;
    }
    std::weak_ptr<SaverWindow*> alive = m_alive;
    box->dialog = ui::OpenMessageBox(GTK_WINDOW(m_window), caption, text, icon, buttons,
                                     [alive, box](ui::MessageAnswer answer) {
                                         if (auto self = alive.lock()) (*self)->FinishBox(box, answer);
                                     });
    // The box passes the keys and moves it gets to the exit rules too.
    gtk_widget_add_events(box->dialog, GDK_POINTER_MOTION_MASK);
    g_signal_connect(box->dialog, "key-press-event", G_CALLBACK(OnBoxKeyPress), this);
    g_signal_connect(box->dialog, "motion-notify-event", G_CALLBACK(OnBoxMotion), this);
    m_boxes.push_back(box);
    SetPointerVisible(true);
    if (!m_dialogOpen) GrabInput();
}

void SaverWindow::FinishBox(const std::shared_ptr<Box>& box, ui::MessageAnswer answer) {
    auto it = std::find(m_boxes.begin(), m_boxes.end(), box);
    if (it == m_boxes.end()) return;
    m_boxes.erase(it);
    box->answer = answer;
    if (box->dialog) gtk_widget_destroy(std::exchange(box->dialog, nullptr));
    box->answered.Set();
    if (m_destroyed || m_dialogOpen) return;
    if (m_boxes.empty()) SetPointerVisible(false);
    GrabInput();
}

void SaverWindow::CloseBoxes() {
    for (auto boxes = std::move(m_boxes); auto& box : boxes) {
        if (box->dialog) gtk_widget_destroy(std::exchange(box->dialog, nullptr));
        box->answered.Set();
    }
    m_boxes.clear();
}

int SaverWindow::OnBoxKeyPress(GtkWidget*, GdkEventKey* event, void* data) {
    // The box answers Return and Escape itself after the rules had them.
    return static_cast<SaverWindow*>(data)->HandleKey(*event) ? TRUE : FALSE;
}

int SaverWindow::OnBoxMotion(GtkWidget*, GdkEventMotion* event, void* data) {
    // The window lies at 0,0, so its coordinates are the screen's.
    auto* self = static_cast<SaverWindow*>(data);
    if (self->m_rules.OnMouseMove(static_cast<int32_t>(event->x_root), static_cast<int32_t>(event->y_root)))
        self->RequestClose();
    return FALSE;
}

} // namespace showsaver
