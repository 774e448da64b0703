#pragma once

#include "platform/sys/Result.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace showsaver::sys {

// A private directory (mode 0700) for temporary files, removed with everything in it
// when its owner goes away.
class TempDirectory {
public:
    // The one temporary directory of this process, as the OS has one temp path. This is
    // the single process-wide object the platform layer keeps. It is made on first use
    // (thread-safe) under $TMPDIR, or /tmp when that fails, and removed with its files
    // at normal process exit. When no directory could be made, Path() is empty and
    // Error() says why.
    static TempDirectory& ForProcess();

    // Where ForProcess tries to make its directory, in order: $TMPDIR (when set), then /tmp.
    static std::vector<std::filesystem::path> DefaultParents();

    // A private directory under `parent`; removed in the destructor.
    explicit TempDirectory(const std::filesystem::path& parent);
    // A private directory under the first of `parents` where one can be made.
    explicit TempDirectory(std::span<const std::filesystem::path> parents);
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    // Empty when no directory could be made.
    const std::filesystem::path& Path() const { return m_path; }
    // Why Path() is empty; empty text otherwise.
    const std::string& Error() const { return m_error; }

    // Creates a new empty file (mode 0600) named PREFIX + 6 unique characters + SUFFIX in the
    // directory and returns its full path. Prefix and suffix may not contain '/'.
    Result<std::filesystem::path> CreateUniqueFile(std::string_view prefix = "Ssd",
        std::string_view suffix = ".tmp");

private:
    bool TryMakeUnder(const std::filesystem::path& parent);

    std::filesystem::path m_path;
    std::string m_error;
    pid_t m_ownerProcess;   // a forked child must not remove its parent's directory
};

}
