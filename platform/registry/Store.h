#pragma once

#include "platform/registry/Hive.h"
#include "platform/sys/RegularFile.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <utility>
#include <string>
#include <string_view>

namespace showsaver::registry {

class HiveData;
struct ParseError;

// The registry: one .reg text file per hive in one folder (user.reg, machine.reg,
// classes.reg). A hive is parsed once and kept; every read looks at the file's identity
// (inode, size, times) and parses it again only when it has changed, so writes by other
// processes are seen at once. Every write is a read-modify-write under an flock on NAME.reg.lock:
// the new text goes to a temporary file in the same folder, is synced, and is renamed
// over the old file, so neither a crash nor a second writer leaves a torn file. A writer
// that died between making its temporary file and renaming it left NAME.reg.tmp-XXXXXX
// behind; the next writer, holding the lock, removes it. NAME.reg.lock itself stays:
// removing it would let two writers lock two different files.
//
// A missing file is an empty hive. So is a path that names no regular file (a FIFO, a
// device, a folder): it is reported once on stderr, never read, moved or written over. A file that cannot be parsed is reported on stderr
// (file and line), moved aside as NAME.reg.bad (or NAME.reg.bad.N when that is taken)
// and read as empty; it is never overwritten. Opening a hive reads its version line and
// key headers; a key's value lines are read when one of its values is asked for, and all
// of them before a write. A broken value line is found then: it is reported as the
// file's first error, and the file is moved aside, as when the open fails. Until then,
// the keys read well give their values.
//
// Key paths look like "Software\\Tarvanix\\Screen Saver"; the value name "" is the
// default value. Key and value names compare without regard to ASCII case and keep the
// case they were first written with.
class Store {
public:
    explicit Store(std::filesystem::path directory);
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // $XDG_CONFIG_HOME/showsaver, or ~/.config/showsaver; empty when neither is known.
    static std::filesystem::path DefaultDirectory();

    const std::filesystem::path& Directory() const { return m_directory; }
    const std::filesystem::path& FilePath(Hive hive) const;

    std::optional<Value> Get(Hive hive, std::string_view keyPath, std::string_view name) const;
    // A dword value reads as nullopt.
    std::optional<std::string> GetString(Hive hive, std::string_view keyPath, std::string_view name) const;
    // A string value reads as nullopt.
    std::optional<uint32_t> GetDword(Hive hive, std::string_view keyPath, std::string_view name) const;
    // True when the key or a key below it exists. The hive root always exists.
    bool KeyExists(Hive hive, std::string_view keyPath) const;

    // Creates the key (and the folder, mode 0700) when missing. False, with a line on
    // stderr, when the file cannot be read or written, or the key path cannot be stored.
    bool Set(Hive hive, std::string_view keyPath, std::string_view name, const Value& value);
    // Writes several values of one key in one atomic replacement of the file:
    // all of them or, on failure, none. The error says why.
    using NamedValue = std::pair<std::string_view, Value>;
    Status<> SetValues(Hive hive, std::string_view keyPath, std::span<const NamedValue> values);
    // True when the value existed and is now gone. The key stays.
    bool Delete(Hive hive, std::string_view keyPath, std::string_view name);

    // How many times this store has parsed a hive file: once per file, and again only
    // after the file changed.
    uint64_t ParseCount() const { return m_parses; }

private:
    // The hive as it is on disk now; null when the file exists but cannot be read.
    std::shared_ptr<const HiveData> Load(Hive hive) const;
    // The parsed hive when the file still has the identity it had when it was parsed.
    std::shared_ptr<const HiveData> Cached(Hive hive, const sys::FileIdentity& identity) const;
    enum class Reading { HeadersNow, Everything };
    // Takes over the content's bytes.
    Result<HiveData, ParseError> ParseFile(sys::FileBytes& content, Hive hive, Reading reading) const;
    // After `error` in the hive's file: under the writers' lock, the file as it is now
    // when a writer has replaced it, else moves it aside and gives an empty hive.
    std::shared_ptr<const HiveData> Recover(Hive hive, const ParseError& error) const;
    void Keep(Hive hive, const sys::FileIdentity& identity, std::shared_ptr<const HiveData> data) const;
    // Applies `change` under the hive's lock and writes the result when it returns true.
    bool Modify(Hive hive, const std::function<bool(HiveData&)>& change);
    // The same, saying why nothing was written.
    Status<> TryModify(Hive hive, const std::function<bool(HiveData&)>& change);
    // Moves an unparseable file aside; the caller holds the hive's lock.
    bool MoveAside(Hive hive, int line, const std::string& message) const;
    // Prints `message` unless this Store has printed the same text before.
    void ReportOnce(const std::string& message) const;

    struct CachedHive {
        sys::FileIdentity identity;
        std::shared_ptr<const HiveData> data;
    };

    std::filesystem::path m_directory;
    std::array<std::filesystem::path, 4> m_files;   // by hive; the last one, empty, for a hive outside the enum
    mutable std::mutex m_cacheMutex;
    mutable std::array<CachedHive, 3> m_cache;   // by hive, under m_cacheMutex
    mutable std::atomic<uint64_t> m_parses { 0 };
    mutable std::mutex m_reportedMutex;
    mutable std::set<std::string> m_reported;
};

}
