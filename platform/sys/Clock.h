#pragma once

#include <cstdint>

namespace showsaver::sys {

// Milliseconds since an arbitrary fixed point (CLOCK_MONOTONIC); wraps at 2^32,
// so compare tick counts by unsigned subtraction only.
uint32_t TickCount();

struct SystemTime {
    int year;          // full year, e.g. 2024
    int month;         // 1..12
    int dayOfWeek;     // 0 = Sunday .. 6 = Saturday
    int day;           // 1..31
    int hour;          // 0..23
    int minute;        // 0..59
    int second;        // 0..60 (a leap second may show as 60)
    int milliseconds;  // 0..999
};

// The local wall-clock time, in the time zone of the process.
SystemTime LocalSystemTime();

// Blocks the calling thread for at least `ms` milliseconds.
void SleepMs(uint32_t ms);

// Asks the kernel to wake the calling thread's timed sleeps as close to
// their deadlines as it can, instead of grouping them late by up to 50 µs.
void RequestPreciseWakeups();

}
