#include "platform/shell/Shell.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

extern char** environ;

namespace showsaver::shell {

namespace {

// Owners for the two posix_spawn attribute objects.
class SpawnFileActions {
public:
    SpawnFileActions() { m_ok = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnFileActions()
    {
        if (m_ok)
            posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    bool IsValid() const { return m_ok; }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions {};
    bool m_ok = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() { m_ok = posix_spawnattr_init(&m_attributes) == 0; }
    ~SpawnAttributes()
    {
        if (m_ok)
            posix_spawnattr_destroy(&m_attributes);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool IsValid() const { return m_ok; }
    posix_spawnattr_t* Get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes {};
    bool m_ok = false;
};

// The browser launcher must not inherit what the player has open (registry locks,
// media files), nor the blocked signals of the thread that starts it.
bool PrepareChild(SpawnFileActions& actions, SpawnAttributes& attributes)
{
    if (!actions.IsValid() || !attributes.IsValid())
        return false;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    if (posix_spawn_file_actions_addclosefrom_np(actions.Get(), 3) != 0)
        return false;
#endif
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    return posix_spawnattr_setsigmask(attributes.Get(), &noSignals) == 0
        && posix_spawnattr_setsigdefault(attributes.Get(), &defaults) == 0
        && posix_spawnattr_setflags(attributes.Get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

// Collects the child's exit status so it does not linger as a zombie. The player does
// not wait for the browser, so a detached thread does the waiting.
void ReapInBackground(pid_t child)
{
    try {
        std::thread([child] {
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the child stays a zombie until the player exits; harmless.
    }
}

}

std::string DisplayName(const std::filesystem::path& path)
{
    std::string name = path.string();
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    if (auto slash = name.rfind('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    auto dot = name.rfind('.');
    // A dot with only dots before it starts a hidden name (".hidden") and is not an extension.
    if (dot == std::string::npos || name.find_first_not_of('.') >= dot)
        return name;
    return name.substr(0, dot);
}

std::filesystem::path SelfExecutablePath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

bool OpenAddress(const std::string& address)
{
    if (address.empty() || address.front() == '-' || address.find('\0') != std::string::npos)
        return false;
    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (!PrepareChild(actions, attributes))
        return false;

    std::string program = "xdg-open";
    std::string argument = address;
    char* argv[] = { program.data(), argument.data(), nullptr };
    pid_t child = 0;
    int error = posix_spawnp(&child, program.c_str(), actions.Get(), attributes.Get(), argv, environ);
    if (error != 0) {
        std::fprintf(stderr, "showsaver: cannot start xdg-open: %s\n", std::generic_category().message(error).c_str());
        return false;
    }
    ReapInBackground(child);
    return true;
}

}
