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

unsigned long ParseWindowId(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 10) return 0;
    uint64_t value = 0;
    for (char c : text) {
        int digit = c >= '0' && c <= '9'                ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
        if (digit < 0) return 0;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    return value <= 0x1FFFFFFFu ? static_cast<unsigned long>(value) : 0;
}

namespace {

// The hack option `word` names, after one or two leading dashes.
std::string_view HackOptionName(std::string_view word) {
    if (word.starts_with("--")) word.remove_prefix(2);
    else if (word.starts_with("-")) word.remove_prefix(1);
    else return {};
    return word == "root" || word == "window" || word == "window-id" ? word : std::string_view{};
}

} // namespace

bool IsHackOption(std::string_view word) { return !HackOptionName(word).empty(); }

CommandLine ParseCommandLine(std::span<const char* const> args) {
    CommandLine line;
    if (args.empty()) {
        line.mode = RunMode::Settings;
        return line;
    }
    if (args[0] && (std::string_view(args[0]) == "--help" || std::string_view(args[0]) == "-h")) {
        line.mode = RunMode::Help;
        return line;
    }
    // The daemons may add options of their own; the first hack option
    // anywhere decides.
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view name = HackOptionName(args[i] ? args[i] : "");
        if (name.empty()) continue;
        if (name == "root") {
            line.mode = RunMode::HackRoot;
        } else if (name == "window") {
            line.mode = RunMode::HackWindow;
        } else {
            unsigned long id = i + 1 < args.size() && args[i + 1] ? ParseWindowId(args[i + 1]) : 0;
            line.mode = id ? RunMode::HackWindowId : RunMode::BadArguments;
            line.window = static_cast<int64_t>(id);
            line.hasWindow = id != 0;
        }
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
