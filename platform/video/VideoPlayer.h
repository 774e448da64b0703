#pragma once
// Plays an opened video on a thread of its own: each picture goes to the
// frame target at its own time, the sound to the audio sink. Pictures are
// paced against the sound the sink has played when there is a sink and the
// video has sound, and against the monotonic clock otherwise. A picture that
// comes a whole frame period late is dropped, not queued.
//
// Every wait blocks on a condition variable that Stop() signals, so a stop
// ends the play at once.

#include "platform/sys/Event.h"
#include "platform/video/PlaybackClock.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoOutput.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace showsaver::video {

struct PlayCounts {
    uint64_t shown = 0;
    uint64_t dropped = 0;
    uint64_t rounds = 0;   // plays of the whole video that reached its end
};

class VideoPlayer {
public:
    static constexpr double kSoundAhead = 1.0;      // seconds of sound queued ahead of the clock at most
    static constexpr double kEarlyEnough = 0.001;   // a picture this close to its time is shown

    // The file, the target and the sink (null for none) are not owned and
    // must outlive the player.
    VideoPlayer(VideoFile& file, FrameTarget& target, AudioSink* sink);
    ~VideoPlayer();
    VideoPlayer(const VideoPlayer&) = delete;
    VideoPlayer& operator=(const VideoPlayer&) = delete;

    // Plays from the start, once or until stopped; a play in progress is stopped first.
    void Play(bool repeat);
    // Ends the play at once and drops its queued sound. Does nothing when idle.
    void Stop();
    // Set when a play has ended, by itself or by Stop; reset by Play.
    sys::Event& Ended() { return m_ended; }
    // Blocks until the play has ended (true) or `stop` is set (false).
    bool WaitForEnd(const sys::Event& stop);
    PlayCounts Counts() const;

private:
    void Run(bool repeat);
    bool PlayRound(PictureTimeline& timeline, PlaybackClock& clock);
    bool ShowPicture(PictureTimeline& timeline, PlaybackClock& clock);
    bool QueueSound(PlaybackClock& clock);
    bool WaitForClock(PlaybackClock& clock, double time);
    bool StartNextRound(PictureTimeline& timeline);
    void QueueSilence(double seconds);
    bool SleepUntil(PlaybackClock::Clock::time_point when);
    bool StopRequested();

    VideoFile& m_file;
    FrameTarget& m_target;
    AudioSink* m_sink;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopRequested = false;    // under m_mutex
    sys::Event m_ended {true};
    std::atomic<uint64_t> m_shown {0};
    std::atomic<uint64_t> m_dropped {0};
    std::atomic<uint64_t> m_rounds {0};
    uint64_t m_soundQueued = 0;      // stereo frames, player thread only
};

} // namespace showsaver::video
