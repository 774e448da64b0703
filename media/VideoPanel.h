#pragma once
// CVideoPanel: the one background video of a scene thread. It plays AVI
// videos without holding up the show, driven by five commands:
//
//   100 Open(opener)        open the video
//   110 Play(once)          show at the stored position and play; 0 repeats
//   120 Stop()              stop; the last picture stays
//   130 Close()             close and hide
//   140 SetPosition(point)  the top-left corner for the next play
//
// The commands may be called from any thread: each runs on the panel's owner
// thread and returns when it has run or when the show is being stopped.
// A failed open leaves the panel empty; the play, stop and close that follow
// do nothing, and so does a play after a close without a new open.

#include "media/VideoHost.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoPlayer.h"

#include <memory>
#include <mutex>

namespace showsaver::media {

class CVideoPanel {
public:
    enum class Command { Open = 100, Play = 110, Stop = 120, Close = 130, SetPosition = 140 };

    // `sound` may be null (no sound). All three must outlive the panel, and
    // the owner must not run a command it was given after the panel is gone.
    CVideoPanel(OwnerThread& owner, VideoLayerFactory& layers, AudioSinkFactory* sound);
    // Stops and closes (the window's destruction).
    ~CVideoPanel();
    CVideoPanel(const CVideoPanel&) = delete;
    CVideoPanel& operator=(const CVideoPanel&) = delete;

    // Muted, an opened video's sound is switched off after a successful open.
    void SetMute(bool mute);

    void Open(VideoOpener open);
    void Play(long lParam);
    void Stop();
    void Close();
    void SetPosition(gfx::Point topLeft);

    bool IsVisible() const;
    // The counts of the current or last play.
    video::PlayCounts Counts() const;

private:
    void Run(std::function<void()> command);
    void DoOpen(const VideoOpener& open);
    void DoPlay(long lParam);
    void DoStop();
    void DoClose();
    void Release();

    OwnerThread& m_owner;
    VideoLayerFactory& m_layers;
    AudioSinkFactory* m_sound;
    mutable std::mutex m_mutex;   // guards everything below against commands that outlive an Invoke
    bool m_mute = false;
    gfx::Point m_position;
    std::unique_ptr<video::VideoFile> m_file;
    std::unique_ptr<video::FrameTarget> m_layer;
    std::unique_ptr<video::AudioSink> m_sink;
    std::unique_ptr<video::VideoPlayer> m_player;
};

} // namespace showsaver::media
