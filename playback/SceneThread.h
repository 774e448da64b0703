#pragma once
// The thread that plays the show: it walks the item list once and lets every
// enabled item play itself onto the fullscreen window, owns the media
// players, and offers the stop protocol by which the window ends the show at
// any moment. In calibration mode it counts polls of its stop event instead.

#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"
#include "platform/sys/WaitPacer.h"
#include "show/ScenePlayer.h"
#include "transitions/TransitionEffect.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace showsaver {

namespace gfx { class DeviceContext; }
class ItemList;

class CSceneThread final : public ScenePlayer, public TransitionPacer {
public:
    enum class Mode { Play, Calibrate };
    // Real time, or a virtual clock in which every pause and calibrated wait
    // takes no time (headless rendering), or a film's clock: virtual, but
    // moved by the pauses and by as long as each calibrated wait would take,
    // stopping at every frame of the film on the way.
    enum class Pacing { Real, Virtual, Film };

    struct Setup {
        SaverWindowControl* window = nullptr;   // the fullscreen window; borrowed
        gfx::DeviceContext* dc = nullptr;       // its drawing context for the whole run; borrowed
        const ItemList* items = nullptr;        // the loaded show; borrowed
        uint32_t* times = nullptr;              // the calibration count; owned by the application
        ui::MessageSink* messages = nullptr;    // where playback failures are shown; borrowed
        std::unique_ptr<MediaControl> media;    // the media players; null: none
        int32_t settingsTimes = 0;              // the profile's "Times" of "Settings"
        Pacing pacing = Pacing::Real;
        // Called on the scene thread after each played item, with its index.
        std::function<void(int index)> afterItem;
        // With Film pacing: frames per second, and the call on the scene
        // thread for each frame when the clock reaches its time (TickCount()
        // says it) and before it moves past.
        int filmFps = 0;
        std::function<void()> atFrame;
        std::string desktopCapture;             // "desktop.bmp" of this run
        std::string wallpaperCapture;           // "wallpaper.bmp" of this run
        // Start-up work that may still be going on when the thread starts,
        // both borrowed, null when done. The thread clears the screen, then
        // waits for `itemsReady` (the show read into `items`) before the
        // first item; a capture is read once `capturesTaken` is set. A stop
        // request ends both waits.
        const sys::Event* itemsReady = nullptr;
        const sys::Event* capturesTaken = nullptr;
        // Set once the window shows, borrowed; null when it does. Drawing
        // goes on before, but the show's time starts when it can be seen,
        // with the window that ends it: every wait (a pause, a calibrated
        // wait, a wait for a medium) and every medium wait for it first.
        const sys::Event* windowShown = nullptr;
    };

    CSceneThread(Setup setup, Mode mode);
    CSceneThread(const CSceneThread&) = delete;
    CSceneThread& operator=(const CSceneThread&) = delete;
    // Stops a thread that still runs.
    ~CSceneThread() override;

    // The thread is made suspended; Resume starts it.
    void Resume() { m_thread.Resume(); }
    // Stops the media players, sets the stop event, resumes a thread that was
    // never started, and returns when the thread has ended.
    void RequestStop();
    // True once the run has ended (by itself or by a stop request).
    bool HasExited() const { return m_exited.IsSet(); }
    // Waits for the run to end; false on time-out.
    bool WaitForExit(std::chrono::milliseconds timeout) { return m_exited.Wait(timeout); }

    // Waits as long as n = trunc((1 - elapsed / total) * Times * total * 0.00001)
    // polls of the stop event take, n / Times seconds, returning at once
    // when it is set. The wait sleeps; see sys::WaitPacer.
    void CalibratedWait(uint32_t elapsed, double total) override;
    // How many polls a calibrated wait makes (also with virtual pacing).
    uint64_t PollsFor(uint32_t elapsed, double total) const;

    // ScenePlayer
    bool IsStopRequested() const override { return m_stop.IsSet(); }
    void Sleep(uint32_t ms) override;
    bool WaitFor(sys::Event& event) override;
    SaverWindowControl& Window() override { return *m_setup.window; }
    ui::MessageSink& Messages() override { return *m_setup.messages; }
    MediaControl& Media() override {
        AwaitWindow();
        return *m_setup.media;
    }
    int32_t SettingsTimes() const override { return m_setup.settingsTimes; }
    TransitionPacer& Pacer() override { return *this; }
    std::string CapturePath(int32_t source) const override;

    // The stop event, for waits elsewhere that must end with the show.
    const sys::Event& StopEvent() const override { return m_stop; }
    // Where playback failures are shown; set before Resume.
    void SetMessages(ui::MessageSink* messages) { m_setup.messages = messages; }

    gfx::DeviceContext& Context() const { return *m_setup.dc; }
    uint32_t Times() const override { return *m_setup.times; }
    // The system's tick count, or with virtual pacing a clock that only
    // moves by the pauses of Sleep.
    uint32_t TickCount() const override;
    Pacing GetPacing() const { return m_setup.pacing; }
    // With Film pacing: the clock in microseconds, and the frames it passed.
    uint64_t FilmMicros() const { return m_filmMicros; }
    uint64_t FilmFrames() const { return m_filmFrames; }
    // The time of film frame `frame`, in microseconds.
    uint64_t FilmFrameTime(uint64_t frame) const;
    // Gives the frames due up to `micros` (the end of the show's film).
    void FinishFilm(uint64_t micros);

private:
    void Run();
    void CountPolls();
    // Waits for `event` (none: no wait); false when stopped first.
    bool WaitUnlessStopped(const sys::Event* event) const;
    // Waits for the window to show, unless it shows or the show stopped.
    void AwaitWindow() const {
        if (m_setup.windowShown && !m_setup.windowShown->IsSet()) WaitUnlessStopped(m_setup.windowShown);
    }
    void PlayShow();
    void EndOfShow();
    void AdvanceFilm(uint64_t micros);

    Setup m_setup;
    Mode m_mode;
    sys::Event m_stop;
    uint32_t m_virtualTicks = 0;   // the virtual clock; scene thread only
    uint64_t m_filmMicros = 0;     // the film's clock; scene thread only
    uint64_t m_filmFrames = 0;     // frames given to atFrame so far
    sys::WaitPacer m_pacer{m_stop}; // the calibrated waits; scene thread only
    sys::Event m_exited;
    sys::SuspendedThread m_thread;
};

} // namespace showsaver
