#pragma once
// Test doubles of what items see of the player and the window.

#include "gfx/Layers.h"
#include "platform/sys/Event.h"
#include "platform/ui/MessageBox.h"
#include "show/ScenePlayer.h"
#include "transitions/TransitionEffect.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace showsaver::gfx { class DeviceContext; }

namespace showsaver::testing {

// A stand-in for the drawing context, for items that never draw. It is
// never dereferenced.
inline gfx::DeviceContext& UnusedContext() {
    alignas(64) static char storage[64];
    return *reinterpret_cast<gfx::DeviceContext*>(storage);
}

struct CollectedMessage {
    std::string text;
    ui::MessageIcon icon;
};

class CollectingSink final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon icon, ui::MessageButtons) override {
        messages.push_back({std::string(text), icon});
        return ui::MessageAnswer::Ok;
    }
    std::vector<CollectedMessage> messages;
};

class FakeWindow final : public SaverWindowControl {
public:
    void SetBackground(ColorRef color) override { backgrounds.push_back(color); }
    ColorRef Background() const override { return backgrounds.empty() ? 0 : backgrounds.back(); }
    void ArmLink(const std::string& address, int32_t keyMode) override { armed = {address, keyMode}; }
    void DisarmLink() override { armed.reset(); }
    bool IsMuted() const override { return muted; }
    gfx::LayerHandle AddLayer(const gfx::Rect& area) override { return layers.Add(area); }

    gfx::Surface screen{64, 48};
    gfx::LayerStack layers{screen};
    std::vector<ColorRef> backgrounds;
    std::optional<std::pair<std::string, int32_t>> armed;
    bool muted = false;
};

// Records every play (type name and request) and every stop.
class FakeMedia final : public MediaControl {
public:
    void PlayWave(const MediaPlay& play, ScenePlayer&) override { plays.push_back({"wave", play}); }
    void PlayVideo(const MediaPlay& play, ScenePlayer&) override { plays.push_back({"video", play}); }
    void PlayMp3(const MediaPlay& play, ScenePlayer&) override { plays.push_back({"mp3", play}); }
    void PlayFlash(const MediaPlay& play, ScenePlayer&) override { plays.push_back({"flash", play}); }
    void PlayMidi(const MediaPlay& play, ScenePlayer&) override { plays.push_back({"midi", play}); }
    void StopWave() override { stops.push_back("wave"); }
    void StopMp3() override { stops.push_back("mp3"); }
    void StopVideo() override { stops.push_back("video"); }
    void StopFlash() override { stops.push_back("flash"); }
    void StopMidi() override { stops.push_back("midi"); }
    std::vector<std::pair<std::string, MediaPlay>> plays;
    std::vector<std::string> stops;
};

// Records pauses instead of sleeping; can request a stop after a number of
// pauses.
class FakePlayer final : public ScenePlayer, public TransitionPacer {
public:
    void CalibratedWait(uint32_t elapsed, double total) override {
        waits.push_back({elapsed, total});
        if (onWait) onWait();
        if (stopAfterWaits && waits.size() >= *stopAfterWaits) stopRequested = true;
    }
    // Called at every calibrated wait, to look at the screen between steps.
    std::function<void()> onWait;
    // A virtual clock: Sleep moves it, and every reading moves it by
    // `ticksPerReading` (a machine that draws slowly).
    uint32_t TickCount() const override {
        uint32_t now = clock;
        clock += ticksPerReading;
        return now;
    }
    mutable uint32_t clock = 0;
    uint32_t ticksPerReading = 0;
    std::optional<size_t> stopAfterWaits;
    uint32_t Times() const override { return 100000; }
    TransitionPacer& Pacer() override { return *this; }
    std::string CapturePath(int32_t source) const override { return source == 2 ? desktop : source == 3 ? wallpaper : ""; }
    std::vector<std::pair<uint32_t, double>> waits;
    std::string desktop, wallpaper;

    bool IsStopRequested() const override { return stopRequested; }
    void Sleep(uint32_t ms) override {
        sleeps.push_back(ms);
        clock += ms;
        if (stopAfterSleeps && sleeps.size() >= *stopAfterSleeps) stopRequested = true;
    }
    // Waits at most `eventWaitLimit` for the event (by default not at all);
    // false when a stop was asked.
    bool WaitFor(sys::Event& event) override {
        ++eventWaits;
        return !stopRequested && event.Wait(eventWaitLimit);
    }
    std::chrono::milliseconds eventWaitLimit{0};
    const sys::Event& StopEvent() const override { return stop; }
    SaverWindowControl& Window() override { return window; }
    ui::MessageSink& Messages() override { return messages; }
    MediaControl& Media() override { return media; }
    int32_t SettingsTimes() const override { return settingsTimes; }

    bool stopRequested = false;
    sys::Event stop;
    int eventWaits = 0;
    std::optional<size_t> stopAfterSleeps;
    std::vector<uint32_t> sleeps;
    FakeWindow window;
    CollectingSink messages;
    FakeMedia media;
    int32_t settingsTimes = 0;
};

} // namespace showsaver::testing
