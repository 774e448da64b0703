#include "media/ScenePlayers.h"

#include "show/EmbeddedFile.h"
#include "show/ScenePlayer.h"

#include <system_error>

namespace showsaver {

ScenePlayers::ScenePlayers(audio::OutputOwner& output, NoticePoster notices)
    : m_mp3(output), m_wave(output), m_midi(output) {
    m_midi.SetCallbackWindow(std::move(notices));
}

ScenePlayers::~ScenePlayers() {
    m_mp3.Stop();
    m_wave.Stop();
    m_midi.Stop();
    m_midi.Close();
    m_midi.DeleteFile();
}

void ScenePlayers::PlayWave(const MediaPlay& play, ScenePlayer& player) {
    m_mp3.Stop();
    if (player.Window().IsMuted()) return;
    m_wave.Stop();
    if (play.wait)
        m_wave.PlaySync(play.bytes, player.StopEvent());
    else
        m_wave.PlayAsync(play.bytes, play.loop);
}

void ScenePlayers::StopWave() { m_wave.Stop(); }

void ScenePlayers::PlayMp3(const MediaPlay& play, ScenePlayer& player) {
    if (player.Window().IsMuted()) return;
    m_wave.Stop();
    m_mp3.Stop();
    m_mp3.Start(play.bytes.data(), static_cast<int32_t>(play.bytes.size()), play.wait, play.loop,
                player.StopEvent());
}

void ScenePlayers::StopMp3() { m_mp3.Stop(); }

void ScenePlayers::PlayMidi(const MediaPlay& play, ScenePlayer& player) {
    std::filesystem::path temporary;
    if (!EmbeddedFile::WriteTempFile(play.bytes, temporary, player.Messages())) return;
    // The sequencer is chosen by the name: the temporary file with ".mid"
    // after it.
    std::filesystem::path file = temporary;
    file += ".mid";
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return;
    }
    m_midi.SetFileName(file);
    m_midi.SetLoop(play.loop);
    if (play.wait) m_midi.playbackFinished.Reset();
    m_midi.Open(file, false);
    m_midi.Play();
    if (!play.wait) return;
    player.WaitFor(m_midi.playbackFinished);
    m_midi.DeleteFile();
}

void ScenePlayers::StopMidi() {
    m_midi.Stop();
    m_midi.DeleteFile();
}

} // namespace showsaver
