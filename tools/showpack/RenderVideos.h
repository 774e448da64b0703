#pragma once
// The videos of a headless render, on the show's own clock: a background
// video is a layer whose picture is, at show time t, the video's picture of
// time t (counted from its play, round after round); a video the show waits
// for moves the show's clock by its length, and its layer is gone when the
// wait ends, as on screen. Every other medium plays nothing.

#include "gfx/Layers.h"
#include "platform/video/VideoFile.h"
#include "show/MediaControl.h"

#include <memory>
#include <optional>

namespace showsaver::showpack {

class RenderVideos final : public MediaControl {
public:
    void PlayWave(const MediaPlay&, ScenePlayer&) override {}
    void StopWave() override {}
    void PlayVideo(const MediaPlay& play, ScenePlayer& player) override;
    void StopVideo() override;
    void PlayMp3(const MediaPlay&, ScenePlayer&) override {}
    void StopMp3() override {}
    void PlayFlash(const MediaPlay&, ScenePlayer&) override {}
    void StopFlash() override {}
    void PlayMidi(const MediaPlay&, ScenePlayer&) override {}
    void StopMidi() override {}

    // Paints the background video's picture of the show's present time.
    // On the scene thread, before its screen is written.
    void CatchUp();

private:
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
};

} // namespace showsaver::showpack
