#pragma once
// showpack install: makes a packed show a screensaver of the X screensaver
// daemons. The saver goes where xscreensaver looks for its programs (or into
// the user's data folder), with xscreensaver's settings file for it and a
// screensaver entry for MATE; the engine library goes where the saver's run
// path finds it.

#include "platform/sys/Result.h"
#include "tools/showpack/Commands.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace showsaver::showpack {

struct InstallOptions {
    std::filesystem::path saver;            // the packed show
    std::optional<std::string> name;        // the saver's name; its file name by default
    bool user = false;                      // into $XDG_DATA_HOME instead of a prefix
    std::optional<std::filesystem::path> prefix;
    bool dryRun = false;
    bool force = false;                     // overwrite files that differ from ours
};

// One file the installation writes.
struct InstallFile {
    std::filesystem::path path;
    std::string contents;                   // the text to write, when `copyFrom` is empty
    std::filesystem::path copyFrom;         // a file copied as it is
    bool executable = false;
};

// A saver's name: letters, digits, '-', '_' and '.', not starting with '.'
// or '-', at most 64 bytes; it becomes a file name and a command.
bool IsValidSaverName(const std::string& name);

// xscreensaver's settings file of the saver `name` (see its
// hacks/config/README); the saver is run with --root.
std::string SaverSettingsXml(const std::string& name, const std::string& label, const std::string& description);
// MATE's screensaver entry for the saver at `command`.
std::string ScreensaverDesktopEntry(const std::string& name, const std::string& label, const std::string& description,
                                    const std::filesystem::path& command);
// The text of the show's enabled note items, one paragraph each, in UTF-8,
// at most 2,000 bytes; empty when it has none or cannot be read.
std::string NoteDescription(const std::filesystem::path& saver);

// What `options` would write, where, and the line for ~/.xscreensaver.
// `dataHome` is $XDG_DATA_HOME (or ~/.local/share); `defaultPrefix` the
// prefix showpack was installed into; `engineLibrary` the engine library.
struct InstallPlan {
    std::vector<InstallFile> files;
    std::string programsLine;
};
Result<InstallPlan> PlanInstall(const InstallOptions& options, const std::filesystem::path& dataHome,
                                const std::filesystem::path& defaultPrefix,
                                const std::filesystem::path& engineLibrary);

// The engine library beside the engine, or in ../lib from it; empty when
// there is none.
std::filesystem::path FindEngineLibrary();

// Plans, checks for files of other savers, then writes (or, with --dry-run,
// prints) everything; returns the exit status.
int Install(const InstallOptions& options, std::ostream& out, std::ostream& err);

} // namespace showsaver::showpack
