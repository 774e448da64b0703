#pragma once
// CVideoWindow: the video of a media play that waits. Start plays the file
// once at its own size with its top-left corner at (x, y) and returns when it
// has ended or the stop event is set; Finish stops, closes and deletes the
// file. Made and destroyed within one media play, on the scene thread.

#include "media/VideoHost.h"
#include "platform/sys/Event.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoPlayer.h"

#include <filesystem>
#include <memory>

namespace showsaver::media {

class CVideoWindow {
public:
    // `sound` may be null (no sound). The stop event is the scene thread's.
    CVideoWindow(VideoLayerFactory& layers, AudioSinkFactory* sound, const sys::Event& stop);
    // Deletes the file once more, should Finish not have run.
    ~CVideoWindow();
    CVideoWindow(const CVideoWindow&) = delete;
    CVideoWindow& operator=(const CVideoWindow&) = delete;

    void SetMute(bool mute) { m_mute = mute; }

    // Opens `file` and plays it: once when `repeat` is -1, else until the stop
    // event. Blocks until the play has ended or the stop event is set. False
    // when the file could not be opened (nothing is shown then).
    bool Start(int repeat, int x, int y, const std::filesystem::path& file);
    // Stops, closes and deletes the file.
    void Finish();

    gfx::Size VideoSize() const { return m_size; }

private:
    void Close();

    VideoLayerFactory& m_layers;
    AudioSinkFactory* m_sound;
    const sys::Event& m_stop;
    bool m_mute = false;
    std::filesystem::path m_fileName;
    gfx::Size m_size;
    // Declared in the order they are made; the player goes first.
    std::unique_ptr<video::VideoFile> m_file;
    std::unique_ptr<video::FrameTarget> m_layer;
    std::unique_ptr<video::AudioSink> m_sink;
    std::unique_ptr<video::VideoPlayer> m_player;
};

} // namespace showsaver::media
