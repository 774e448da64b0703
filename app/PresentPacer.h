#pragma once
// Paces the presents of a screen to the display: Schedule, from any thread,
// arms one GLib timer unless one is armed, due a display frame (16 ms) after
// the last present; when it fires, `present` runs on the loop's thread. So a
// screen is shown at most once per frame, and nothing wakes while nothing
// changes.

#include <chrono>
#include <functional>
#include <mutex>

namespace showsaver {

class PresentPacer {
public:
    static constexpr std::chrono::milliseconds kInterval {16};

    explicit PresentPacer(std::function<void()> present) : m_present(std::move(present)) {}
    ~PresentPacer() { Cancel(); }
    PresentPacer(const PresentPacer&) = delete;
    PresentPacer& operator=(const PresentPacer&) = delete;

    void Schedule();
    // Disarms the timer; a present that was due does not run.
    void Cancel();

private:
    static int OnTick(void* self);

    std::function<void()> m_present;
    std::mutex m_mutex;
    unsigned m_timer = 0;                                   // under m_mutex
    std::chrono::steady_clock::time_point m_last;           // under m_mutex
};

} // namespace showsaver
