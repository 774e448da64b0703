#pragma once
// Reading a whole file that must be an ordinary file of bounded size. A
// FIFO, a device, a directory or a socket is refused without blocking and
// without reading a byte of it, the size is checked before anything is
// allocated, and memory that cannot be had is an error rather than an abort.

#include "platform/sys/Result.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace showsaver::sys {

// Which file, in which state: a file replaced by a rename, or written, or
// touched, has another identity.
struct FileIdentity {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct FileBytes {
    std::unique_ptr<uint8_t[]> data;
    uint64_t size = 0;
    FileIdentity identity;   // of the file that was read
};

struct FileProblem {
    enum class Kind { CannotOpen, NotRegular, TooLarge, NoMemory, CannotRead };
    Kind kind;
    uint64_t size = 0;   // the file's size where it is known
    std::string what;    // a sentence naming the file
    int error = 0;       // the errno of a failed open or read
};

// The identity of what `path` names now (following links); the errno when
// it cannot be had (ENOENT: nothing there).
Result<FileIdentity, int> IdentityOf(const std::filesystem::path& path);

// The bytes of `path` when it is a regular file of at most `maxBytes`.
Result<FileBytes, FileProblem> ReadRegularFile(const std::filesystem::path& path, uint64_t maxBytes);

} // namespace showsaver::sys
