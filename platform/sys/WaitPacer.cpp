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
    Clock::time_point deadline = Now() + m_debt;
    Clock::time_point wake = deadline - std::clamp<Duration>(m_wakeLatency, Duration::zero(), kLongestLead);
    if (SleepUntil(wake))
        return;
    Clock::time_point now = Now();
    // Learn how late this sleep woke, slowly, so one stall does not move
    // every later wake.
    m_wakeLatency += ((now - wake) - m_wakeLatency) / 8;
    m_debt = std::max<Duration>(deadline - now, -kLargestCredit);
}

}
