#pragma once
// Waits of a given length that end at once on a stop event and never spin a
// core. A wait becomes a deadline: the thread sleeps on the stop event until
// just before it and polls only the last few microseconds, so that short
// waits stay precise. Waits shorter than a millisecond are not slept one by
// one: they add up into a debt, slept off in one piece once it reaches a
// millisecond. Time overslept is owed back by the next waits. Over a run the
// waits take the time asked for, whatever their size.

#include "platform/sys/Event.h"

#include <chrono>

namespace showsaver::sys {

class WaitPacer {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::nanoseconds;

    // Debts below this are kept, not slept.
    static constexpr Duration kSmallestSleep = std::chrono::milliseconds(1);
    // The most that is ever polled at the end of a wait.
    static constexpr Duration kLongestPoll = std::chrono::microseconds(100);

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
    // Sleeps to shortly before `deadline`, then polls the stop event to it.
    void WaitUntil(Clock::time_point deadline);

    Event& m_stop;
    Duration m_debt{0};
    // How late a sleep usually wakes, learnt from the sleeps so far; the
    // sleep aims that much before the deadline.
    Duration m_wakeLatency = std::chrono::microseconds(50);
};

}
