#pragma once
// The scene thread's media players: wave sounds, MP3 music and MIDI music on
// the process's one sound output. A play follows the media item's rules:
// a wave stops the MP3 music first and is skipped when muted, MP3 music is
// skipped when muted, MIDI plays whatever the mute setting. Videos and Flash
// movies play nothing yet.

#include "media/MidiPlayer.h"
#include "media/Mp3Player.h"
#include "platform/audio/WaveSound.h"
#include "show/MediaControl.h"

namespace showsaver {

class ScenePlayers final : public MediaControl {
public:
    // `output` outlives the players. MIDI completion notices are handed to
    // `notices`, which runs them on the window's thread.
    ScenePlayers(audio::OutputOwner& output, NoticePoster notices);
    ~ScenePlayers() override;

    void PlayWave(const MediaPlay& play, ScenePlayer& player) override;
    void StopWave() override;
    void PlayVideo(const MediaPlay&, ScenePlayer&) override {}
    void StopVideo() override {}
    void PlayMp3(const MediaPlay& play, ScenePlayer& player) override;
    void StopMp3() override;
    void PlayFlash(const MediaPlay&, ScenePlayer&) override {}
    void StopFlash() override {}
    void PlayMidi(const MediaPlay& play, ScenePlayer& player) override;
    void StopMidi() override;

private:
    CMP3Controller m_mp3;
    audio::WaveSound m_wave;
    CMidiPlayer m_midi;
};

} // namespace showsaver
