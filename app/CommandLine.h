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
    // The X screensaver daemons' conventions; the daemon owns the exit and
    // the lock, the show plays until a signal or until its window goes.
    HackRoot,            // -root: $XSCREENSAVER_WINDOW, else the root window
    HackWindowId,        // -window-id ID: inside the window ID
    HackWindow,          // -window: a top-level window of its own
    BadArguments,        // a hack option with a missing or unreadable window id
    Help,                // --help or -h: what the program does
};

struct CommandLine {
    RunMode mode = RunMode::None;
    int64_t window = 0;       // the decimal window id of modes p and a, or the id of -window-id
    bool hasWindow = false;
};

// An X window id written in decimal or as 0x followed by hex digits, nothing
// else around it; 0 when the text is not one (X ids are 29-bit and never 0).
unsigned long ParseWindowId(std::string_view text);

// True for the words of the hack conventions: -root, --root, -window,
// --window, -window-id, --window-id.
bool IsHackOption(std::string_view word);

// True when the word's first two characters, after one leading '-' or '/'
// is dropped, are the letter in either case: /s, -S, s and S select s, and
// /c:123 is cut to /c.
bool MatchesMode(std::string_view word, char letter);

// `args` are the arguments after the program's name.
CommandLine ParseCommandLine(std::span<const char* const> args);

} // namespace showsaver
