#pragma once
// What an item sees of the player while it plays: the stop request, pauses
// and waits, the fullscreen window with its layers, message boxes and the
// media players. The scene thread implements it; tests use doubles.

#include "gfx/Layers.h"
#include "show/MediaControl.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace showsaver {

namespace ui { class MessageSink; }
namespace sys { class Event; }
class TransitionPacer;

using ColorRef = uint32_t;   // 0x00BBGGRR

// Operations of the fullscreen window that items use.
class SaverWindowControl {
public:
    virtual ~SaverWindowControl() = default;
    // Makes `color` the background and erases the window with it at once.
    virtual void SetBackground(ColorRef color) = 0;
    virtual ColorRef Background() const = 0;
    // Arms a web link: the key of `keyMode` (0 Enter, 1 F12, 2 Space, 3 any)
    // stores `address` as the address to open at exit.
    virtual void ArmLink(const std::string& address, int32_t keyMode) = 0;
    virtual void DisarmLink() = 0;
    virtual bool IsMuted() const = 0;
    // A child area above the screen at `area`, hidden until shown, that a
    // video or Flash player fills from its own thread (see gfx::Layer). An
    // empty handle when no layer of that size can be made.
    virtual gfx::LayerHandle AddLayer(const gfx::Rect& area) = 0;
};

class ScenePlayer {
public:
    virtual ~ScenePlayer() = default;
    // Zero-time-out test of the stop event.
    virtual bool IsStopRequested() const = 0;
    // A pause of `ms` milliseconds (a virtual clock may make it take no time).
    virtual void Sleep(uint32_t ms) = 0;
    // The player's clock, for items that pace themselves against it.
    virtual std::chrono::steady_clock::time_point Now() const { return std::chrono::steady_clock::now(); }
    // Blocks until `event` is set (true) or the show is being stopped
    // (false), whichever comes first, without spinning.
    virtual bool WaitFor(sys::Event& event) = 0;
    // The stop event itself, for players that wait on it with their own means.
    virtual const sys::Event& StopEvent() const = 0;
    virtual SaverWindowControl& Window() = 0;
    virtual ui::MessageSink& Messages() = 0;
    virtual MediaControl& Media() = 0;
    // The profile value "Times" of section "Settings" (0 when absent), which
    // the random colour and path steps mix into their seeds.
    virtual int32_t SettingsTimes() const = 0;
    // The pauses and stop checks of transitions.
    virtual TransitionPacer& Pacer() = 0;
    // The capture files of the desktop (source 2) and the wallpaper (3).
    virtual std::string CapturePath(int32_t source) const = 0;
};

} // namespace showsaver
