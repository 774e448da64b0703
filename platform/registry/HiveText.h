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
#include <memory>
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

struct ParseError;

// ASCII case folding, as key and value names compare on Windows.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Drops empty components ("\\A\\\\B\\" -> "A\\B"). Nothing when a component holds a
// control character or bytes that are not UTF-8: such a name cannot go on a header line.
std::optional<std::string> NormalizeKeyPath(std::string_view keyPath);
// The same as a view: `keyPath` itself when it is normalized already, else `storage`
// holding the normalized path.
std::optional<std::string_view> NormalizeKeyPath(std::string_view keyPath, std::string& storage);

// The keys and values of one hive, in file order. Lookups ignore case; stored names keep
// the case they were first written with, and a value written twice keeps the last.
//
// A parsed hive holds the file's text and points into it: a key's path, a value's name
// and text are views of their bytes in the file, decoded (escapes and all) only when a
// value is looked up. Nothing is allocated per key or value, so reading a hive costs
// about one pass over its bytes. Values set later are kept in strings of their own.
// Copies share the text; every const member may be used from many threads at once.
//
// A hive from OpenHive has read only its key headers: each key's value lines are read
// each time one of its values is looked up, until ParseRemaining reads them all. A
// broken line among them is found then, and reported as the file's first error, the
// one ParseHive gives for the whole text. Keys(), FormatHive and the changes read the
// remaining lines first; call ParseRemaining before them to learn of a broken line
// (they leave a broken key with the values before its broken line).
class HiveData {
public:
    // The keys with their values decoded, duplicates folded: the hive as it is written.
    std::vector<Key> Keys() const;
    size_t KeyCount() const { return m_keys.size(); }

    // `path` must be normalized.
    bool HasKey(std::string_view path) const;
    // True when the key, or any key below it, exists; the root always exists.
    bool HasKeyOrSubkey(std::string_view path) const;
    // Nothing when the value is missing, or when the key's lines are broken.
    std::optional<Value> FindValue(std::string_view path, std::string_view name) const;
    // The same, with the file's first error when the key's lines are broken.
    Result<std::optional<Value>, ParseError> Lookup(std::string_view path, std::string_view name) const;

    // True when every value line has been read.
    bool AllRead() const { return m_allRead; }
    // Reads the value lines not read yet. Fails with the file's first error.
    Status<ParseError> ParseRemaining();

    void SetValue(std::string_view path, std::string_view name, Value value);
    // True when the value was there.
    bool DeleteValue(std::string_view path, std::string_view name);
    // Adds the key when missing.
    void AddKey(std::string_view path);

private:
    friend class HiveParser;
    friend Result<HiveData, struct ParseError> ParseHive(std::shared_ptr<const char[]> text, size_t size, Hive hive);
    friend Result<HiveData, struct ParseError> OpenHive(std::shared_ptr<const char[]> text, size_t size, Hive hive);
    static constexpr uint32_t kNone = UINT32_MAX;
    // Joins the list [first, last] of `nodes` (linked by `next`) to the end
    // of the list [head, tail].
    template <typename Node>
    static void AppendList(std::vector<Node>& nodes, uint32_t& head, uint32_t& tail, uint32_t first, uint32_t last) {
        if (first == kNone) return;
        if (tail == kNone)
            head = first;
        else
            nodes[tail].next = first;
        tail = last;
    }

    struct StoredKey {
        std::string_view path;
        uint32_t first = kNone;   // the key's entries, a list in file order
        uint32_t last = kNone;
        uint32_t region = kNone;   // the key's value lines not read yet, a list in file order
        uint32_t lastRegion = kNone;
    };
    // The lines between a header and the next one: [begin, end) in the text.
    struct Region {
        uint32_t begin = 0, end = 0;
        uint32_t next = kNone;
    };
    // One value line (or one value set later), in 24 bytes: its name and text are
    // places in the hive's text, or in its own strings (the Owned flags). A name or text
    // still holding escapes is decoded when read.
    struct Entry {
        enum Flags : uint8_t { Dword = 1, NameEscaped = 2, TextEscaped = 4, NameOwned = 8, TextOwned = 16 };
        uint32_t nameAt = 0, nameLength = 0;
        uint32_t textAt = 0, textLength = 0;   // a dword's number in textAt
        uint32_t next = kNone;
        uint8_t flags = 0;
    };

