#pragma once

// The text form of one hive: a .reg export (UTF-8) holding string and dword values.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Tarvanix\Screen Saver\demo\Settings]
//   @="default text"
//   "Name"="text with \\ and \" and \x01"
//   "Count"=dword:0000001f
//
// Text escapes: \\ and \" as the registry editor writes them, plus \xHH for control
// characters and bytes that are not valid UTF-8, so every value stays on one line and
// any byte string survives a round trip.

#include "platform/registry/Hive.h"

#include "platform/sys/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace showsaver::registry {

struct NamedValue {
    std::string name;   // "" is the key's default value
    Value value;
};

struct Key {
    std::string path;   // below the hive root, components joined by one '\'; "" is the root
    std::vector<NamedValue> values;
};

// ASCII case folding, as key and value names compare on Windows.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Drops empty components ("\\A\\\\B\\" -> "A\\B"). Nothing when a component holds a
// control character or bytes that are not UTF-8: such a name cannot go on a header line.
std::optional<std::string> NormalizeKeyPath(std::string_view keyPath);

// The keys and values of one hive, in file order. Lookups ignore case; stored names keep
// the case they were first written with.
class HiveData {
public:
    const std::vector<Key>& Keys() const { return m_keys; }

    // `path` must be normalized.
    const Key* FindKey(std::string_view path) const;
    // True when the key, or any key below it, exists; the root always exists.
    bool HasKeyOrSubkey(std::string_view path) const;
    const Value* FindValue(std::string_view path, std::string_view name) const;

    void SetValue(std::string_view path, std::string_view name, Value value);
    // True when the value was there.
    bool DeleteValue(std::string_view path, std::string_view name);
    // Adds the key when missing and returns it.
    Key& KeyFor(std::string_view path);

private:
    Key* FindKeyMutable(std::string_view path);

    std::vector<Key> m_keys;
};

struct ParseError {
    int line = 0;   // 1-based
    std::string message;
};

// Reads a hive's file text. Empty text is an empty hive. Comment lines (;) are skipped;
// a key header repeated later adds to the same key. Anything else that is not a header,
// a string or dword value, or a blank line is an error.
Result<HiveData, ParseError> ParseHive(std::string_view text, Hive hive);

// The file text for `data`: the version line, a blank line, then each key's header and
// values followed by a blank line.
std::string FormatHive(const HiveData& data, Hive hive);

std::string EscapeText(std::string_view text);

}
