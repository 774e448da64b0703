#include "platform/ui/StartTrace.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

namespace showsaver::ui {

namespace {

double MonotonicMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The process's start on the boot-time clock, from /proc/self/stat's 22nd
// field (clock ticks since boot); negative when unreadable.
double ProcessStartBootMs() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    if (!std::getline(stat, line)) return -1;
    // The command name, in parentheses, may hold spaces: count after it.
    size_t close = line.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    // Field 3 is the first after the name; the start time is field 22.
    for (int index = 3; index < 22 && (fields >> field); ++index) {
    }
    unsigned long long ticks = 0;
    if (!(fields >> ticks)) return -1;
    long perSecond = sysconf(_SC_CLK_TCK);
    return perSecond > 0 ? static_cast<double>(ticks) * 1e3 / static_cast<double>(perSecond) : -1;
}

struct Trace {
    bool on = false;
    double firstMs = 0;        // monotonic, at the first mark
    double startBootMs = -1;   // boot-time clock, at exec
};

const Trace& TheTrace() {
    static const Trace trace = [] {
        Trace t;
        const char* value = std::getenv("SHOWSAVER_TRACE_START");
        t.on = value && std::strcmp(value, "1") == 0;
        if (t.on) {
            t.firstMs = MonotonicMs(CLOCK_MONOTONIC);
            t.startBootMs = ProcessStartBootMs();
        }
        return t;
    }();
    return trace;
}

} // namespace

void TraceStart(const char* what) {
    const Trace& trace = TheTrace();
    if (!trace.on) return;
    static std::mutex mutex;
    static std::set<const char*> reached;
    std::lock_guard lock(mutex);
    if (!reached.insert(what).second) return;
    double now = MonotonicMs(CLOCK_MONOTONIC);
    double sinceExec = trace.startBootMs < 0 ? -1 : MonotonicMs(CLOCK_BOOTTIME) - trace.startBootMs;
    std::fprintf(stderr, "start-up: %7.1f ms since exec, %7.2f ms since main, %7.2f ms of CPU, at %.3f ms: %s\n",
                 sinceExec, now - trace.firstMs, MonotonicMs(CLOCK_PROCESS_CPUTIME_ID), now, what);
}

} // namespace showsaver::ui
