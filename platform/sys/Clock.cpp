#include "platform/sys/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

#include <sys/prctl.h>

namespace showsaver::sys {

uint32_t TickCount()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Unsigned arithmetic wraps modulo 2^32, which is exactly the wrap the callers expect.
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<uint32_t>(ms);
}

SystemTime LocalSystemTime()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local {};
    if (!localtime_r(&now.tv_sec, &local))
        gmtime_r(&now.tv_sec, &local);  // only fails for absurd times; UTC is better than garbage
    return SystemTime {
        .year = local.tm_year + 1900,
        .month = local.tm_mon + 1,
        .dayOfWeek = local.tm_wday,
        .day = local.tm_mday,
        .hour = local.tm_hour,
        .minute = local.tm_min,
        .second = local.tm_sec,
        .milliseconds = static_cast<int>(now.tv_nsec / 1'000'000),
    };
}

void SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void RequestPreciseWakeups()
{
    // One nanosecond is the least slack the kernel takes; 0 would mean
    // "the default" again.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

}
