#pragma once
// The scene thread's media players: wave sounds, MP3 music and MIDI music on
// the process's one sound output, and videos in layers of the screensaver
// window. A play follows the media item's rules: a wave stops the MP3 music
// first and is skipped when muted, MP3 music is skipped when muted, MIDI
// plays whatever the mute setting, a video stops the MP3 music and the
// background video and plays without sound when muted, a Flash movie
// replaces the one that runs and plays on a thread of its own.

#include "media/FlashPlayerThread.h"
#include "media/MidiPlayer.h"
#include "media/Mp3Player.h"
#include "media/VideoOutputs.h"
#include "media/VideoPanel.h"
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
    void PlayVideo(const MediaPlay& play, ScenePlayer& player) override;
    void StopVideo() override;
    void PlayMp3(const MediaPlay& play, ScenePlayer& player) override;
    void StopMp3() override;
    void PlayFlash(const MediaPlay& play, ScenePlayer& player) override;
    void StopFlash() override;
    void PlayMidi(const MediaPlay& play, ScenePlayer& player) override;
    void StopMidi() override;
    void StopForClose() override;
    void EndShow() override;

    // Set while a Flash movie runs.
    sys::Event& FlashRunning() { return m_flashRunning; }

private:
    // Takes the Flash player away from the scene (under its lock), so that
    // only one side ever stops and joins it.
    std::shared_ptr<media::CFlashPlayerThread> TakeFlash();
    static void StopAndJoin(const std::shared_ptr<media::CFlashPlayerThread>& flash);

    // The bytes the sound players read while they play, kept from one play
    // of their kind to the next (the player is stopped in between) and past
    // the players' own end.
    std::shared_ptr<const uint8_t> m_waveBytes;
    std::shared_ptr<const uint8_t> m_mp3Bytes;
    CMP3Controller m_mp3;
    audio::WaveSound m_wave;
    CMidiPlayer m_midi;
    media::WindowVideoLayers m_videoLayers;
    media::MixerSoundSinks m_videoSound;
    // The panel goes after its owner thread, which must run none of its
    // commands once it is gone.
    media::CVideoPanel m_panel;
    media::PanelOwnerThread m_panelOwner;
    audio::OutputOwner& m_output;
    sys::Event m_flashRunning;
    // The scene thread and the stopping thread each hold the movie's player
    // while they use it; the last to let go joins its thread.
    std::mutex m_flashMutex;                          // guards m_flash
    std::shared_ptr<media::CFlashPlayerThread> m_flash;
};

} // namespace showsaver
