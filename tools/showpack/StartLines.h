#pragma once
// The lines that start an installed saver from the Wayland idle daemons:
// swayidle (a line of sway's configuration) and hypridle (a listener of
// hypridle.conf). Both daemons hand their command to `sh -c`.

#include <filesystem>
#include <ostream>
#include <string>

namespace showsaver::showpack {

// `word` as one word of the shell, in single quotes when it needs them.
std::string ShellWord(const std::string& word);

// The command the daemons run: the saver's show, `/s`.
std::string ShowCommand(const std::filesystem::path& saver);
// `exec swayidle ...`, for ~/.config/sway/config; the show starts after
// `seconds` without input.
std::string SwayidleLine(const std::filesystem::path& saver, int seconds);
// A `listener { ... }` block of ~/.config/hypr/hypridle.conf.
std::string HypridleListener(const std::filesystem::path& saver, int seconds);

// Prints both, with where they go.
void PrintStartLines(std::ostream& out, const std::filesystem::path& saver);

} // namespace showsaver::showpack
