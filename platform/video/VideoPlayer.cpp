#include "platform/video/VideoPlayer.h"

#include <algorithm>
#include <array>
#include <vector>

namespace showsaver::video {

VideoPlayer::VideoPlayer(VideoFile& file, FrameTarget& target, AudioSink* sink)
    : m_file(file), m_target(target), m_sink(sink) {}

VideoPlayer::~VideoPlayer() { Stop(); }

void VideoPlayer::Play(bool repeat) {
    Stop();
    if (!m_file.Rewind()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = false;
    }
    m_shown = m_dropped = m_rounds = 0;
    m_soundQueued = 0;
    m_ended.Reset();
    m_thread = std::thread([this, repeat] { Run(repeat); });
}

void VideoPlayer::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_sink) m_sink->Clear();
}

bool VideoPlayer::WaitForEnd(const sys::Event& stop) {
    std::array<const sys::Event*, 2> events {&m_ended, &stop};
    for (;;) {
        const int which = sys::Event::WaitAny(events, std::chrono::hours(1));
        if (which >= 0) return which == 0;
    }
}

PlayCounts VideoPlayer::Counts() const { return {m_shown.load(), m_dropped.load(), m_rounds.load()}; }

void VideoPlayer::Run(bool repeat) {
    AudioSink* sink = m_file.HasSound() ? m_sink : nullptr;
    PlaybackClock clock(sink);
    PictureTimeline timeline(m_file.FramePeriod());
    while (PlayRound(timeline, clock)) {
        ++m_rounds;
        if (repeat && StartNextRound(timeline)) continue;
        // The play ends when the last picture's time is over and its sound is heard.
        WaitForClock(clock, std::max(timeline.End(), double(m_soundQueued) / AudioSink::kRate));
        break;
    }
    m_ended.Set();
}

// True when the round reached the end of the file with at least one picture
// shown or dropped; a file without pictures must not repeat for ever.
bool VideoPlayer::PlayRound(PictureTimeline& timeline, PlaybackClock& clock) {
    bool pictures = false;
    for (;;) {
        switch (m_file.Next()) {
        case VideoFile::Step::Picture:
            pictures = true;
            if (!ShowPicture(timeline, clock)) return false;
            break;
        case VideoFile::Step::Sound:
            if (!QueueSound(clock)) return false;
            break;
        case VideoFile::Step::End:
            return pictures && !StopRequested();
        }
    }
}

bool VideoPlayer::ShowPicture(PictureTimeline& timeline, PlaybackClock& clock) {
    const double time = timeline.Place(m_file.PictureTime());
    if (!WaitForClock(clock, time)) return false;
    if (clock.Now() - time > m_file.FramePeriod()) {
        ++m_dropped;
        return true;
    }
    const gfx::Size size = m_file.Size();
    // Straight into the target's pixels when it has room; else through our
    // own buffer.
    bool tried = false, written = false;
    m_target.WriteFrame(size.width, size.height, [&](uint32_t* xrgb, size_t stride) {
        tried = true;
        return written = m_file.ConvertPictureInto(xrgb, stride);
    });
    if (!tried && m_file.ConvertPicture()) {
        m_target.ShowFrame(m_file.Pixels(), size.width, size.height, m_file.Stride());
        written = true;
    }
    if (written) ++m_shown;
    return true;
}

// Sound is queued as it is decoded, but never more than kSoundAhead seconds
// ahead of the clock, so a file with far more sound than pictures cannot
// fill the sink's memory.
bool VideoPlayer::QueueSound(PlaybackClock& clock) {
    if (!m_sink || !m_file.HasSound()) return true;
    const auto sound = m_file.Sound();
    m_sink->Queue(sound.data(), sound.size() / 2);
    m_soundQueued += sound.size() / 2;
    return WaitForClock(clock, static_cast<double>(m_soundQueued) / AudioSink::kRate - kSoundAhead);
}

// The clock that follows the sound may step back a little when the sink
// reports, so the wait is taken again until the clock has got there.
bool VideoPlayer::WaitForClock(PlaybackClock& clock, double time) {
    while (clock.Now() < time - kEarlyEnough) {
        if (!SleepUntil(clock.WhenAt(time))) return false;
    }
    return !StopRequested();
}

// The next round starts where both the pictures and the sound of this one
// have ended; sound that ended early is padded with silence, so the clock
// that follows the sound stays in step with the pictures.
bool VideoPlayer::StartNextRound(PictureTimeline& timeline) {
    if (!m_file.Rewind()) return false;
    const double soundEnd = static_cast<double>(m_soundQueued) / AudioSink::kRate;
    const double start = std::max(timeline.End(), soundEnd);
    if (m_sink && m_file.HasSound()) QueueSilence(start - soundEnd);
    timeline.Restart(start);
    return true;
}

void VideoPlayer::QueueSilence(double seconds) {
    const auto frames = static_cast<size_t>(std::clamp(seconds, 0.0, 10.0) * AudioSink::kRate);
    if (frames == 0) return;
    const std::vector<int16_t> silence(frames * 2, 0);
    m_sink->Queue(silence.data(), frames);
    m_soundQueued += frames;
}

bool VideoPlayer::SleepUntil(PlaybackClock::Clock::time_point when) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, when, [this] { return m_stopRequested; });
}

bool VideoPlayer::StopRequested() {
    std::lock_guard lock(m_mutex);
    return m_stopRequested;
}

} // namespace showsaver::video
