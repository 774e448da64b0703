#include "platform/sys/TempFiles.h"

#include "platform/sys/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <cstdlib>
#include <cstring>
#include <stdlib.h>
#include <system_error>
#include <unistd.h>

namespace showsaver::sys {

namespace {

constexpr std::string_view kDirectoryTemplate = "showsaver-XXXXXX";
constexpr std::string_view kDirectoryPrefix = "showsaver-";
constexpr size_t kUniqueLength = 6;
constexpr const char* kLockName = ".lock";
constexpr const char* kNewLockName = ".lock-new";

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

bool IsValidNamePart(std::string_view part)
{
    return part.find('/') == std::string_view::npos && part.find('\0') == std::string_view::npos;
}

bool LooksLikeOurs(const std::string& name)
{
    return name.size() == kDirectoryPrefix.size() + kUniqueLength && name.starts_with(kDirectoryPrefix);
}

// Whether the directory's owner is gone. Its lock file is opened without following a
// link and locked without waiting: a live owner holds the lock.
bool IsAbandoned(const std::filesystem::path& directory, std::chrono::seconds lockless)
{
    FileDescriptor lock(::open((directory / kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (lock.IsValid())
        return ::flock(lock.Get(), LOCK_EX | LOCK_NB) == 0;
    struct stat info {};
    if (errno != ENOENT || ::lstat(directory.c_str(), &info) != 0)
        return false;
    auto age = std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(info.st_mtime);
    return age > lockless;
}

}

TempDirectory& TempDirectory::ForProcess()
{
    // A function-local static: initialised once even when threads race to first use,
    // and destroyed (removing the directory) at normal exit. The first use also
    // clears away what savers that ended without cleaning up left behind.
    static TempDirectory s_processDirectory = [] () -> TempDirectory {
        for (const auto& parent : DefaultParents())
            SweepAbandoned(parent);
        return TempDirectory(DefaultParents(), Owner::Locked);
    }();
    return s_processDirectory;
}

int TempDirectory::SweepAbandoned(const std::filesystem::path& parent, std::chrono::seconds lockless)
{
    int removed = 0;
    std::error_code error;
    std::filesystem::directory_iterator entries(parent, error);
    if (error)
        return 0;
    for (const auto& entry : entries) {
        auto path = entry.path();
        if (!LooksLikeOurs(path.filename().string()))
            continue;
        // Only real directories of this user: never through a link, never someone else's.
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        if (!IsAbandoned(path, lockless))
            continue;
        std::error_code ignored;
        if (std::filesystem::remove_all(path, ignored) > 0)
            ++removed;
    }
    return removed;
}

std::vector<std::filesystem::path> TempDirectory::DefaultParents()
{
    std::vector<std::filesystem::path> parents;
    // A relative $TMPDIR would put the directory wherever the current folder happens to be.
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir && tmpdir[0] == '/' && std::string_view(tmpdir) != "/tmp")
        parents.emplace_back(tmpdir);
    parents.emplace_back("/tmp");
    return parents;
}

TempDirectory::TempDirectory(const std::filesystem::path& parent, Owner owner)
    : TempDirectory(std::span<const std::filesystem::path>(&parent, 1), owner)
{
}

TempDirectory::TempDirectory(std::span<const std::filesystem::path> parents, Owner owner)
    : m_ownerProcess(getpid())
{
    for (const auto& parent : parents) {
        if (TryMakeUnder(parent, owner))
            return;
    }
    if (parents.empty())
        m_error = "no folder to make a temporary directory in";
}

TempDirectory::~TempDirectory()
{
    RemoveNow();
}

void TempDirectory::RemoveNow()
{
    if (m_path.empty() || getpid() != m_ownerProcess)
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

bool TempDirectory::TryMakeUnder(const std::filesystem::path& parent, Owner owner)
{
    std::string name = (parent / kDirectoryTemplate).string();
    // mkdtemp creates the directory with mode 0700 and fails rather than reuse a name.
    if (!mkdtemp(name.data())) {
        int error = errno;
        if (!m_error.empty())
            m_error += "; ";
        m_error += "cannot make a temporary directory in " + parent.string() + ": " + ErrnoText(error);
        return false;
    }
    m_path = name;
    m_error.clear();
    if (owner == Owner::Plain)
        return true;
    // The lock is taken under another name and then renamed into place, so that a
    // sweeping process never finds a ".lock" that is not locked yet.
    auto newLock = m_path / kNewLockName;
    FileDescriptor lock(::open(newLock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (lock.IsValid() && ::flock(lock.Get(), LOCK_EX | LOCK_NB) == 0
        && ::rename(newLock.c_str(), (m_path / kLockName).c_str()) == 0)
        m_lock = std::move(lock);
    return true;
}

Result<std::filesystem::path> TempDirectory::CreateUniqueFile(std::string_view prefix, std::string_view suffix)
{
    auto fail = [](std::string message) { return showsaver::Error { std::move(message) }; };
    if (m_path.empty())
        return fail(m_error.empty() ? "there is no temporary directory" : m_error);
    if (!IsValidNamePart(prefix) || !IsValidNamePart(suffix))
        return fail("a temporary file name may not contain '/' or NUL");

    std::string name = (m_path / prefix).string();
    name.append(kUniqueLength, 'X');
    name.append(suffix);
    // mkstemps opens with O_CREAT | O_EXCL, so the name is ours alone.
    FileDescriptor file(mkstemps(name.data(), static_cast<int>(suffix.size())));
    if (!file.IsValid())
        return fail("cannot create a temporary file in " + m_path.string() + ": " + ErrnoText(errno));
    return std::filesystem::path(name);
}

}
