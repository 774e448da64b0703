#include "platform/registry/Store.h"

#include "platform/registry/FileAccess.h"
#include "platform/registry/HiveText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace showsaver::registry {

namespace {

constexpr int kMaxBadCopies = 1000;
// A settings file this large is no settings file; it is read as empty rather than
// parsed into memory.
constexpr uint64_t kMaxHiveBytes = uint64_t{64} << 20;

bool IsKnownHive(Hive hive)
{
    return !RootName(hive).empty();
}

std::filesystem::path HomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

std::filesystem::path WithSuffix(const std::filesystem::path& path, std::string_view suffix)
{
    return path.string() + std::string(suffix);
}

}

Store::Store(std::filesystem::path directory)
    : m_directory(std::move(directory))
{
    for (Hive hive : { Hive::CurrentUser, Hive::LocalMachine, Hive::ClassesRoot })
        m_files.at(static_cast<size_t>(hive)) = m_directory / FileName(hive);
}

std::filesystem::path Store::DefaultDirectory()
{
    // Relative values of XDG_CONFIG_HOME are to be ignored, as the XDG base directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::filesystem::path(config) / "showsaver";
    auto home = HomeDirectory();
    if (home.empty())
        return {};
    return home / ".config" / "showsaver";
}

const std::filesystem::path& Store::FilePath(Hive hive) const
{
    auto index = static_cast<size_t>(hive);
    return m_files[IsKnownHive(hive) ? index : m_files.size() - 1];
}

std::optional<Value> Store::Get(Hive hive, std::string_view keyPath, std::string_view name) const
{
    std::string storage;
    auto path = NormalizeKeyPath(keyPath, storage);
    if (!path)
        return std::nullopt;
    auto data = Load(hive);
    if (!data)
        return std::nullopt;
    auto found = data->Lookup(*path, name);
    if (found)
        return std::move(*found);
    // The key's lines, read now for the first time, are broken: the file is as bad as
    // one that fails to open.
    auto recovered = Recover(hive, found.Error());
    return recovered ? recovered->FindValue(*path, name) : std::nullopt;
}

std::optional<std::string> Store::GetString(Hive hive, std::string_view keyPath, std::string_view name) const
{
    auto value = Get(hive, keyPath, name);
    if (auto* text = value ? std::get_if<std::string>(&*value) : nullptr)
        return std::move(*text);
    return std::nullopt;
}

std::optional<uint32_t> Store::GetDword(Hive hive, std::string_view keyPath, std::string_view name) const
{
    auto value = Get(hive, keyPath, name);
    if (auto* number = value ? std::get_if<uint32_t>(&*value) : nullptr)
        return *number;
    return std::nullopt;
}

bool Store::KeyExists(Hive hive, std::string_view keyPath) const
{
    auto path = NormalizeKeyPath(keyPath);
    if (!path)
        return false;
    auto data = Load(hive);
    return data && data->HasKeyOrSubkey(*path);
}

bool Store::Set(Hive hive, std::string_view keyPath, std::string_view name, const Value& value)
{
    auto path = NormalizeKeyPath(keyPath);
    if (!path) {
        std::fprintf(stderr, "showsaver: registry: cannot store the key \"%.*s\": it holds control characters or bytes that are not UTF-8\n",
            static_cast<int>(keyPath.size()), keyPath.data());
        return false;
    }
    return Modify(hive, [&](HiveData& data) {
        data.SetValue(*path, name, value);
        return true;
    });
}

Status<> Store::SetValues(Hive hive, std::string_view keyPath, std::span<const NamedValue> values)
{
    auto path = NormalizeKeyPath(keyPath);
    if (!path)
        return Error { "cannot store the key \"" + std::string(keyPath) + "\"" };
    return TryModify(hive, [&](HiveData& data) {
        for (const auto& [name, value] : values)
            data.SetValue(*path, name, value);
        return true;
    });
}

