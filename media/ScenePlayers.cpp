#include "media/ScenePlayers.h"

#include "show/EmbeddedFile.h"
#include "platform/registry/Store.h"
#include "show/ScenePlayer.h"

#include "media/VideoWindow.h"

#include <malloc.h>

namespace showsaver {

ScenePlayers::ScenePlayers(audio::OutputOwner& output, NoticePoster notices)
    : m_mp3(output), m_wave(output), m_midi(output), m_videoSound(output),
      m_panel(m_panelOwner, m_videoLayers, &m_videoSound), m_output(output) {
    m_midi.SetCallbackWindow(std::move(notices));
}

ScenePlayers::~ScenePlayers() {
    m_panelOwner.GiveUp();
    StopAndJoin(TakeFlash());
    m_mp3.Stop();
    m_wave.Stop();
    m_midi.Stop();
    m_midi.Close();
}

void ScenePlayers::StopForClose() {
    StopMp3();
    StopVideo();
    StopAndJoin(TakeFlash());
    StopMidi();
    // Commands sent from now on may find the panel's thread gone.
    m_panelOwner.GiveUp();
}

void ScenePlayers::EndShow() {
    StopWave();
    StopMp3();
    StopMidi();
    StopVideo();
    // A movie started with wait is let play to its own end.
    std::shared_ptr<media::CFlashPlayerThread> flash;
    {
        std::lock_guard lock(m_flashMutex);
        flash = m_flash;
    }
    if (flash && flash->wait) flash->Stopped().Wait();
    StopAndJoin(TakeFlash());
}

std::shared_ptr<media::CFlashPlayerThread> ScenePlayers::TakeFlash() {
    std::lock_guard lock(m_flashMutex);
    return std::move(m_flash);
}

void ScenePlayers::StopAndJoin(const std::shared_ptr<media::CFlashPlayerThread>& flash) {
    if (!flash) return;
    flash->Stop();
    flash->Join();
}

void ScenePlayers::PlayFlash(const MediaPlay& play, ScenePlayer& player) {
    if (!media::IsFlashInstalled(registry::Store(registry::Store::DefaultDirectory()))) return;
    // Our player reads the movie from the show's bytes: no copy is written.
    auto contents = play.Contents();
    if (!contents) return;
    if (m_flashRunning.IsSet()) StopAndJoin(TakeFlash());
    else TakeFlash();   // ended by itself; its thread is joined as it goes
    auto flash = std::make_shared<media::CFlashPlayerThread>(player.Window(), m_flashRunning, play.timeLimit, &m_output);
    flash->rectangle = play.area;
    flash->loop = play.loop;
    flash->movie = std::move(*contents);
    flash->wait = play.wait;
    flash->timed = play.timeLimit != -1;
    m_flashRunning.Set();
    flash->Start();
    {
        std::lock_guard lock(m_flashMutex);
        m_flash = flash;
    }
    if (!play.wait) return;
    // The stopped event is set together with the running event's reset.
    if (m_flashRunning.IsSet()) player.WaitFor(flash->Stopped());
}

void ScenePlayers::StopFlash() {
    std::lock_guard lock(m_flashMutex);
    if (m_flash && m_flashRunning.IsSet()) m_flash->Stop();
}

void ScenePlayers::PlayWave(const MediaPlay& play, ScenePlayer& player) {
    m_mp3.Stop();
    if (player.Window().IsMuted()) return;
    m_wave.Stop();
    // A sound that cannot be read from the show's file any more is not
    // played, without a word, as when its player fails.
    auto contents = play.Contents();
    if (!contents) return;
    m_waveBytes = std::move(contents->owner);
    if (play.wait)
        m_wave.PlaySync(contents->bytes, player.StopEvent());
    else
        m_wave.PlayAsync(contents->bytes, play.loop);
}

void ScenePlayers::StopWave() { m_wave.Stop(); }

void ScenePlayers::PlayMp3(const MediaPlay& play, ScenePlayer& player) {
    if (player.Window().IsMuted()) return;
    m_wave.Stop();
    m_mp3.Stop();
    auto contents = play.Contents();
    if (!contents) return;
    m_mp3Bytes = std::move(contents->owner);
    m_mp3.Start(contents->bytes.data(), static_cast<int32_t>(contents->bytes.size()), play.wait, play.loop,
                player.StopEvent());
}

void ScenePlayers::StopMp3() { m_mp3.Stop(); }

// The layers take no input, so the keyboard stays with the screensaver
// window, where a video would otherwise have to hand it back.
void ScenePlayers::PlayVideo(const MediaPlay& play, ScenePlayer& player) {
    m_mp3.Stop();
    m_panel.Stop();
    m_panel.Close();
    // A video maps its decoder's libraries, buffers and threads: the pages
    // the show freed so far (and the last video's) go back to the system
    // first rather than stay beside them.
    malloc_trim(0);
    if (!play.file) return;
    auto open = media::EmbeddedVideo(*play.file);
    m_videoLayers.SetWindow(player.Window());
    const bool muted = player.Window().IsMuted();
    if (play.wait) {
        media::CVideoWindow window(m_videoLayers, &m_videoSound, player.StopEvent());
        window.SetMute(muted);
        window.Start(play.loop ? 1 : -1, play.area.left, play.area.top, open);
        window.Finish();
        return;
    }
    m_panel.SetMute(muted);
    m_panel.Open(std::move(open));
    m_panel.SetPosition({play.area.left, play.area.top});
    m_panel.Play(0);
}

void ScenePlayers::StopVideo() {
    m_panel.Stop();
    m_panel.Close();
}

void ScenePlayers::PlayMidi(const MediaPlay& play, ScenePlayer& player) {
    // The synthesizer reads the file from memory: no copy is written.
    auto contents = play.Contents();
    if (!contents) return;
    m_midi.SetLoop(play.loop);
    if (play.wait) m_midi.playbackFinished.Reset();
    m_midi.Open(std::move(*contents), false);
    m_midi.Play();
    if (!play.wait) return;
    player.WaitFor(m_midi.playbackFinished);
    m_midi.ReleaseMusic();
}

void ScenePlayers::StopMidi() {
    m_midi.Stop();
    m_midi.ReleaseMusic();
}

} // namespace showsaver
