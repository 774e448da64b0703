#pragma once
// The speed calibration: how many zero-time-out polls of an event this
// machine makes in one second. Measured once and stored with a fingerprint
// of the machine, so later starts only read it; a changed machine measures
// again.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace showsaver {

namespace registry { class Store; }
class SaverWindowControl;

// Nine unsigned numbers separated by commas: page size, lowest and highest
// user address, the mask of CPUs this process may run on, the CPU count,
// the processor type, the allocation granularity, the CPU family and its
// model and stepping.
std::string MachineFingerprint();

class SpeedCalibration {
public:
    // Where the values live: HKEY_CURRENT_USER, directly in this key.
    static constexpr const char* kKey = "Software\\Tarvanix\\Screen Saver";
    static constexpr const char* kSysInfo = "SysInfo";
    static constexpr const char* kTimes = "Times";

    explicit SpeedCalibration(registry::Store& store) : m_store(store) {}

    // Reads the stored count; measures (about `duration`) when none is stored,
    // it is 0, or the fingerprint differs, and then stores both values.
    // Returns the count to use. `window` is handed to the counting thread.
    // When `interruptFd` becomes readable (a termination signal's pipe) the
    // measuring ends at once and nothing is stored.
    uint32_t Measure(SaverWindowControl* window, std::chrono::milliseconds duration = std::chrono::seconds(1),
                     int interruptFd = -1);

    // True when the last Measure counted rather than read.
    bool Measured() const { return m_measured; }
    // True when the last Measure was cut short by `interruptFd`.
    bool Interrupted() const { return m_interrupted; }

private:
    registry::Store& m_store;
    bool m_measured = false;
    bool m_interrupted = false;
};

} // namespace showsaver
