#include "tests/e2e/XSession.h"

#include "tests/support/Command.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace showsaver::e2e {

namespace {

// In a new child: die with the test process, and keep only stdin, stdout
// and stderr.
void PrepareChild() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
}

std::string Shell(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        m_pid = other.m_pid;
        m_status = other.m_status;
        other.m_pid = -1;
    }
    return *this;
}

ChildProcess ChildProcess::Fork(const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        int result = 99;
        try {
            result = body();
        } catch (...) {
        }
        // _exit: the copy must not run the test program's exit handlers, nor
        // report the memory GTK keeps until the end on purpose.
        std::fflush(nullptr);
        ::_exit(result);
    }
    return ChildProcess(pid);
}

ChildProcess ChildProcess::Spawn(const std::vector<std::string>& argv, const std::string& logFile) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!logFile.empty()) {
            int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (log >= 0) {
                ::dup2(log, 1);
                ::dup2(log, 2);
            }
        }
        PrepareChild();
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return ChildProcess(pid);
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (m_status || m_pid <= 0) return m_status;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR)) {
            m_status = done == m_pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return m_status;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

void ChildProcess::Stop() {
    if (m_pid <= 0) return;
    if (!m_status) {
        ::kill(m_pid, SIGTERM);
        if (!WaitForExit(5s)) {
            ::kill(m_pid, SIGKILL);
            WaitForExit(60s);
        }
    }
    m_pid = -1;
}

namespace {

bool DisplayLooksTaken(int number) {
    std::string n = std::to_string(number);
    return std::filesystem::exists("/tmp/.X" + n + "-lock") || std::filesystem::exists("/tmp/.X11-unix/X" + n);
}

} // namespace

VirtualDisplay::VirtualDisplay(const std::string& logFile, const std::string& screen) {
    // Tests running side by side start at different numbers and move on when
    // one is taken. Xvfb takes the usual lock file for its number (which it
    // would not do with -displayfd), so other programs see the display as
    // taken; when another server got there first, Xvfb ends at once.
    const int first = 300 + static_cast<int>(::getpid() % 500);
    for (int number = first; number < first + 40 && m_name.empty(); ++number) {
        if (DisplayLooksTaken(number)) continue;
        const std::string name = ":" + std::to_string(number);
        // -noreset: by default the server resets whenever its last client
        // leaves, and a client that connects during the reset is refused; the
        // tests' short xdotool connections would hit that.
        m_server = ChildProcess::Spawn(
            {"Xvfb", name, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, logFile);
        bool ended = false;
        bool ready = WaitFor([&] {
            ended = m_server.WaitForExit(0ms).has_value();
            return ended || testing::RunCommand("xdpyinfo -display " + name + " >/dev/null").status == 0;
        });
        if (ready && !ended)
            m_name = name;
        else
            m_server.Stop();
    }
    if (m_name.empty()) m_error = "Xvfb did not start on any free display (see " + logFile + ")";
}

std::vector<std::unique_ptr<test::ScopedEnvironment>> EngineEnvironment(const std::filesystem::path& scratch,
                                                                        const std::string& display) {
    std::vector<std::unique_ptr<test::ScopedEnvironment>> guards;
    auto set = [&](const char* name, const std::string& value) {
        guards.push_back(std::make_unique<test::ScopedEnvironment>(name, value));
    };
    set("DISPLAY", display);
    set("GDK_BACKEND", "x11");
    set("XDG_CONFIG_HOME", (scratch / "config").string());
    set("SHOWSAVER_MESSAGE_LOG", (scratch / "messages.jsonl").string());
    set("NO_AT_BRIDGE", "1");
    set("GSETTINGS_BACKEND", "memory");
    return guards;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

bool Xdo(const std::string& args) { return testing::RunCommand("timeout 30 xdotool " + args).status == 0; }

std::optional<unsigned long> WaitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
    std::optional<unsigned long> found;
    WaitFor(
        [&] {
            auto result = testing::RunCommand("xdotool search --onlyvisible --name " + Shell("^" + title + "$"));
            if (result.status != 0 || result.out.empty()) return false;
            found = std::strtoul(result.out.c_str(), nullptr, 10);
            return *found != 0;
        },
        timeout);
    return found;
}

bool Focus(unsigned long window) { return Xdo("windowfocus --sync " + std::to_string(window)); }

unsigned long TransientFor(unsigned long window) {
    auto result = testing::RunCommand("xprop -id " + std::to_string(window) + " WM_TRANSIENT_FOR");
    auto hash = result.out.find("# ");
    return hash == std::string::npos ? 0 : std::strtoul(result.out.c_str() + hash + 2, nullptr, 16);
}

void SaveScreenshot(const std::string& name) {
    const char* folder = std::getenv("SHOWSAVER_E2E_SCREENSHOTS");
    if (!folder || !*folder) return;
    testing::RunCommand("import -window root " + Shell(std::string(folder) + "/" + name + ".png"));
}

} // namespace showsaver::e2e
