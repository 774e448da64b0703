#include "platform/video/PlaybackClock.h"

#include <algorithm>

namespace showsaver::video {

double PictureTimeline::Place(std::optional<double> stamp) {
    const double next = End();
    double time = next;
    if (stamp) {
        if (!m_origin) m_origin = *stamp - (next - m_roundStart);
        const double fromStamp = m_roundStart + (*stamp - *m_origin);
        // Less than half a period after the last picture counts as the same time.
        const bool forward = !m_placed || fromStamp > m_last + m_period / 2;
        if (forward && fromStamp >= m_roundStart && fromStamp <= next + kMaxLeap) time = fromStamp;
    }
    m_last = time;
    m_placed = true;
    return time;
}

void PictureTimeline::Restart(double notBefore) {
    m_roundStart = std::max(End(), notBefore);
    m_origin.reset();
    m_placed = false;
}

PlaybackClock::PlaybackClock(const AudioSink* sink)
    : m_sink(sink), m_anchorWall(Clock::now()) {
    if (m_sink) m_playedAtStart = m_sink->PlayedFrames();
}

double PlaybackClock::Now() {
    const auto wall = Clock::now();
    if (m_sink) {
        const uint64_t played = m_sink->PlayedFrames() - m_playedAtStart;
        if (played != m_played) {
            m_played = played;
            m_anchor = static_cast<double>(played) / AudioSink::kRate;
            m_anchorWall = wall;
        }
    }
    return m_anchor + std::chrono::duration<double>(wall - m_anchorWall).count();
}

PlaybackClock::Clock::time_point PlaybackClock::WhenAt(double time) {
    const double ahead = std::clamp(time - Now(), 0.0, 10.0);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(ahead));
}

} // namespace showsaver::video
