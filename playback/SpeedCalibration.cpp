#include "playback/SpeedCalibration.h"

#include "platform/registry/Store.h"
#include "playback/SceneThread.h"

#include <cerrno>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace showsaver {

namespace {

uint64_t ReadNumberFile(const char* path, uint64_t fallback) {
    std::ifstream in(path);
    uint64_t value = 0;
    return in >> value ? value : fallback;
}

// The x86 family, model and stepping from /proc/cpuinfo (0 when absent).
struct CpuIdentity {
    uint32_t family = 0, model = 0, stepping = 0;
};

CpuIdentity ReadCpuIdentity() {
    CpuIdentity id;
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    int found = 0;
    while (found < 3 && std::getline(in, line)) {
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1);
        uint32_t value = static_cast<uint32_t>(std::strtoul(line.c_str() + colon + 1, nullptr, 10));
        if (key == "cpu family") id.family = value, ++found;
        else if (key == "model") id.model = value, ++found;
        else if (key == "stepping") id.stepping = value, ++found;
    }
    return id;
}

// Sleeps for `duration`, or less when `fd` becomes readable first (it is not
// read). True when the whole time passed.
bool SleepUnlessReadable(int fd, std::chrono::milliseconds duration) {
    if (fd < 0) {
        std::this_thread::sleep_for(duration);
        return true;
    }
    auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd watched{fd, POLLIN, 0};
        int ready = poll(&watched, 1, static_cast<int>(left.count()));
        if (ready > 0) return false;
        if (ready < 0 && errno != EINTR) {
            std::this_thread::sleep_until(deadline);
            return true;
        }
    }
}

} // namespace

std::string MachineFingerprint() {
    uint64_t pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t lowest = ReadNumberFile("/proc/sys/vm/mmap_min_addr", pageSize);
    // The top of the user address space of this architecture.
    uint64_t highest = sizeof(void*) == 8 ? 0x7FFFFFFFFFFFull : 0xBFFFFFFFull;
    cpu_set_t set;
    CPU_ZERO(&set);
    uint64_t mask = 0;
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
        for (int cpu = 0; cpu < 64; ++cpu)
            if (CPU_ISSET(cpu, &set)) mask |= uint64_t{1} << cpu;
    uint64_t count = static_cast<uint64_t>(sysconf(_SC_NPROCESSORS_ONLN));
    CpuIdentity cpu = ReadCpuIdentity();
    // The processor type in the classic numbering: 386, 486 and 586 by
    // family, and the 64-bit type otherwise.
    uint64_t type = sizeof(void*) == 8 ? 8664 : cpu.family >= 5 ? 586 : cpu.family == 4 ? 486 : 386;
    std::ostringstream out;
    out << pageSize << ',' << lowest << ',' << highest << ',' << mask << ',' << count << ',' << type << ','
        << pageSize << ',' << (cpu.family & 0xFFFF) << ',' << (((cpu.model & 0xFF) << 8 | (cpu.stepping & 0xFF)) & 0xFFFF);
    return out.str();
}

uint32_t SpeedCalibration::Measure(SaverWindowControl* window, std::chrono::milliseconds duration, int interruptFd) {
    using registry::Hive;
    std::string stored = m_store.GetString(Hive::CurrentUser, kKey, kSysInfo).value_or("");
    uint32_t times = m_store.GetDword(Hive::CurrentUser, kKey, kTimes).value_or(0);
    std::string current = MachineFingerprint();
    m_measured = times == 0 || stored != current;
    m_interrupted = false;
    if (!m_measured) return times;

    CSceneThread::Setup setup;
    setup.window = window;
    setup.times = &times;
    CSceneThread counter(std::move(setup), CSceneThread::Mode::Calibrate);
    counter.Resume();
    bool whole = SleepUnlessReadable(interruptFd, duration);
    counter.RequestStop();
    if (!whole) {
        // A count of part of a second is no calibration: nothing is stored,
        // and the process is ending anyway.
        m_interrupted = true;
        return times;
    }
    // A failed write still leaves the count for this run.
    m_store.Set(Hive::CurrentUser, kKey, kSysInfo, current);
    m_store.Set(Hive::CurrentUser, kKey, kTimes, times);
    return times;
}

} // namespace showsaver
