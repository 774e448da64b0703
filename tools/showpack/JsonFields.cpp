#include "tools/showpack/JsonFields.h"

#include "platform/shell/Shell.h"
#include "platform/sys/RegularFile.h"
#include "show/EmbeddedFile.h"
#include "show/Windows1252.h"
#include "tools/showpack/FieldMeanings.h"
#include "tools/showpack/FriendlyValues.h"

#include <algorithm>
#include <fstream>

namespace showsaver::showpack {

void DumpVisitor::Text(std::string_view key, std::string& cp1252, size_t) {
    m_out[std::string(key)] = Cp1252ToUtf8(cp1252);
}

void DumpVisitor::Group(std::string_view key, const std::function<void(FieldVisitor&)>& fields) {
    Json group = Json::object();
    DumpVisitor inner(group, m_filesDirectory, m_itemIndex);
    fields(inner);
    if (m_error.empty()) m_error = inner.Error();
    m_out[std::string(key)] = std::move(group);
}

void DumpVisitor::File(std::string_view key, EmbeddedFile& file) {
    Json out = {{"name", Cp1252ToUtf8(file.Name())}, {"size", file.Size()}};
    if (m_filesDirectory && !file.Empty()) {
        auto path = *m_filesDirectory / ("item" + std::to_string(m_itemIndex) + "-" + std::string(key) + ".bin");
        auto contents = file.Contents();
        std::ofstream stream(path, std::ios::binary | std::ios::trunc);
        if (contents)
            stream.write(reinterpret_cast<const char*>(contents->bytes.data()), static_cast<std::streamsize>(file.Size()));
        if (!contents)
            m_error = "cannot read the bytes of " + Cp1252ToUtf8(file.Name()) + " from the show's file";
        else if (!stream.flush())
            m_error = "cannot write " + path.string();
        out["path"] = path.string();
    }
    m_out[std::string(key)] = std::move(out);
}

void DumpVisitor::Reference(std::string_view key, Item*& source) {
    m_out[std::string(key)] = source ? Json(source->Index()) : Json(nullptr);
}

void DumpVisitor::Users(std::span<const ItemUserLink> users) {
    Json list = Json::array();
    for (const auto& link : users) list.push_back(link.item ? link.item->Index() : -1);
    m_out["users"] = std::move(list);
}

BuildVisitor::BuildVisitor(const Json& in, Item& item, const std::filesystem::path& baseDirectory,
                           std::vector<PendingReference>& references, std::string prefix)
    : m_in(in), m_item(item), m_baseDirectory(baseDirectory), m_references(references),
      m_prefix(std::move(prefix)) {}

const Json* BuildVisitor::Find(std::string_view key) {
    m_seen.emplace_back(key);
    auto it = m_in.find(std::string(key));
    if (auto alias = FriendlyKey(m_prefix + std::string(key)); !alias.empty()) {
        m_seen.emplace_back(alias);
        auto friendly = m_in.find(std::string(alias));
        if (friendly != m_in.end() && it != m_in.end()) {
            Problem(alias, "give " + std::string(alias) + " or " + std::string(key) + ", not both");
            return nullptr;
        }
        if (friendly != m_in.end()) {
            if (key == "effectNumber") m_effectKey = alias;
            return &*friendly;
        }
    }
    return it == m_in.end() ? nullptr : &*it;
}

void BuildVisitor::Problem(std::string_view key, std::string what) {
    if (key == "effectNumber") key = m_effectKey;
    if (!m_problem) m_problem = FieldProblem{m_prefix + std::string(key), std::move(what)};
}

std::optional<int64_t> BuildVisitor::Word(std::string_view key, const Json& value) {
    const std::string& text = value.get_ref<const std::string&>();
    switch (MeaningOf(m_prefix + std::string(key))) {
    case FieldMeaning::Colour:
        if (auto colour = ColourByText(text)) return *colour;
        {
            std::vector<std::string> names(ColourNames().begin(), ColourNames().end());
            Problem(key, "unknown colour \"" + text + "\"" + Suggestion(text, names) +
                             "; give \"#rrggbb\" or one of the 16 HTML colour names");
        }
        return std::nullopt;
    case FieldMeaning::Duration: {
        auto duration = DurationByText(text);
        if (duration) return *duration;
        Problem(key, duration.Error().what);
        return std::nullopt;
    }
    case FieldMeaning::Effect:
        if (auto effect = EffectByName(text)) return *effect;
        {
            std::vector<std::string> names(EffectNames().begin(), EffectNames().end());
            Problem(key, "unknown effect \"" + text + "\"" + Suggestion(text, names));
        }
        return std::nullopt;
    case FieldMeaning::Plain: break;
    }
    Problem(key, "expected a whole number");
    return std::nullopt;
}

std::optional<int64_t> BuildVisitor::Integer(std::string_view key, int64_t low, int64_t high) {
    const Json* value = Find(key);
    if (!value) return std::nullopt;
    if (value->is_string()) {
        auto word = Word(key, *value);
        if (word && (*word < low || *word > high)) {
            Problem(key, "expected a number from " + std::to_string(low) + " to " + std::to_string(high));
            return std::nullopt;
        }
        return word;
    }
    if (!value->is_number_integer()) {
        Problem(key, "expected a whole number");
        return std::nullopt;
    }
    // Compare without narrowing: unsigned JSON numbers above int64 are out of range too.
    if (value->is_number_unsigned() ? value->get<uint64_t>() > static_cast<uint64_t>(high)
                                    : value->get<int64_t>() < low || value->get<int64_t>() > high) {
        Problem(key, "expected a number from " + std::to_string(low) + " to " + std::to_string(high));
        return std::nullopt;
    }
    return value->get<int64_t>();
}

void BuildVisitor::Int(std::string_view key, int32_t& value) {
    if (auto v = Integer(key, INT32_MIN, INT32_MAX)) value = static_cast<int32_t>(*v);
}

void BuildVisitor::UInt(std::string_view key, uint32_t& value) {
    if (auto v = Integer(key, 0, UINT32_MAX)) value = static_cast<uint32_t>(*v);
}

void BuildVisitor::Byte(std::string_view key, uint8_t& value) {
    if (auto v = Integer(key, 0, 255)) value = static_cast<uint8_t>(*v);
}

void BuildVisitor::Text(std::string_view key, std::string& cp1252, size_t maxBytes) {
    const Json* value = Find(key);
    if (!value) return;
    if (!value->is_string()) return Problem(key, "expected a text");
    bool lossless = true;
    std::string converted = Utf8ToCp1252(value->get<std::string>(), '?', &lossless);
    if (!lossless) return Problem(key, "holds characters that a show cannot store (Windows-1252)");
    if (converted.size() > maxBytes)
        return Problem(key, "is longer than " + std::to_string(maxBytes) + " characters");
    cp1252 = std::move(converted);
}

void BuildVisitor::Group(std::string_view key, const std::function<void(FieldVisitor&)>& fields) {
    const Json* value = Find(key);
    if (!value) return;
    if (!value->is_object()) return Problem(key, "expected an object");
    BuildVisitor inner(*value, m_item, m_baseDirectory, m_references, m_prefix + std::string(key) + ".");
    fields(inner);
    if (auto finished = inner.Finish(); !finished && !m_problem) m_problem = finished.Error();
}

void BuildVisitor::File(std::string_view key, EmbeddedFile& file) {
    const Json* value = Find(key);
    if (!value) return;
    if (!value->is_object()) return Problem(key, "expected an object with a path");
    std::string field = std::string(key) + ".";
    for (const auto& [name, ignored] : value->items())
        if (name != "path" && name != "name" && name != "size") return Problem(field + name, "unknown field");
    auto path = value->find("path");
    if (path == value->end()) {
        auto size = value->find("size");
        if (size != value->end() && !(size->is_number_integer() && size->get<int64_t>() == 0))
            return Problem(field + "path", "a file of " + size->dump() + " bytes needs the path of its bytes");
        file.Free();
    } else {
        if (!path->is_string()) return Problem(field + "path", "expected a text");
        const std::string& text = path->get_ref<const std::string&>();
        if (text.empty()) return Problem(field + "path", "expected the path of a file");
        if (text.find('\0') != std::string::npos) return Problem(field + "path", "holds a NUL character");
        std::filesystem::path where = std::filesystem::u8path(text);
        if (where.is_relative()) where = m_baseDirectory / where;
        // The size field of an embedded file is 32 bits wide.
        auto read = sys::ReadRegularFile(where, UINT32_MAX);
        if (!read && read.Error().kind == sys::FileProblem::Kind::TooLarge)
            return Problem(field + "path", where.string() + " is larger than 4 GiB");
        if (!read) return Problem(field + "path", read.Error().what);
        auto length = static_cast<uint32_t>(read->size);
        file.Assign(Utf8ToCp1252(shell::DisplayName(where)), std::move(read->data), length);
    }
    if (auto name = value->find("name"); name != value->end()) {
        if (!name->is_string()) return Problem(field + "name", "expected a text");
        bool lossless = true;
        std::string converted = Utf8ToCp1252(name->get<std::string>(), '?', &lossless);
        if (!lossless) return Problem(field + "name", "holds characters that a show cannot store (Windows-1252)");
        file.SetName(std::move(converted));
    }
}

// The source is set once every item exists (a reference may point ahead).
void BuildVisitor::Reference(std::string_view key, Item*&) {
    const Json* value = Find(key);
    if (!value || value->is_null()) return;
    if (value->is_string()) {
        m_references.push_back({&m_item, std::string(key), -1, value->get<std::string>()});
        return;
    }
    if (auto index = Integer(key, INT32_MIN, INT32_MAX))
        m_references.push_back({&m_item, std::string(key), static_cast<int32_t>(*index), std::nullopt});
}

Status<FieldProblem> BuildVisitor::Finish() {
    if (m_problem) return *m_problem;
    std::vector<std::string> known;
    for (const auto& key : m_seen)
        if (std::find(known.begin(), known.end(), key) == known.end()) known.push_back(key);
    for (const auto& [name, ignored] : m_in.items())
        if (std::find(known.begin(), known.end(), name) == known.end())
            return FieldProblem{m_prefix + name, "unknown field" + Suggestion(name, known)};
    return {};
}

} // namespace showsaver::showpack
