#include "platform/sys/RegularFile.h"

#include "platform/sys/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver::sys {

namespace {

FileProblem Problem(FileProblem::Kind kind, const std::filesystem::path& path, std::string what, uint64_t size = 0) {
    return FileProblem{kind, size, path.string() + what};
}

FileProblem Failed(FileProblem::Kind kind, const std::filesystem::path& path, uint64_t size = 0) {
    int error = errno;
    return FileProblem{kind, size, "cannot read " + path.string() + ": " + std::strerror(error), error};
}

FileIdentity IdentityOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), static_cast<uint64_t>(info.st_size),
            info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
            info.st_ctim.tv_sec * 1'000'000'000LL + info.st_ctim.tv_nsec};
}

} // namespace

Result<FileIdentity, int> IdentityOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno;
    return IdentityOf(info);
}

Result<FileBytes, FileProblem> ReadRegularFile(const std::filesystem::path& path, uint64_t maxBytes) {
    using Kind = FileProblem::Kind;
    if (path.empty()) return FileProblem{Kind::CannotOpen, 0, "an empty path names no file", ENOENT};
    // Without O_NONBLOCK opening a FIFO waits for a writer; a regular file
    // reads the same either way.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.IsValid()) return Failed(Kind::CannotOpen, path);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) return Failed(Kind::CannotOpen, path);
    if (!S_ISREG(info.st_mode)) return Problem(Kind::NotRegular, path, " is not a regular file");
    auto size = static_cast<uint64_t>(info.st_size);
    if (size > maxBytes)
        return Problem(Kind::TooLarge, path, " has " + std::to_string(size) + " bytes, more than " +
                                                 std::to_string(maxBytes), size);
    FileBytes bytes;
    bytes.data.reset(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!bytes.data)
        return Problem(Kind::NoMemory, path, ": not enough memory for its " + std::to_string(size) + " bytes", size);
    bytes.size = size;
    bytes.identity = IdentityOf(info);
    uint64_t done = 0;
    while (done < size) {
        ssize_t n = ::read(file.Get(), bytes.data.get() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(Kind::CannotRead, path, size);
        if (n == 0) return Problem(Kind::CannotRead, path, " became shorter while it was read", size);
        done += static_cast<uint64_t>(n);
    }
    return bytes;
}

} // namespace showsaver::sys