bool Store::Delete(Hive hive, std::string_view keyPath, std::string_view name)
{
    auto path = NormalizeKeyPath(keyPath);
    if (!path)
        return false;
    return Modify(hive, [&](HiveData& data) { return data.DeleteValue(*path, name); });
}

Result<HiveData, ParseError> Store::ParseFile(sys::FileBytes& content, Hive hive, Reading reading) const
{
    ++m_parses;
    // The hive keeps the bytes and points into them.
    auto size = static_cast<size_t>(content.size);
    std::shared_ptr<const char[]> text(reinterpret_cast<const char*>(content.data.release()),
        [](const char* bytes) { delete[] reinterpret_cast<const uint8_t*>(bytes); });
    if (reading == Reading::HeadersNow)
        return OpenHive(std::move(text), size, hive);
    return ParseHive(std::move(text), size, hive);
}

std::shared_ptr<const HiveData> Store::Cached(Hive hive, const sys::FileIdentity& identity) const
{
    std::lock_guard lock(m_cacheMutex);
    const CachedHive& cached = m_cache.at(static_cast<size_t>(hive));
    return cached.data && cached.identity == identity ? cached.data : nullptr;
}

void Store::Keep(Hive hive, const sys::FileIdentity& identity, std::shared_ptr<const HiveData> data) const
{
    std::lock_guard lock(m_cacheMutex);
    m_cache.at(static_cast<size_t>(hive)) = CachedHive { identity, std::move(data) };
}

std::shared_ptr<const HiveData> Store::Load(Hive hive) const
{
    if (!IsKnownHive(hive) || m_directory.empty())
        return nullptr;
    auto empty = [] { return std::make_shared<const HiveData>(); };
    const auto& file = FilePath(hive);
    auto identity = sys::IdentityOf(file);
    if (!identity && identity.Error() == ENOENT)
        return empty();
    if (!identity) {
        ReportOnce("showsaver: registry: cannot read " + file.string() + ": " + ErrnoText(identity.Error()));
        return nullptr;
    }
    if (auto cached = Cached(hive, *identity))
        return cached;

    auto content = sys::ReadRegularFile(file, kMaxHiveBytes);
    if (!content) {
        using Kind = sys::FileProblem::Kind;
        const sys::FileProblem& problem = content.Error();
        if (problem.kind == Kind::CannotOpen && problem.error == ENOENT)
            return empty();
        if (problem.kind == Kind::NotRegular || problem.kind == Kind::TooLarge) {
            ReportOnce("showsaver: registry: " + problem.what + "; reading the hive as empty");
            return empty();
        }
        ReportOnce("showsaver: registry: " + problem.what);
        return nullptr;
    }
    // Only the key headers are read now; a key's values when they are asked for.
    auto parsed = ParseFile(*content, hive, Reading::HeadersNow);
    if (parsed) {
        auto data = std::make_shared<const HiveData>(std::move(*parsed));
        Keep(hive, content->identity, data);
        return data;
    }
    return Recover(hive, parsed.Error());
}

std::shared_ptr<const HiveData> Store::Recover(Hive hive, const ParseError& error) const
{
    auto empty = [] { return std::make_shared<const HiveData>(); };
    const auto& file = FilePath(hive);
    // Take the writers' lock and look again: a writer may have just replaced the file,
    // and only a file that is still bad may be moved aside.
    auto lock = FileLock::Acquire(WithSuffix(file, ".lock"));
    if (!lock) {
        ReportOnce("showsaver: registry: " + file.string() + ":" + std::to_string(error.line) + ": " + error.message
            + "; reading the hive as empty (" + lock.Error().what + ")");
        return empty();
    }
    auto content = sys::ReadRegularFile(file, kMaxHiveBytes);
    if (content) {
        auto again = ParseFile(*content, hive, Reading::Everything);
        if (again) {
            auto data = std::make_shared<const HiveData>(std::move(*again));
            Keep(hive, content->identity, data);
            return data;
        }
        Keep(hive, {}, nullptr);
        MoveAside(hive, again.Error().line, again.Error().message);
    }
    return empty();
}

