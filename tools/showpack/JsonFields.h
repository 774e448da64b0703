#pragma once
// Item fields to and from JSON, through the items' own field lists.

#include "platform/sys/Result.h"
#include "show/Item.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace showsaver::showpack {

using Json = nlohmann::ordered_json;

// Writes an item's fields into a JSON object. With `filesDirectory` set,
// every embedded file is also written there and named by a "path".
class DumpVisitor final : public FieldVisitor {
public:
    DumpVisitor(Json& out, const std::filesystem::path* filesDirectory, int itemIndex)
        : m_out(out), m_filesDirectory(filesDirectory), m_itemIndex(itemIndex) {}

    void Int(std::string_view key, int32_t& value) override { m_out[std::string(key)] = value; }
    void UInt(std::string_view key, uint32_t& value) override { m_out[std::string(key)] = value; }
    void Byte(std::string_view key, uint8_t& value) override { m_out[std::string(key)] = value; }
    void Text(std::string_view key, std::string& cp1252, size_t maxBytes) override;
    void Group(std::string_view key, const std::function<void(FieldVisitor&)>& fields) override;
    void File(std::string_view key, EmbeddedFile& file) override;
    void Reference(std::string_view key, Item*& source) override;
    void Users(std::span<const ItemUserLink> users) override;

    // Set when writing an embedded file failed.
    const std::string& Error() const { return m_error; }

private:
    Json& m_out;
    const std::filesystem::path* m_filesDirectory;
    int m_itemIndex;
    std::string m_error;
};

// A reference a built item makes, resolved once every item exists: by the
// target's index, or by its name.
struct PendingReference {
    Item* item;
    std::string field;
    int32_t target = -1;
    std::optional<std::string> name;
};

// A problem with one field: its path inside the item ("placement.effect")
// and what is wrong.
struct FieldProblem {
    std::string path;
    std::string what;
};

// Sets an item's fields from a JSON object. The first problem is kept with
// the field's path; unknown fields are problems too. Besides numbers it
// reads the words of FriendlyValues.h: colours, durations and effects (as
// "effect" or "effectNumber"), and references by name.
class BuildVisitor final : public FieldVisitor {
public:
    BuildVisitor(const Json& in, Item& item, const std::filesystem::path& baseDirectory,
                 std::vector<PendingReference>& references, std::string prefix = {});

    void Int(std::string_view key, int32_t& value) override;
    void UInt(std::string_view key, uint32_t& value) override;
    void Byte(std::string_view key, uint8_t& value) override;
    void Text(std::string_view key, std::string& cp1252, size_t maxBytes) override;
    void Group(std::string_view key, const std::function<void(FieldVisitor&)>& fields) override;
    void File(std::string_view key, EmbeddedFile& file) override;
    void Reference(std::string_view key, Item*& source) override;
    void Users(std::span<const ItemUserLink>) override {}

    // Marks keys the caller handles itself, so they are not unknown.
    void Accept(std::string_view key) { m_seen.emplace_back(key); }
    // After the fields were visited: the first problem, or an unknown field.
    Status<FieldProblem> Finish();

private:
    const Json* Find(std::string_view key);
    void Problem(std::string_view key, std::string what);
    std::optional<int64_t> Integer(std::string_view key, int64_t low, int64_t high);
    // A word for a number, read by the field's meaning; nothing (and maybe a
    // problem) when the value is no such word.
    std::optional<int64_t> Word(std::string_view key, const Json& value);

    const Json& m_in;
    Item& m_item;
    const std::filesystem::path& m_baseDirectory;
    std::vector<PendingReference>& m_references;
    std::string m_prefix;
    std::vector<std::string> m_seen;
    std::optional<FieldProblem> m_problem;
    std::string m_effectKey = "effectNumber";   // the key the description used
};

} // namespace showsaver::showpack
