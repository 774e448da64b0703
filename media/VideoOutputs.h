#pragma once
// The video players' host in a show: their pictures go to layers of the
// screensaver window, their sound to a queue in the process's mixer, and the
// panel's commands to a thread of its own.

#include "media/VideoHost.h"
#include "platform/audio/Output.h"
#include "platform/sys/CommandThread.h"
#include "show/ScenePlayer.h"

#include <atomic>

namespace showsaver::media {

// Layers of the window the show plays in. Each layer shows from the moment
// it is made (black until the first picture) and goes with its target.
class WindowVideoLayers final : public VideoLayerFactory {
public:
    // The window of the show; set before the first layer is made.
    void SetWindow(SaverWindowControl& window) { m_window.store(&window); }
    std::unique_ptr<video::FrameTarget> CreateLayer(gfx::Point topLeft, gfx::Size size) override;

private:
    std::atomic<SaverWindowControl*> m_window {nullptr};
};

// Sinks that play through the process's one output; none when no output
// device is available.
class MixerSoundSinks final : public AudioSinkFactory {
public:
    explicit MixerSoundSinks(audio::OutputOwner& output) : m_output(output) {}
    std::unique_ptr<video::AudioSink> CreateSink() override;

private:
    audio::OutputOwner& m_output;
};

// The panel's owner: a command thread whose calls are given up on once the
// show is being stopped (GiveUp), so that no command can hold the stopping
// thread.
class PanelOwnerThread final : public OwnerThread {
public:
    bool Invoke(std::function<void()> call) override { return m_thread.Invoke(std::move(call), m_givenUp); }
    void GiveUp() { m_givenUp.Set(); }

private:
    sys::Event m_givenUp;
    sys::CommandThread m_thread;
};

} // namespace showsaver::media
