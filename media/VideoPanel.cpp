#include "media/VideoPanel.h"

namespace showsaver::media {

CVideoPanel::CVideoPanel(OwnerThread& owner, VideoLayerFactory& layers, AudioSinkFactory* sound)
    : m_owner(owner), m_layers(layers), m_sound(sound) {}

CVideoPanel::~CVideoPanel() {
    std::lock_guard lock(m_mutex);
    Release();
}

void CVideoPanel::SetMute(bool mute) {
    std::lock_guard lock(m_mutex);
    m_mute = mute;
}

void CVideoPanel::Open(VideoOpener open) {
    Run([this, open = std::move(open)] { DoOpen(open); });
}

void CVideoPanel::Play(long lParam) {
    Run([this, lParam] { DoPlay(lParam); });
}

void CVideoPanel::Stop() {
    Run([this] { DoStop(); });
}

void CVideoPanel::Close() {
    Run([this] { DoClose(); });
}

void CVideoPanel::SetPosition(gfx::Point topLeft) {
    Run([this, topLeft] { m_position = topLeft; });
}

bool CVideoPanel::IsVisible() const {
    std::lock_guard lock(m_mutex);
    return m_layer != nullptr;
}

video::PlayCounts CVideoPanel::Counts() const {
    std::lock_guard lock(m_mutex);
    return m_player ? m_player->Counts() : video::PlayCounts {};
}

void CVideoPanel::Run(std::function<void()> command) {
    m_owner.Invoke([this, command = std::move(command)] {
        std::lock_guard lock(m_mutex);
        command();
    });
}

// A new open replaces the video that is open, if any.
void CVideoPanel::DoOpen(const VideoOpener& open) {
    Release();
    m_file = open();
    if (m_file && m_mute) m_file->SwitchSoundOff();
}

void CVideoPanel::DoPlay(long lParam) {
    if (!m_file) return;
    m_player.reset();
    m_sink.reset();
    m_layer = m_layers.CreateLayer(m_position, m_file->Size());
    if (!m_layer) return;
    if (m_sound && m_file->HasSound()) m_sink = m_sound->CreateSink();
    m_player = std::make_unique<video::VideoPlayer>(*m_file, *m_layer, m_sink.get());
    m_player->Play(lParam == 0);
}

void CVideoPanel::DoStop() {
    if (m_player) m_player->Stop();
}

void CVideoPanel::DoClose() {
    if (m_file) Release();
}

void CVideoPanel::Release() {
    m_player.reset();
    m_sink.reset();
    m_layer.reset();
    m_file.reset();
}

} // namespace showsaver::media
