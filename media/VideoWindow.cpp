#include "media/VideoWindow.h"

#include <system_error>

namespace showsaver::media {

CVideoWindow::CVideoWindow(VideoLayerFactory& layers, AudioSinkFactory* sound, const sys::Event& stop)
    : m_layers(layers), m_sound(sound), m_stop(stop) {}

CVideoWindow::~CVideoWindow() {
    Close();
    std::error_code ignored;
    if (!m_fileName.empty()) std::filesystem::remove(m_fileName, ignored);
}

bool CVideoWindow::Start(int repeat, int x, int y, const std::filesystem::path& file) {
    Close();
    m_fileName = file;
    m_file = video::VideoFile::Open(file);
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

void CVideoWindow::Finish() {
    Close();
    std::error_code ignored;
    if (!m_fileName.empty()) std::filesystem::remove(m_fileName, ignored);
}

void CVideoWindow::Close() {
    m_player.reset();
    m_sink.reset();
    m_layer.reset();
    m_file.reset();
}

} // namespace showsaver::media
