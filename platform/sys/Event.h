#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace showsaver::sys {

// A manual-reset event: once Set, it stays signalled (and releases every waiter)
// until Reset. Safe to use from any number of threads.
class Event {
public:
    explicit Event(bool signalled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();

    // Zero-time-out test: a single atomic load, no lock and no system call, so it
    // may be polled in tight loops (the transitions' stop checks do).
    bool IsSet() const noexcept { return m_signalled.load(std::memory_order_acquire); }

    // True when the event is signalled within the time-out. A Set that happens while
    // waiting is seen even if a Reset follows at once. Negative time-outs count as zero.
    bool Wait(std::chrono::milliseconds timeout);
    void Wait();
    // True when the event is signalled before `deadline` passes.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);

    // Waits until any of the events is signalled and returns its index (the lowest one when
    // several already are), or -1 on time-out. Null entries are never signalled; an
    // empty list times out at once.
    static int WaitAny(std::span<const Event* const> events, std::chrono::milliseconds timeout);

private:
    class Waiter;
    struct Registration {
        Waiter* waiter;
        int index;
    };

    // Waiting does not change an event, so a waiter may hold it const.
    void Register(Waiter& waiter, int index) const;
    void Unregister(const Waiter& waiter) const;

    std::atomic<bool> m_signalled;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_setCount = 0;               // under m_mutex: lets Wait notice a Set followed by Reset
    mutable std::vector<Registration> m_waiters;   // under m_mutex: the WaitAny calls waiting on this event
};

}
