#pragma once
// The screensaver command line: a mode word and, for the preview and the
// password change, a window id.

#include <cstdint>
#include <span>
#include <string_view>

namespace showsaver {

enum class RunMode {
    Settings,            // no argument: settings dialog without a parent
    SettingsWithParent,  // c: settings dialog over the foreground window
    Show,                // s: the fullscreen show
    Preview,             // p WINDOW: the preview inside WINDOW
    Password,            // a WINDOW: change the password
    None,                // anything else: nothing is shown
};

struct CommandLine {
    RunMode mode = RunMode::None;
    int64_t window = 0;       // the decimal window id of modes p and a
    bool hasWindow = false;
};

// True when the word's first two characters, after one leading '-' or '/'
// is dropped, are the letter in either case: /s, -S, s and S select s, and
// /c:123 is cut to /c.
bool MatchesMode(std::string_view word, char letter);

// `args` are the arguments after the program's name.
CommandLine ParseCommandLine(std::span<const char* const> args);

} // namespace showsaver