    // The key's index; a new key keeps `path` as given when `owned`, else a copy of it.
    size_t KeyIndexFor(std::string_view path, bool owned);
    void Append(size_t keyIndex, const Entry& entry);
    // The entry of `name` in the key (its first, whose name is kept) or kNone.
    uint32_t FirstMatch(size_t keyIndex, std::string_view name) const;
    bool NameMatches(const Entry& entry, std::string_view name) const;
    Value ValueOf(const Entry& entry) const;
    std::string NameOf(const Entry& entry) const;
    std::string_view Own(std::string_view text);
    // The name or text of an entry as it is stored (escapes and all).
    std::string_view NameView(const Entry& entry) const;
    std::string_view TextView(const Entry& entry) const;
    // Where `view` lies in the hive's text.
    uint32_t TextOffset(std::string_view view) const;
    // Gives each value line of the region to `take`; false at a line that is no value.
    template <typename Take>
    bool ReadRegion(const Region& region, Take&& take) const;
    // The first error of the whole text, as ParseHive finds it.
    ParseError FirstError() const;
    // Reads what is left, ignoring a broken line (see the class comment).
    void ReadAll();

    // The key of `path` in the open-addressing table: its slot, which holds the key
    // (see m_keyTable), or 0 when the key is not there.
    size_t KeySlot(std::string_view path, uint64_t hash) const;
    // Doubles the table, or makes it `slots` long when that is more.
    void GrowKeyTable(size_t slots);
    // The parser adds every header as a key, then folds repeated ones and indexes them all.
    size_t AddParsedKey(std::string_view path, bool owned);
    size_t AddParsedKey(std::string_view path, bool owned, uint64_t hash);
    void IndexParsedKeys();

    std::shared_ptr<const char[]> m_text;                   // the parsed file's bytes
    std::vector<std::shared_ptr<const std::string>> m_owned;  // texts set after parsing
    std::vector<StoredKey> m_keys;
    std::vector<uint64_t> m_keyHashes;    // the hash of each key's folded path
    // A power of two long; a free slot is 0, a key's slot holds the high half of its
    // hash over its index + 1, so that most probes read no key.
    std::vector<uint64_t> m_keyTable;
    static uint64_t TableEntry(size_t index, uint64_t hash) { return (hash & ~uint64_t { UINT32_MAX }) | (index + 1); }
    static size_t KeyOf(uint64_t entry) { return static_cast<uint32_t>(entry) - 1; }
    std::vector<Entry> m_entries;
    std::vector<Region> m_regions;        // while some lines are not read
    size_t m_textSize = 0;
    Hive m_hive = Hive::CurrentUser;
    bool m_allRead = true;
};

struct ParseError {
    int line = 0;   // 1-based
    std::string message;
};

// Reads a hive's file text. Empty text is an empty hive. Comment lines (;) are skipped;
// a key header repeated later adds to the same key. Anything else that is not a header,
// a string or dword value, or a blank line is an error.
Result<HiveData, ParseError> ParseHive(std::string_view text, Hive hive);
// The same over a buffer of `size` bytes that the hive keeps, without a copy.
Result<HiveData, ParseError> ParseHive(std::shared_ptr<const char[]> text, size_t size, Hive hive);
// The same, reading only the version line and the key headers now, and the lines of a
// key's values when they are looked up (see HiveData). Fails as ParseHive does when the
// version line, a header or a line before the first header is wrong.
Result<HiveData, ParseError> OpenHive(std::shared_ptr<const char[]> text, size_t size, Hive hive);

// The file text for `data`: the version line, a blank line, then each key's header and
// values followed by a blank line.
std::string FormatHive(const HiveData& data, Hive hive);

std::string EscapeText(std::string_view text);

}
