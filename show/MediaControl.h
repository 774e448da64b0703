#pragma once
// The seam between the show and its media players. Items hand a player
// show-level data (the file and its name, the rectangle, wait, loop,
// the time limit); the scene thread owns one player per media type and the
// engine's composition decides which players those are.

#include "gfx/Geometry.h"
#include "show/EmbeddedFile.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace showsaver {

class ScenePlayer;

// The media type stored with a media file.
enum class MediaType : int32_t { Wave = 0, Video = 1, Mp3 = 2, Flash = 3, Midi = 4 };

// One play request.
struct MediaPlay {
    const EmbeddedFile* file = nullptr;   // the media file; its item keeps it for the whole show
    std::string_view name;            // the file's display name
    gfx::Rect area;                   // left, top, right, bottom on the screen
    bool wait = false;                // return only when the media has ended or the show stops
    bool loop = false;                // without wait: play it again and again
    int32_t timeLimit = -1;           // Flash movies: milliseconds, or -1 for none

    // The file's bytes, valid while the result lives; nothing when there is
    // no file or it cannot be read (EmbeddedFile::Contents).
    std::optional<FileContents> Contents() const { return file ? file->Contents() : std::nullopt; }
};

// The players, one per media type. Play calls come from the scene thread,
// which `player` is; a play with wait blocks it through ScenePlayer::WaitFor,
// so that a stop request ends the wait at once. Stop calls come from the
// scene thread or, when the show is being stopped, from the window's.
class MediaControl {
public:
    virtual ~MediaControl() = default;

    virtual void PlayWave(const MediaPlay& play, ScenePlayer& player) = 0;
    virtual void StopWave() = 0;
    virtual void PlayVideo(const MediaPlay& play, ScenePlayer& player) = 0;
    virtual void StopVideo() = 0;
    virtual void PlayMp3(const MediaPlay& play, ScenePlayer& player) = 0;
    virtual void StopMp3() = 0;
    virtual void PlayFlash(const MediaPlay& play, ScenePlayer& player) = 0;
    virtual void StopFlash() = 0;
    virtual void PlayMidi(const MediaPlay& play, ScenePlayer& player) = 0;
    virtual void StopMidi() = 0;

    // Before the stop event is set, so that every wait for a medium ends:
    // MP3, video, Flash, MIDI.
    virtual void StopForClose() {
        StopMp3();
        StopVideo();
        StopFlash();
        StopMidi();
    }
    // The end of the show, after its last item or a stop request: wave,
    // MP3, MIDI, video, Flash (a player may first let a movie that was
    // started with wait play to its end).
    virtual void EndShow() {
        StopWave();
        StopMp3();
        StopMidi();
        StopVideo();
        StopFlash();
    }
};

// Players for runs without media (headless rendering, the speed
// calibration): every play and stop does nothing.
class NoMediaPlayers final : public MediaControl {
public:
    void PlayWave(const MediaPlay&, ScenePlayer&) override {}
    void StopWave() override {}
    void PlayVideo(const MediaPlay&, ScenePlayer&) override {}
    void StopVideo() override {}
    void PlayMp3(const MediaPlay&, ScenePlayer&) override {}
    void StopMp3() override {}
    void PlayFlash(const MediaPlay&, ScenePlayer&) override {}
    void StopFlash() override {}
    void PlayMidi(const MediaPlay&, ScenePlayer&) override {}
    void StopMidi() override {}
};

} // namespace showsaver
