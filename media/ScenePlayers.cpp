#include "media/ScenePlayers.h"

#include "show/EmbeddedFile.h"
#include "show/ScenePlayer.h"

#include "media/VideoWindow.h"

#include <optional>
#include <system_error>

namespace showsaver {
namespace {

// Writes a medium to a temporary file whose name ends in `extension`, as the
// players choose their decoder by it. Empty when it cannot be written (the
// message has been shown).
std::optional<std::filesystem::path> WriteMediaFile(std::span<const uint8_t> bytes, const char* extension,
                                                    ScenePlayer& player) {
    std::filesystem::path temporary;
    if (!EmbeddedFile::WriteTempFile(bytes, temporary, player.Messages())) return std::nullopt;
    std::filesystem::path file = temporary;
    file += extension;
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return std::nullopt;
    }
    return file;
}

void DeleteFile(const std::filesystem::path& file) {
    std::error_code ignored;
    if (!file.empty()) std::filesystem::remove(file, ignored);
}

} // namespace

ScenePlayers::ScenePlayers(audio::OutputOwner& output, NoticePoster notices)
    : m_mp3(output), m_wave(output), m_midi(output), m_videoSound(output),
      m_panel(m_panelOwner, m_videoLayers, &m_videoSound) {
    m_midi.SetCallbackWindow(std::move(notices));
}

ScenePlayers::~ScenePlayers() {
    m_panelOwner.GiveUp();
    m_mp3.Stop();
    m_wave.Stop();
    m_midi.Stop();
    m_midi.Close();
    m_midi.DeleteFile();
    DeleteFile(m_panel.FileName());
}

void ScenePlayers::StopForClose() {
    MediaControl::StopForClose();
    // Commands sent from now on may find the panel's thread gone.
    m_panelOwner.GiveUp();
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

// The layers take no input, so the keyboard stays with the screensaver
// window, where a video would otherwise have to hand it back.
void ScenePlayers::PlayVideo(const MediaPlay& play, ScenePlayer& player) {
    m_mp3.Stop();
    m_panel.Stop();
    m_panel.Close();
    DeleteFile(m_panel.FileName());
    auto file = WriteMediaFile(play.bytes, ".avi", player);
    if (!file) return;
    m_videoLayers.SetWindow(player.Window());
    const bool muted = player.Window().IsMuted();
    if (play.wait) {
        media::CVideoWindow window(m_videoLayers, &m_videoSound, player.StopEvent());
        window.SetMute(muted);
        window.Start(play.loop ? 1 : -1, play.area.left, play.area.top, *file);
        window.Finish();
        return;
    }
    m_panel.SetMute(muted);
    m_panel.Open(*file);
    m_panel.SetPosition({play.area.left, play.area.top});
    m_panel.Play(0);
}

void ScenePlayers::StopVideo() {
    m_panel.Stop();
    m_panel.Close();
    DeleteFile(m_panel.FileName());
}

void ScenePlayers::PlayMidi(const MediaPlay& play, ScenePlayer& player) {
    auto file = WriteMediaFile(play.bytes, ".mid", player);
    if (!file) return;
    m_midi.SetFileName(*file);
    m_midi.SetLoop(play.loop);
    if (play.wait) m_midi.playbackFinished.Reset();
    m_midi.Open(*file, false);
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