bool Store::Modify(Hive hive, const std::function<bool(HiveData&)>& change)
{
    return static_cast<bool>(TryModify(hive, change));
}

Status<> Store::TryModify(Hive hive, const std::function<bool(HiveData&)>& change)
{
    auto fail = [](const std::string& message) -> Status<> {
        std::fprintf(stderr, "showsaver: registry: %s\n", message.c_str());
        return Error { message };
    };
    if (!IsKnownHive(hive))
        return fail("unknown hive");
    if (m_directory.empty())
        return fail("no folder for the registry files (neither XDG_CONFIG_HOME nor HOME is set)");
    if (auto made = MakePrivateDirectory(m_directory); !made)
        return fail(made.Error().what);

    const auto& file = FilePath(hive);
    auto lock = FileLock::Acquire(WithSuffix(file, ".lock"));
    if (!lock)
        return fail(lock.Error().what + "; nothing written");
    // Every writer holds the lock while its temporary file exists, so any one
    // found now was left by a writer that died.
    RemoveStaleTemporaries(file);

    HiveData data;
    auto identity = sys::IdentityOf(file);
    if (!identity && identity.Error() != ENOENT)
        return fail("cannot read " + file.string() + ": " + ErrnoText(identity.Error()) + "; nothing written");
    if (auto cached = identity ? Cached(hive, *identity) : nullptr) {
        data = *cached;
        // A change writes every key: read the lines a lazy open left, as a full parse would.
        if (auto read = data.ParseRemaining(); !read) {
            Keep(hive, {}, nullptr);
            data = HiveData {};
            if (!MoveAside(hive, read.Error().line, read.Error().message))
                return Error { file.string() + " cannot be parsed and cannot be moved aside; nothing written" };
        }
    } else if (identity) {
        auto content = sys::ReadRegularFile(file, kMaxHiveBytes);
        if (!content && !(content.Error().kind == sys::FileProblem::Kind::CannotOpen && content.Error().error == ENOENT))
            return fail(content.Error().what + "; nothing written");
        if (content) {
            auto parsed = ParseFile(*content, hive, Reading::Everything);
            if (parsed)
                data = std::move(*parsed);
            else if (!MoveAside(hive, parsed.Error().line, parsed.Error().message))
                return Error { file.string() + " cannot be parsed and cannot be moved aside; nothing written" };
        }
    }

    if (!change(data))
        return Error { "nothing to change" };
    if (auto replaced = ReplaceFileAtomically(file, FormatHive(data, hive)); !replaced)
        return fail(replaced.Error().what);
    // Writers hold the lock, so the file now is the one just written.
    if (auto written = sys::IdentityOf(file))
        Keep(hive, *written, std::make_shared<const HiveData>(std::move(data)));
    return {};
}

bool Store::MoveAside(Hive hive, int line, const std::string& message) const
{
    const auto& file = FilePath(hive);
    std::string problem = file.string() + ":" + std::to_string(line) + ": " + message;
    int error = EEXIST;
    std::filesystem::path bad;
    for (int copy = 0; copy <= kMaxBadCopies && error == EEXIST; ++copy) {
        bad = WithSuffix(file, copy == 0 ? ".bad" : ".bad." + std::to_string(copy));
        error = RenameWithoutReplacing(file, bad);
    }
    if (error != 0) {
        ReportOnce("showsaver: registry: " + problem + "; cannot move it aside (" + ErrnoText(error)
            + "), so it reads as empty and is not written");
        return false;
    }
    std::fprintf(stderr, "showsaver: registry: %s; moved aside to %s, the hive starts empty\n",
        problem.c_str(), bad.c_str());
    return true;
}

void Store::ReportOnce(const std::string& message) const
{
    std::lock_guard lock(m_reportedMutex);
    if (m_reported.insert(message).second)
        std::fprintf(stderr, "%s\n", message.c_str());
}

}
