#pragma once

#include "platform/sys/FileDescriptor.h"
#include "platform/sys/Result.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace showsaver::sys {

// A private directory (mode 0700) for temporary files, removed with everything in it
// when its owner goes away. A locked one (the process's own) also holds an exclusive
// flock on the file ".lock" inside it for as long as it lives (the kernel lets go of
// it however the process ends), so that a later process can tell a directory whose
// owner is gone.
class TempDirectory {
public:
    enum class Owner { Plain, Locked };

    // The one temporary directory of this process, as the OS has one temp path. This is
    // the single process-wide object the platform layer keeps. It is made on first use
    // (thread-safe) under $TMPDIR, or /tmp when that fails, and removed with its files
    // at normal process exit. When no directory could be made, Path() is empty and
    // Error() says why.
    static TempDirectory& ForProcess();

    // Removes the directories "showsaver-XXXXXX" in `parent` that belong to this user
    // and whose owner is gone: their ".lock" can be locked, or they have none and have
    // not changed for `lockless` (they come from a program without the lock; the grace
    // also covers the moment between making a directory and locking it). Never a
    // directory whose lock is held. Returns how many were removed.
    static int SweepAbandoned(const std::filesystem::path& parent,
        std::chrono::seconds lockless = std::chrono::hours(24));

    // Removes the directory with its files now, for an end that skips the destructors
    // (a lost display). Path() stays as it was.
    void RemoveNow();

    // Where ForProcess tries to make its directory, in order: $TMPDIR (when set), then /tmp.
    static std::vector<std::filesystem::path> DefaultParents();

    // A private directory under `parent`; removed in the destructor.
    explicit TempDirectory(const std::filesystem::path& parent, Owner owner = Owner::Plain);
    // A private directory under the first of `parents` where one can be made.
    explicit TempDirectory(std::span<const std::filesystem::path> parents, Owner owner = Owner::Plain);
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
    bool TryMakeUnder(const std::filesystem::path& parent, Owner owner);

    std::filesystem::path m_path;
    std::string m_error;
    FileDescriptor m_lock;  // holds the flock of ".lock" while the directory is in use
    pid_t m_ownerProcess;   // a forked child must not remove its parent's directory
};

}
