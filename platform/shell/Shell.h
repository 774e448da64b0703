#pragma once

#include <filesystem>
#include <string>

namespace showsaver::shell {

// The file's base name without its last extension: "/a/b/My Show.scr" -> "My Show",
// "a.b.c" -> "a.b". Leading dots do not start an extension, so ".hidden" and ".."
// stay whole. Trailing slashes are ignored.
std::string DisplayName(const std::filesystem::path& path);

// The running executable, from /proc/self/exe; empty when it cannot be read.
std::filesystem::path SelfExecutablePath();

// Opens a web address with the desktop's handler: starts "xdg-open" (found on PATH) with
// the address as its one argument, never through a shell, and does not wait for it.
// False when it could not be started, and for an address that is empty, holds a NUL, or
// starts with '-' (xdg-open would read that as an option).
bool OpenAddress(const std::string& address);

}
