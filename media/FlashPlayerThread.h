#pragma once
// CFlashPlayerThread: one Flash movie of the show, played on a thread of its
// own with its own message loop into a window layer at the movie's
// rectangle (the host). The layer takes no input, so keys and the mouse
// still reach the saver's exit rules.
//
// The loop takes one message per new frame, the timer's 0x5375 when the
// movie is timed, and the quit message of Stop. Before anything else, for
// every message it takes, it tests the movie's end: a timed movie stops on
// 0x5375; any other stops when its last frame shows and it does not loop.
//
// The scene thread owns the object and joins its thread (Join, or the
// destructor) before letting go of it, so that neither side can reach the
// other after it is gone. Stop may be called from either thread; only its
// first call acts.

#include "gfx/Layers.h"
#include "platform/audio/Output.h"
#include "flash/player/FlashPlayer.h"
#include "platform/sys/Event.h"
#include "show/EmbeddedFile.h"
#include "show/ScenePlayer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace showsaver::registry { class Store; }

namespace showsaver::media {

// Our player is built in. A classes hive that names the control's server
// switches Flash off unless the file it names exists.
bool IsFlashInstalled(const registry::Store& store);

class CFlashPlayerThread {
public:
    static constexpr uint32_t kTimerId = 54321;
    static constexpr uint32_t kTimeUp = 0x5375;

    // `window` and `running` outlive the thread; `sound` may be null (no sound).
    CFlashPlayerThread(SaverWindowControl& window, sys::Event& running, int32_t timeLimit,
                       audio::OutputOwner* sound);
    ~CFlashPlayerThread();
    CFlashPlayerThread(const CFlashPlayerThread&) = delete;
    CFlashPlayerThread& operator=(const CFlashPlayerThread&) = delete;

    // Set before Start.
    gfx::Rect rectangle;
    bool loop = false;
    bool wait = false;
    bool timed = false;
    // The movie's bytes, let go of once the thread has loaded them.
    FileContents movie;

    // Starts the thread: it makes the host and starts the movie, or, when
    // either cannot be made, stops at once.
    void Start();
    // Ends the movie: closes the host, quits the loop, resets the running
    // event and sets Stopped().
    void Stop();
    // Set by the first Stop.
    sys::Event& Stopped() { return m_stopped; }
    // Waits for the thread to end; from any thread but its own.
    void Join();

    // The frame number and frame count the end test last read.
    int FrameNum() const { return m_frame.load(); }
    int TotalFrames() const { return m_total.load(); }

private:
    struct Message {
        uint32_t id;
    };
    enum : uint32_t { kNewFrame = 1, kQuit = 0x12 };

    void Run();
    bool CreateHost();
    void StartMovie();
    // The pre-translation test of every message the loop takes.
    void PreTranslate(const Message& message);
    void Post(uint32_t id);
    // The next message; frames and the timer come due while waiting.
    Message NextMessage();
    void ShowFrame();

    SaverWindowControl& m_window;
    sys::Event& m_running;
    const int32_t m_timeLimit;
    audio::OutputOwner* m_sound;

    std::atomic<bool> m_stopping {false};
    sys::Event m_stopped;
    std::thread m_thread;
    std::mutex m_joinMutex;                // the scene thread and the stopping one may both join

    std::mutex m_mutex;                    // guards the queue
    std::condition_variable m_wake;
    std::deque<Message> m_queue;

    // The host: the thread's own.
    flash::Player m_player;
    gfx::LayerHandle m_layer;
    std::unique_ptr<flash::SoundSink> m_sink;
    std::optional<std::chrono::steady_clock::time_point> m_timer;   // the next expiry
    std::atomic<int> m_frame {0};
    std::atomic<int> m_total {0};
};

} // namespace showsaver::media
