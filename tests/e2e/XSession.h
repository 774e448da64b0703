#pragma once
// What the dialog tests need around a real X server: an Xvfb of their own,
// child processes that never outlive the test, and xdotool to type.

#include "tests/platform/TestSupport.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace showsaver::e2e {

using namespace std::chrono_literals;

// A child process. The destructor ends it (SIGTERM, then SIGKILL when it
// does not go within a few seconds) and reaps it, so no test leaves one
// behind, even when an assertion fails. The child also gets SIGTERM when the
// test process dies.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(ChildProcess&& other) noexcept : m_pid(other.m_pid), m_status(other.m_status) { other.m_pid = -1; }
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs `body` in a forked copy of the test process, which exits with its result.
    static ChildProcess Fork(const std::function<int()>& body);
    // Runs a program found on PATH, with no descriptors of the test but the
    // standard three; its output goes to `logFile` when given.
    static ChildProcess Spawn(const std::vector<std::string>& argv, const std::string& logFile = "");

    bool IsValid() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // The exit status once the process has ended within `timeout`; -1 when
    // it was killed by a signal; nothing while it still runs.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
    void Stop();

private:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}

    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// Xvfb, 1024 x 768 x 24, on the first free display number from one derived
// from the process id. Ready when constructed (a client has connected).
// Stopped in the destructor.
class VirtualDisplay {
public:
    // `screen` is Xvfb's WIDTHxHEIGHTxDEPTH.
    explicit VirtualDisplay(const std::string& logFile, const std::string& screen = "1024x768x24");
    // ":N"; empty when Xvfb did not start, and Error() says why.
    const std::string& Name() const { return m_name; }
    const std::string& Error() const { return m_error; }
    // The server's process, for measuring what it costs.
    pid_t ServerPid() const { return m_server.Pid(); }

private:
    ChildProcess m_server;
    std::string m_name;
    std::string m_error;
};

// The environment the engine runs in on `display`, for as long as the
// returned guards live: settings under `scratch`/config, message boxes
// answered at once and journalled to `scratch`/messages.jsonl, GTK on X11
// without an accessibility bus or the desktop's settings daemon.
std::vector<std::unique_ptr<test::ScopedEnvironment>> EngineEnvironment(const std::filesystem::path& scratch,
                                                                        const std::string& display);

// Polls `condition` until it holds or `timeout` has passed.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30s);

// Runs `xdotool ARGS` on $DISPLAY, bounded by a time-out; true when it succeeded.
bool Xdo(const std::string& args);
// The first viewable window whose title is exactly `title`, once there is one.
std::optional<unsigned long> WaitForWindow(const std::string& title, std::chrono::milliseconds timeout = 30s);
// Gives `window` the keyboard focus and waits until it has it.
bool Focus(unsigned long window);
// WM_TRANSIENT_FOR of the window (0 when unset), as xprop reads it.
unsigned long TransientFor(unsigned long window);
// Saves the whole screen as PNG to $SHOWSAVER_E2E_SCREENSHOTS/NAME.png when
// that folder is set; does nothing otherwise.
void SaveScreenshot(const std::string& name);

} // namespace showsaver::e2e
