#include "media/VideoWindow.h"

namespace showsaver::media {

CVideoWindow::CVideoWindow(VideoLayerFactory& layers, AudioSinkFactory* sound, const sys::Event& stop)
    : m_layers(layers), m_sound(sound), m_stop(stop) {}

CVideoWindow::~CVideoWindow() { Close(); }

bool CVideoWindow::Start(int repeat, int x, int y, const VideoOpener& open) {
    Close();
    m_file = open();
    if (!m_file) return false;
    m_size = m_file->Size();
    if (m_mute) m_file->SwitchSoundOff();
    m_layer = m_layers.CreateLayer({x, y}, m_size);
    if (!m_layer) return false;
    if (m_sound && m_file->HasSound()) m_sink = m_sound->CreateSink();
    m_player = std::make_unique<video::VideoPlayer>(*m_file, *m_layer, m_sink.get());
    m_player->Play(repeat != -1);
    m_player->WaitForEnd(m_stop);
    return true;
}

void CVideoWindow::Finish() { Close(); }

void CVideoWindow::Close() {
    m_player.reset();
    m_sink.reset();
    m_layer.reset();
    m_file.reset();
}

} // namespace showsaver::media
