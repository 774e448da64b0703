#include "platform/sys/WaitPacer.h"

#include <algorithm>

namespace showsaver::sys {

namespace {

// Oversleeping beyond this is not given back: a machine that stalled for
// a long time should not run the next steps without any pause.
constexpr WaitPacer::Duration kLargestCredit = std::chrono::milliseconds(10);

}

bool WaitPacer::SleepUntil(Clock::time_point deadline) { return m_stop.WaitUntil(deadline); }

void WaitPacer::Wait(Duration length)
{
    if (m_stop.IsSet())
        return;
    m_debt += length;
    if (m_debt < kSmallestSleep)
        return;
    Clock::time_point start = Now();
    Clock::time_point deadline = start + m_debt;
    WaitUntil(deadline);
    m_debt = std::max(deadline - Now(), -kLargestCredit);
}

void WaitPacer::WaitUntil(Clock::time_point deadline)
{
    Clock::time_point wake = deadline - std::clamp<Duration>(m_wakeLatency, Duration::zero(), kLongestPoll);
    if (wake > Now()) {
        if (SleepUntil(wake))
            return;
        // Learn how late this sleep woke, slowly, so one stall does not
        // turn into a long poll.
        Duration late = Now() - wake;
        m_wakeLatency += (late - m_wakeLatency) / 8;
    }
    while (Now() < deadline)
        if (m_stop.IsSet())
            return;
}

}
