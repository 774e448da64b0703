// libFuzzer target: arbitrary bytes as the text of a settings hive. A text
// that parses must format to a text that parses to the same hive, and every
// stored key and value must be found by its name in any case; a text that
// does not parse must name a line within it. Never a crash or a hang.

#include "platform/registry/HiveText.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; });
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver::registry;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = ParseHive(text, Hive::CurrentUser);
    if (!parsed) {
        auto lines = std::count(text.begin(), text.end(), '\n') + 1;
        if (parsed.Error().line < 1 || parsed.Error().line > lines || parsed.Error().message.empty()) std::abort();
        return 0;
    }
    for (const Key& key : parsed->Keys()) {
        if (!parsed->HasKey(Upper(key.path))) std::abort();
        for (const NamedValue& value : key.values)
            if (parsed->FindValue(key.path, Upper(value.name)) != value.value) std::abort();
    }
    std::string formatted = FormatHive(*parsed, Hive::CurrentUser);
    auto again = ParseHive(formatted, Hive::CurrentUser);
    if (!again || FormatHive(*again, Hive::CurrentUser) != formatted) std::abort();
    return 0;
}
