#pragma once
// The show's window under an X screensaver daemon: another program's window
// (the daemon's, or the root window) or a plain top-level window of our own.
// The daemon owns the exit and the lock, so this window takes no input: it
// grabs nothing, hides no pointer, has no exit rules and never stores the
// armed link. It presents what the scene thread draws, at the size the
// window had when the show began, until it is ended or its window goes.

#include "app/PresentPacer.h"
#include "gfx/Layers.h"
#include "gfx/SurfaceContext.h"
#include "show/ScenePlayer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace showsaver {

// The id of the display's root window.
unsigned long RootWindowId();

class HackWindow final : public SaverWindowControl {
public:
    // The size of the top-level window of mode -window.
    static constexpr int kTopLevelWidth = 1024;
    static constexpr int kTopLevelHeight = 768;

    // `stopPlayback` is the first end step: it stops the scene thread and
    // returns when it has ended.
    // Plays in the existing window `xid`; null when it does not exist.
    static std::unique_ptr<HackWindow> OnForeign(unsigned long xid, std::function<void()> stopPlayback);
    // Plays in a new top-level window titled `title`; closing it ends the show.
    static std::unique_ptr<HackWindow> TopLevel(const std::string& title, std::function<void()> stopPlayback);
    HackWindow(const HackWindow&) = delete;
    HackWindow& operator=(const HackWindow&) = delete;
    // Every drawing thread has ended by now.
    ~HackWindow() override;

    // The end steps, once: stop the playback, end the UI loop.
    void End();
    bool IsEnded() const { return m_ended; }

    gfx::DeviceContext& Context() { return *m_context; }
    gfx::Size ScreenSize() const { return m_screen->Size(); }
    gfx::Surface& Screen() { return *m_screen; }

    // SaverWindowControl, called by the scene thread.
    void SetBackground(ColorRef color) override;
    ColorRef Background() const override { return m_background.load(); }
    void ArmLink(const std::string&, int32_t) override {}
    void DisarmLink() override {}
    bool IsMuted() const override { return false; }
    gfx::LayerHandle AddLayer(const gfx::Rect& area) override;

private:
    explicit HackWindow(std::function<void()> stopPlayback) : m_stopPlayback(std::move(stopPlayback)) {}
    bool MakeScreen(int width, int height);
    // Draws the screen and the visible layers over it.
    void Compose(cairo_t* cr);
    // Draws `area` of the screen into the foreign window.
    void PresentForeign(const gfx::Rect& area);
    void SchedulePresent() { m_presenter.Schedule(); }
    // Shows what changed on the screen since the last present.
    void Present();
    static int OnDraw(GtkWidget*, cairo_t* cr, void* self);
    static void OnTopLevelDestroyed(GtkWidget*, void* self);
    static int OnXEvent(void* xevent, void* event, void* self);

    std::function<void()> m_stopPlayback;
    std::shared_ptr<gfx::Surface> m_screen;
    std::unique_ptr<gfx::SurfaceContext> m_context;
    gfx::CairoSurfacePtr m_cairoScreen;
    std::unique_ptr<gfx::LayerStack> m_layers;
    // Mode -window: our own window and its drawing area.
    GtkWidget* m_window = nullptr;
    GtkWidget* m_area = nullptr;
    // The other modes: the foreign window, drawn through cairo's Xlib backend.
    unsigned long m_foreign = 0;
    cairo_surface_t* m_foreignSurface = nullptr;
    bool m_filterInstalled = false;
    // The present waits for the screen to change: the screen surface wakes
    // it, and it shows at most one frame per display interval.
    PresentPacer m_presenter {[this] { Present(); }};
    bool m_ended = false;
    std::atomic<ColorRef> m_background{0};
};

} // namespace showsaver
