#pragma once
// The fullscreen window of the show: it covers the screen above every other
// window, holds keyboard and pointer while it runs, hides the pointer, turns
// input into the end of the screensaver by the exit rules, keeps the
// background colour and the armed web link, and presents what the scene
// thread draws into its screen surface.

#include "app/ExitRules.h"
#include "app/FramePresenter.h"
#include "app/PresentPacer.h"
#include "gfx/Layers.h"
#include "gfx/SurfaceContext.h"
#include "platform/sys/Event.h"
#include "platform/ui/MessageBox.h"
#include "show/ScenePlayer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkEventKey GdkEventKey;
typedef struct _GdkEventButton GdkEventButton;
typedef struct _GdkEventMotion GdkEventMotion;
typedef struct _cairo cairo_t;

namespace showsaver {

namespace ui { class IdleInhibitor; }
class X11ShmPresenter;

class SaverWindow final : public SaverWindowControl {
public:
    struct Hooks {
        // Asked when an exit rule wants to close, with the window as the
        // dialog's parent; false keeps the show running.
        std::function<bool(GtkWidget* window)> checkOnClose;
        // The first end step: stops the scene thread and returns when it ended.
        std::function<void()> stopPlayback;
        // Receives the armed link's address when its key is pressed.
        std::function<void(const std::string&)> storeExitUrl;
    };

    SaverWindow(ExitSettings exitSettings, Hooks hooks);
    SaverWindow(const SaverWindow&) = delete;
    SaverWindow& operator=(const SaverWindow&) = delete;
    ~SaverWindow() override;

    // Makes the screen surface the scene thread draws into, with the
    // screen's size, before the window exists: drawing may start early and
    // is presented once the window shows. False when there is no display.
    // Create makes it if no one did.
    bool MakeScreen();
    // Creates the window at 0,0 with the screen's size. `whileCreating` runs
    // after the window exists and before it is shown (waiting for the
    // desktop to be read). False when there is no display.
    bool Create(const std::function<void()>& whileCreating = {});
    // The end steps: stop the playback, resume the X server's own screen
    // saver, end the UI loop. Runs once.
    void Destroy();
    // Asks to close, as an exit rule does: the password check decides.
    void RequestClose();

    // The scene thread's drawing context over the screen surface.
    gfx::DeviceContext& Context() { return *m_context; }
    gfx::Size ScreenSize() const { return m_screen->Size(); }
    gfx::Surface& Screen() { return *m_screen; }
    sys::Event& MediaEvent() { return m_mediaEvent; }
    bool IsDestroyed() const { return m_destroyed; }
    // Measures the next mouse moves from where the pointer is now.
    void ResetMouseReference();

    // A message box of the show, from any thread but the UI thread. The box
    // comes up above the window and has the keyboard; the inputs that end
    // the show still end it, and the box goes with it. Returns the answer,
    // or Cancel once `stop` is set or the window closes first.
    ui::MessageAnswer ShowMessage(std::string_view caption, std::string_view text, ui::MessageIcon icon,
                                  ui::MessageButtons buttons, const sys::Event* stop);

    // SaverWindowControl, called by the scene thread.
    void SetBackground(ColorRef color) override;
    ColorRef Background() const override { return m_background.load(); }
    void ArmLink(const std::string& address, int32_t keyMode) override;
    void DisarmLink() override;
    bool IsMuted() const override { return m_mute; }
    gfx::LayerHandle AddLayer(const gfx::Rect& area) override;

private:
    static int OnKeyPress(GtkWidget*, GdkEventKey* event, void* self);
    static int OnButtonPress(GtkWidget*, GdkEventButton* event, void* self);
    static int OnMotion(GtkWidget*, GdkEventMotion* event, void* self);
    static int OnDelete(GtkWidget*, void*, void* self);
    static int OnDraw(GtkWidget*, cairo_t* cr, void* self);
    static int OnCloseRequested(void* self);

    struct Box;
    // The message boxes' steps, on the UI thread.
    void OpenBox(const std::shared_ptr<Box>& box, const std::string& caption, const std::string& text,
                 ui::MessageIcon icon, ui::MessageButtons buttons);
    void FinishBox(const std::shared_ptr<Box>& box, ui::MessageAnswer answer);
    void CloseBoxes();
    static int OnBoxKeyPress(GtkWidget*, GdkEventKey* event, void* self);
    static int OnBoxMotion(GtkWidget*, GdkEventMotion* event, void* self);
    // The exit rules for a key; true when the key was a system key, which
    // nothing else may see.
    bool HandleKey(const GdkEventKey& event);

    void GrabInput();
    void ReleaseInput();
    void SetPointerVisible(bool visible);
    // Asks for a present at the next display frame, from any thread.
    void SchedulePresent() { m_presenter.Schedule(); }
    // Shows what changed on the screen since the last present.
    void Present();

    ExitRules m_rules;
    const bool m_mute;
    Hooks m_hooks;
    std::shared_ptr<gfx::Surface> m_screen;
    std::unique_ptr<gfx::SurfaceContext> m_context;
    gfx::CairoSurfacePtr m_cairoScreen;
    std::unique_ptr<gfx::LayerStack> m_layers;
    // Shows the screen without GTK when the display allows (MIT-SHM on
    // X11); null, or refusing a present, sends it through a GTK redraw.
    std::unique_ptr<FramePresenter> m_fastPresenter;
    // The shared-memory presenter from the screen's making until the window
    // it shows on exists.
    std::unique_ptr<X11ShmPresenter> m_shm;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_area = nullptr;
    // The present waits for the screen to change: the screen surface wakes
    // it, and it shows at most one frame per display interval.
    PresentPacer m_presenter {[this] { Present(); }};
    bool m_destroyed = false;
    bool m_closePending = false;
    bool m_dialogOpen = false;   // the password dialog has the keyboard
    bool m_screenSaverSuspended = false;
    bool m_wayland = false;
    std::unique_ptr<ui::IdleInhibitor> m_idleInhibitor;

    std::atomic<ColorRef> m_background{0};
    std::atomic<int32_t> m_linkKeyMode{-1};
    std::mutex m_linkMutex;   // hands the address between the scene thread and the UI thread
    std::string m_linkAddress;
    sys::Event m_mediaEvent;
    // The boxes that are up, newest last (UI thread only). While one is up
    // it holds the grab and the pointer shows.
    std::vector<std::shared_ptr<Box>> m_boxes;
    // Calls posted to the UI thread hold this weakly and do nothing once
    // the window is gone.
    std::shared_ptr<SaverWindow*> m_alive = std::make_shared<SaverWindow*>(this);
};

// The virtual key code of a GDK key value (letters as upper-case ASCII).
uint32_t VirtualKeyOf(unsigned keyval);

} // namespace showsaver
