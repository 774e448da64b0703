#include "platform/registry/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace showsaver::registry {

namespace {

std::string Describe(std::string_view what, const std::filesystem::path& path, int error)
{
    return std::string(what) + " " + path.string() + ": " + ErrnoText(error);
}

bool WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Makes the rename itself durable; a failure here does not undo the new file, so it is ignored.
void SyncDirectory(const std::filesystem::path& directory)
{
    sys::FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.IsValid())
        ::fsync(fd.Get());
}

}

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

FileText ReadWholeFile(const std::filesystem::path& path)
{
    FileText result;
    sys::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) {
        result.error = errno;
        return result;
    }
    char buffer[16384];
    for (;;) {
        ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            result.text.clear();
            break;
        }
        result.text.append(buffer, static_cast<size_t>(got));
    }
    return result;
}

Status<> ReplaceFileAtomically(const std::filesystem::path& target, std::string_view text)
{
    std::string temporary = target.string() + ".tmp-XXXXXX";
    sys::FileDescriptor fd(::mkstemp(temporary.data()));   // mode 0600
    if (!fd.IsValid())
        return Error { Describe("cannot create a temporary file next to", target, errno) };

    std::optional<std::string> error;
    if (!WriteAll(fd.Get(), text))
        error = Describe("cannot write", temporary, errno);
    else if (::fsync(fd.Get()) != 0)
        error = Describe("cannot sync", temporary, errno);
    else if (!fd.Close())
        error = Describe("cannot close", temporary, errno);
    else if (::rename(temporary.c_str(), target.c_str()) != 0)
        error = Describe("cannot rename the new file over", target, errno);

    if (error) {
        ::unlink(temporary.c_str());
        return Error { *error };
    }
    SyncDirectory(target.parent_path());
    return {};
}

int RemoveStaleTemporaries(const std::filesystem::path& target)
{
    // The name ReplaceFileAtomically gives: the target's name, ".tmp-" and mkstemp's six characters.
    std::string prefix = target.filename().string() + ".tmp-";
    int removed = 0;
    std::error_code error;
    std::filesystem::directory_iterator entries(target.parent_path(), error);
    if (error)
        return 0;
    for (const auto& entry : entries) {
        std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix))
            continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(entry.path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

Status<> MakePrivateDirectory(const std::filesystem::path& directory)
{
    std::filesystem::path partial;
    for (const auto& component : directory) {
        partial /= component;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return Error { Describe("cannot make the folder", partial, errno) };
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0)
        return Error { Describe("cannot use the folder", directory, errno) };
    if (!S_ISDIR(info.st_mode))
        return Error { Describe("cannot use the folder", directory, ENOTDIR) };
    return {};
}

int RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot rename without replacing; the caller holds the hive's lock,
    // so checking first is safe from our own writers.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

Result<FileLock> FileLock::Acquire(const std::filesystem::path& lockPath)
{
    sys::FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.IsValid())
        return Error { Describe("cannot open the lock file", lockPath, errno) };
    while (::flock(fd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return Error { Describe("cannot lock", lockPath, errno) };
    }
    return FileLock(std::move(fd));
}

}
