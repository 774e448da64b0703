#pragma once
// CVideoWindow: the video of a media play that waits. Start plays the video
// once at its own size with its top-left corner at (x, y) and returns when it
// has ended or the stop event is set; Finish stops and closes it. Made and
// destroyed within one media play, on the scene thread.

#include "media/VideoHost.h"
#include "platform/sys/Event.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoPlayer.h"

#include <memory>

namespace showsaver::media {

class CVideoWindow {
public:
    // `sound` may be null (no sound). The stop event is the scene thread's.
    CVideoWindow(VideoLayerFactory& layers, AudioSinkFactory* sound, const sys::Event& stop);
    ~CVideoWindow();
    CVideoWindow(const CVideoWindow&) = delete;
    CVideoWindow& operator=(const CVideoWindow&) = delete;

    void SetMute(bool mute) { m_mute = mute; }

    // Opens the video and plays it: once when `repeat` is -1, else until the
    // stop event. Blocks until the play has ended or the stop event is set.
    // False when the video could not be opened (nothing is shown then).
    bool Start(int repeat, int x, int y, const VideoOpener& open);
    // Stops and closes the video.
    void Finish();

    gfx::Size VideoSize() const { return m_size; }

private:
    void Close();

    VideoLayerFactory& m_layers;
    AudioSinkFactory* m_sound;
    const sys::Event& m_stop;
    bool m_mute = false;
    gfx::Size m_size;
    // Declared in the order they are made; the player goes first.
    std::unique_ptr<video::VideoFile> m_file;
    std::unique_ptr<video::FrameTarget> m_layer;
    std::unique_ptr<video::AudioSink> m_sink;
    std::unique_ptr<video::VideoPlayer> m_player;
};

} // namespace showsaver::media
