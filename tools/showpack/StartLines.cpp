#include "tools/showpack/StartLines.h"

namespace showsaver::showpack {

namespace {

// Ten minutes, the usual screensaver delay.
constexpr int kIdleSeconds = 600;

} // namespace

std::string ShellWord(const std::string& word) {
    bool plain = !word.empty();
    for (char c : word) {
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                    c == '.' || c == '_' || c == '-' || c == '+' || c == ',' || c == ':' || c == '=';
        plain = plain && safe;
    }
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

std::string ShowCommand(const std::filesystem::path& saver) { return ShellWord(saver.string()) + " /s"; }

std::string SwayidleLine(const std::filesystem::path& saver, int seconds) {
    // sway hands the line to the shell, which hands swayidle the command as
    // one word; swayidle hands that to the shell in turn.
    return "exec swayidle -w timeout " + std::to_string(seconds) + " " + ShellWord(ShowCommand(saver));
}

std::string HypridleListener(const std::filesystem::path& saver, int seconds) {
    return "listener {\n    timeout = " + std::to_string(seconds) + "\n    on-timeout = " + ShowCommand(saver) + "\n}";
}

void PrintStartLines(std::ostream& out, const std::filesystem::path& saver) {
    out << "On Wayland, add this line to ~/.config/sway/config (swayidle):\n"
        << SwayidleLine(saver, kIdleSeconds) << "\n"
        << "or this listener to ~/.config/hypr/hypridle.conf (hypridle):\n"
        << HypridleListener(saver, kIdleSeconds) << "\n";
}

} // namespace showsaver::showpack
