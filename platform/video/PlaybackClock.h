#pragma once
// The two clocks of a playing video: the presentation times of its pictures,
// made from the file's timestamps, and the clock they are shown against.

#include "platform/video/VideoOutput.h"

#include <chrono>
#include <optional>

namespace showsaver::video {

// Turns the timestamps of a video's pictures into presentation times that
// always go forward, in seconds from the first picture. A missing timestamp,
// one that goes back (or forward by less than half a frame period), or one
// that leaps more than kMaxLeap ahead, is replaced
// by the previous time plus one frame period, so a bad file can neither hang
// the player on a far-off time nor make it show pictures out of order.
class PictureTimeline {
public:
    static constexpr double kMaxLeap = 5.0;

    explicit PictureTimeline(double framePeriod) : m_period(framePeriod) {}

    double Place(std::optional<double> stamp);
    // Starts the next round of a repeating video: its first picture comes one
    // frame period after the last one placed, or at `notBefore` if that is later.
    void Restart(double notBefore);
    // When the last picture placed ends.
    double End() const { return m_placed ? m_last + m_period : m_roundStart; }

private:
    double m_period;
    double m_roundStart = 0;
    std::optional<double> m_origin;   // the first timestamp of this round
    double m_last = 0;
    bool m_placed = false;
};

// Seconds since playing began. With a sink it follows the sound the sink has
// played, and runs on the monotonic clock between the sink's steps and after
// the sound has ended; without one it is the monotonic clock alone.
class PlaybackClock {
public:
    using Clock = std::chrono::steady_clock;

    explicit PlaybackClock(const AudioSink* sink);
    double Now();
    // The monotonic instant at which Now() will reach `time`, if nothing changes.
    Clock::time_point WhenAt(double time);

private:
    const AudioSink* m_sink;
    uint64_t m_playedAtStart = 0;
    uint64_t m_played = 0;
    double m_anchor = 0;
    Clock::time_point m_anchorWall;
};

} // namespace showsaver::video
