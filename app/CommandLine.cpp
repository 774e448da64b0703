#include "app/CommandLine.h"

#include <cctype>
#include <cstdlib>

namespace showsaver {

bool MatchesMode(std::string_view word, char letter) {
    word = word.substr(0, 2);
    if (!word.empty() && (word.front() == '-' || word.front() == '/')) word.remove_prefix(1);
    return word.size() == 1 &&
           std::tolower(static_cast<unsigned char>(word.front())) == std::tolower(static_cast<unsigned char>(letter));
}

CommandLine ParseCommandLine(std::span<const char* const> args) {
    CommandLine line;
    if (args.empty()) {
        line.mode = RunMode::Settings;
        return line;
    }
    std::string_view word = args[0] ? args[0] : "";
    // The letters are tested in this order.
    if (MatchesMode(word, 'c'))
        line.mode = RunMode::SettingsWithParent;
    else if (MatchesMode(word, 'p'))
        line.mode = RunMode::Preview;
    else if (MatchesMode(word, 's'))
        line.mode = RunMode::Show;
    else if (MatchesMode(word, 'a'))
        line.mode = RunMode::Password;
    if (args.size() > 1 && args[1]) {
        // Read like atol: leading digits, 0 when there are none.
        line.window = std::strtoll(args[1], nullptr, 10);
        line.hasWindow = true;
    }
    return line;
}

} // namespace showsaver
