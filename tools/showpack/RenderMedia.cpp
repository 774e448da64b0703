#include "tools/showpack/RenderMedia.h"

#include "media/VideoHost.h"
#include "show/ScenePlayer.h"
#include "transitions/TransitionEffect.h"

#include <algorithm>
#include <cmath>

namespace showsaver::showpack {

void RenderMedia::PlayVideo(const MediaPlay& play, ScenePlayer& player) {
    StopVideo();
    if (!play.file) return;
    m_file = media::EmbeddedVideo(*play.file)();
    if (!m_file) return;
    m_file->SwitchSoundOff();
    m_player = &player;
    if (play.wait) {
        // The show waits for one play; the layer goes with its end.
        const double length = Length();
        m_file.reset();
        player.Sleep(static_cast<uint32_t>(std::lround(length * 1000)));
        return;
    }
    const gfx::Size size = m_file->Size();
    m_layer = player.Window().AddLayer(
        {play.area.left, play.area.top, play.area.left + size.width, play.area.top + size.height});
    if (!m_layer) {
        m_file.reset();
        return;
    }
    m_layer->SetVisible(true);
    m_started = player.Pacer().TickCount();
    CatchUp();
}

void RenderMedia::StopVideo() {
    m_layer.Reset();
    m_file.reset();
    m_length = -1;
    m_shown = -1;
    m_pending.reset();
    m_picture = 0;
}

void RenderMedia::CatchUp() {
    CatchUpVideo();
    CatchUpFlash();
}

void RenderMedia::PlayFlash(const MediaPlay& play, ScenePlayer& player) {
    StopFlash();
    auto movie = std::make_unique<flash::Player>();
    std::string error;
    auto contents = play.Contents();
    if (!contents || !movie->LoadBytes(contents->bytes, error)) return;
    if (play.wait) {
        // The show waits for the time limit, or for the last frame.
        const double rate = movie->FrameRate() > 0 ? movie->FrameRate() : 12;
        const double ms = play.timeLimit != -1 ? play.timeLimit : std::max(0, movie->TotalFrames() - 1) * 1000.0 / rate;
        player.Sleep(static_cast<uint32_t>(std::lround(ms)));
        return;
    }
    m_movieLayer = player.Window().AddLayer(play.area);
    if (!m_movieLayer) return;
    movie->SetLoop(play.loop);
    m_movie = std::move(movie);
    m_movieLoops = play.loop;
    m_movieLimit = play.timeLimit;
    m_movieStarted = player.Pacer().TickCount();
    m_movieSteps = 0;
    m_player = &player;
    m_movieLayer->SetVisible(true);
    CatchUpFlash();
}

void RenderMedia::StopFlash() {
    m_movieLayer.Reset();
    m_movie.reset();
}

void RenderMedia::CatchUpFlash() {
    // Steps beyond this many frames at once are skipped, as a late player
    // drops the time it missed.
    constexpr int64_t kMaxSteps = 100'000;
    if (!m_movie || !m_player) return;
    const uint32_t elapsed = m_player->Pacer().TickCount() - m_movieStarted;
    if (m_movieLimit > 0 && elapsed >= static_cast<uint32_t>(m_movieLimit)) return StopFlash();
    const double rate = m_movie->FrameRate() > 0 ? m_movie->FrameRate() : 12;
    const auto due = static_cast<int64_t>(elapsed * rate / 1000);
    for (int64_t steps = 0; m_movieSteps < due && steps < kMaxSteps; ++steps, ++m_movieSteps) m_movie->Tick();
    m_movieSteps = std::max(m_movieSteps, due);
    if (m_movieLimit == -1 && !m_movieLoops && m_movie->CurrentFrame() == m_movie->TotalFrames() - 1)
        return StopFlash();
    m_movieLayer->Paint([this](gfx::Surface& pixels) { m_movie->Paint(pixels); });
}

void RenderMedia::CatchUpVideo() {
    if (!m_file || !m_layer || !m_player) return;
    const double length = Length();
    double at = (m_player->Pacer().TickCount() - m_started) / 1000.0;
    if (length > 0) at = std::fmod(at, length);
    if (at < m_shown) {
        if (!m_file->Rewind()) return;
        m_shown = -1;
        m_pending.reset();
        m_picture = 0;
    }
    if (!DecodeUpTo(at)) return;
    const uint32_t* pixels = m_file->Pixels();
    const size_t stride = m_file->Stride();
    m_layer->Paint([&](gfx::Surface& layer) {
        const auto* row = reinterpret_cast<const uint8_t*>(pixels);
        for (int y = 0; y < layer.Height(); ++y, row += stride)
            std::copy_n(reinterpret_cast<const uint32_t*>(row), layer.Width(), layer.Row(y));
    });
}

// The picture that shows at `seconds` is the last one that starts there or
// before. The first one after it stays decoded, not yet converted, for a
// later time.
bool RenderMedia::DecodeUpTo(double seconds) {
    for (;;) {
        if (m_pending) {
            if (*m_pending > seconds) return m_shown >= 0;
            if (m_file->ConvertPicture()) m_shown = *m_pending;
            m_pending.reset();
        }
        const auto step = m_file->Next();
        if (step == video::VideoFile::Step::End) return m_shown >= 0;
        if (step == video::VideoFile::Step::Picture)
            m_pending = m_file->PictureTime().value_or(m_picture * m_file->FramePeriod()), ++m_picture;
    }
}

double RenderMedia::Length() {
    if (m_length >= 0) return m_length;
    double last = -1;
    int pictures = 0;
    while (true) {
        const auto step = m_file->Next();
        if (step == video::VideoFile::Step::End) break;
        if (step != video::VideoFile::Step::Picture) continue;
        last = std::max(last, m_file->PictureTime().value_or(pictures * m_file->FramePeriod()));
        ++pictures;
    }
    m_length = pictures ? last + m_file->FramePeriod() : 0;
    m_file->Rewind();
    m_shown = -1;
    m_pending.reset();
    m_picture = 0;
    return m_length;
}

} // namespace showsaver::showpack
