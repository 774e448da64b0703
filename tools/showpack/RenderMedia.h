#pragma once
// The videos and Flash movies of a headless render, on the show's own clock.
// A background video is a layer whose picture is, at show time t, the
// video's picture of time t (counted from its play, round after round). A
// Flash movie shows the frame its rate gives at time t, and goes when it
// ends as on screen: at its last frame unless it loops, or at its time
// limit. A video or movie the show waits for moves the show's clock by its
// length (a timed movie's by its limit), and its layer is gone when the wait
// ends. Sounds play nothing.

#include "gfx/Layers.h"
#include "flash/player/FlashPlayer.h"
#include "platform/video/VideoFile.h"
#include "show/MediaControl.h"

#include <memory>
#include <optional>

namespace showsaver::showpack {

class RenderMedia final : public MediaControl {
public:
    void PlayWave(const MediaPlay&, ScenePlayer&) override {}
    void StopWave() override {}
    void PlayVideo(const MediaPlay& play, ScenePlayer& player) override;
    void StopVideo() override;
    void PlayMp3(const MediaPlay&, ScenePlayer&) override {}
    void StopMp3() override {}
    void PlayFlash(const MediaPlay& play, ScenePlayer& player) override;
    void StopFlash() override;
    void PlayMidi(const MediaPlay&, ScenePlayer&) override {}
    void StopMidi() override {}

    // Paints the background video's picture and the movie's frame of the
    // show's present time.
    // On the scene thread, before its screen is written.
    void CatchUp();
    // The length of the open video in seconds; 0 when none is open.
    double VideoLength() { return m_file ? Length() : 0; }

private:
    void CatchUpVideo();
    void CatchUpFlash();
    // Decodes forward to the last picture at or before `seconds` into the
    // video. False when the video has no picture there.
    bool DecodeUpTo(double seconds);
    // The length of the open video in seconds, read once by decoding it.
    double Length();

    std::unique_ptr<video::VideoFile> m_file;
    gfx::LayerHandle m_layer;
    ScenePlayer* m_player = nullptr;
    uint32_t m_started = 0;        // the show's tick count at the play
    double m_length = -1;          // seconds; -1 until measured
    double m_shown = -1;           // time of the picture converted last; -1 for none
    std::optional<double> m_pending;   // time of a picture decoded but not yet due
    int m_picture = 0;             // pictures decoded since the last rewind

    std::unique_ptr<flash::Player> m_movie;
    gfx::LayerHandle m_movieLayer;
    uint32_t m_movieStarted = 0;   // the show's tick count at the play
    int64_t m_movieSteps = 0;      // frames stepped since
    bool m_movieLoops = false;
    int32_t m_movieLimit = -1;     // milliseconds, or -1
};

} // namespace showsaver::showpack
