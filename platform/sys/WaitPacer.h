#pragma once
// Waits of a given length that end at once on a stop event and never spin a
// core. Waits add up into a debt, which is slept off in one piece on the
// stop event once it reaches a display frame: drawing faster than the
// screen shows it buys nothing, and every wake costs. The sleep aims by how
// late sleeps usually wake; whatever it wakes early or late stays owed or is
// given back by the next waits. Nothing is polled. Over a run the waits take
// the time asked for, whatever their size.

#include "platform/sys/Event.h"

#include <chrono>

namespace showsaver::sys {

class WaitPacer {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::nanoseconds;

    // Debts below this (a display frame) are kept, not slept.
    static constexpr Duration kSmallestSleep = std::chrono::milliseconds(16);
    // The most a sleep aims before its deadline.
    static constexpr Duration kLongestLead = std::chrono::microseconds(500);

    explicit WaitPacer(Event& stop) : m_stop(stop) {}
    virtual ~WaitPacer() = default;

    // Waits `length` (plus what earlier waits still owe); returns at once
    // when the stop event is set.
    void Wait(Duration length);

    // What earlier waits still owe (negative: overslept time to give back).
    Duration Debt() const { return m_debt; }

protected:
    // The clock and the sleep; a test replaces them to follow the steps.
    virtual Clock::time_point Now() { return Clock::now(); }
    // Sleeps on the stop event until `deadline`; true when it was set.
    virtual bool SleepUntil(Clock::time_point deadline);

private:
    Event& m_stop;
    Duration m_debt{0};
    // How late a sleep usually wakes, learnt from the sleeps so far; the
    // sleep aims that much before the deadline.
    Duration m_wakeLatency = std::chrono::microseconds(50);
};

}
