// libFuzzer target: arbitrary bytes as the text of a settings hive. A text
// that parses must format to a text that parses to the same hive, and every
// stored key and value must be found by its name in any case; a text that
// does not parse must name a line within it. Opening the text by its headers
// must agree with the full parse: the same values, and the same error, at
// the open or at the first read of a broken key. Never a crash or a hang.

#include "platform/registry/HiveText.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; });
    return text;
}

} // namespace

bool SameError(const showsaver::registry::ParseError& a, const showsaver::registry::ParseError& b) {
    return a.line == b.line && a.message == b.message;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver::registry;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = ParseHive(text, Hive::CurrentUser);
    std::shared_ptr<char[]> bytes(new char[size + 1]);
    std::copy(text.begin(), text.end(), bytes.get());
    auto opened = OpenHive(bytes, size, Hive::CurrentUser);
    if (!parsed) {
        auto lines = std::count(text.begin(), text.end(), '\n') + 1;
        if (parsed.Error().line < 1 || parsed.Error().line > lines || parsed.Error().message.empty()) std::abort();
        if (!opened) {
            if (!SameError(opened.Error(), parsed.Error())) std::abort();
            return 0;
        }
        // Every key reads well or fails with the file's first error; reading them all fails with it.
        for (const Key& key : opened->Keys()) {
            auto found = opened->Lookup(key.path, "x");
            if (!found && !SameError(found.Error(), parsed.Error())) std::abort();
        }
        HiveData all = *opened;
        auto rest = all.ParseRemaining();
        if (rest || !SameError(rest.Error(), parsed.Error())) std::abort();
        return 0;
    }
    if (!opened) std::abort();
    for (const Key& key : parsed->Keys()) {
        if (!parsed->HasKey(Upper(key.path)) || !opened->HasKey(Upper(key.path))) std::abort();
        for (const NamedValue& value : key.values) {
            if (parsed->FindValue(key.path, Upper(value.name)) != value.value) std::abort();
            auto found = opened->Lookup(Upper(key.path), Upper(value.name));
            if (!found || *found != value.value) std::abort();
        }
    }
    std::string formatted = FormatHive(*parsed, Hive::CurrentUser);
    HiveData all = *opened;
    if (!all.ParseRemaining() || FormatHive(all, Hive::CurrentUser) != formatted) std::abort();
    auto again = ParseHive(formatted, Hive::CurrentUser);
    if (!again || FormatHive(*again, Hive::CurrentUser) != formatted) std::abort();
    return 0;
}
