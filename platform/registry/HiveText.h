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

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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
// the case they were first written with. Keys, and the values of keys with many, are
// found through hash indexes of their case-folded names, so that parsing a file is
// linear in its size.
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

    // The same, by the key's place in Keys(), as the parser fills the key it is in.
    size_t KeyIndexFor(std::string_view path);
    void SetValueAt(size_t keyIndex, std::string name, Value value);
    // Makes room for `keys` keys before they are added.
    void ReserveKeys(size_t keys);

private:
    Key* FindKeyMutable(std::string_view path);
    // The value's place in the key's values, or npos.
    size_t FindValueIndex(size_t keyIndex, std::string_view name) const;
    void IndexValues(size_t keyIndex);

    // The key of `path` in the open-addressing table: its slot, which holds the key's
    // index + 1, or 0 when the key is not there.
    size_t KeySlot(std::string_view path, uint64_t hash) const;
    // Doubles the table, or makes it `slots` long when that is more.
    void GrowKeyTable(size_t slots);

    std::vector<Key> m_keys;
    std::vector<uint64_t> m_keyHashes;    // the hash of each key's folded path
    std::vector<uint32_t> m_keyTable;     // index + 1 of a key, 0 for a free slot; a power of two long
    // Key index -> (folded value name -> index in its values), for the keys with many
    // values. A key with a few values is searched in place.
    std::unordered_map<size_t, std::unordered_map<std::string, size_t>> m_valueIndexes;
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
