#pragma once

// The file operations the registry store is built from, each reporting failure as a value.

#include "platform/sys/Result.h"
#include "platform/sys/FileDescriptor.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace showsaver::registry {

struct FileText {
    std::string text;
    int error = 0;   // 0, or the errno that stopped the read (ENOENT: no such file)
};

FileText ReadWholeFile(const std::filesystem::path& path);

// Writes `text` to a new temporary file next to `target`, syncs it and renames it over
// `target`. On failure `target` is untouched, the temporary file is gone, and the
// message says what failed.
Status<> ReplaceFileAtomically(const std::filesystem::path& target, std::string_view text);

// Removes the temporary files ReplaceFileAtomically makes for `target`
// (TARGET.tmp-XXXXXX) that are still there. Only for a caller that holds the lock
// every writer of `target` holds. Returns how many it removed.
int RemoveStaleTemporaries(const std::filesystem::path& target);

// Makes `directory` and any missing parents with mode 0700.
Status<> MakePrivateDirectory(const std::filesystem::path& directory);

// Renames `from` to `to` unless `to` exists. Returns 0 or an errno (EEXIST when taken).
int RenameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// An exclusive flock on a lock file, held until destruction. The lock file is never
// deleted: removing it would let two writers lock two different files.
class FileLock {
public:
    static Result<FileLock> Acquire(const std::filesystem::path& lockPath);

private:
    explicit FileLock(sys::FileDescriptor fd) : m_fd(std::move(fd)) {}
    sys::FileDescriptor m_fd;
};

std::string ErrnoText(int error);

}
