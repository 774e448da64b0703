#include "tools/showpack/Commands.h"

#include "app/ItemKinds.h"
#include "platform/shell/Shell.h"
#include "platform/sys/RegularFile.h"
#include "platform/ui/MessageBox.h"
#include "playback/PictureItem.h"
#include "resources/StringTable.h"
#include "show/ItemList.h"
#include "show/ShowSaver.h"
#include "show/Windows1252.h"
#include "tools/showpack/FriendlyDump.h"
#include "tools/showpack/FriendlyValues.h"
#include "tools/showpack/JsonFields.h"
#include "tools/showpack/JsonLocation.h"
#include "tools/showpack/SaverFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver::showpack {

namespace {

constexpr float kBuildVersion = 4.5f;

// A float as the shortest decimal that reads back to it (4.51f prints as 4.51).
double ShortestDouble(float value) {
    char text[32];
    auto [end, ec] = std::to_chars(std::begin(text), std::end(text), value);
    if (ec != std::errc()) return value;
    return std::strtod(std::string(text, end).c_str(), nullptr);
}

void PrintText(std::ostream& out, const Item& item) {
    auto index = item.Index();
    out << index << "\t" << ItemClassName(static_cast<int32_t>(item.Kind()));
    out << "\tname=\"" << Cp1252ToUtf8(item.Name()) << "\"";
    if (item.Tag()) out << " tag=" << item.Tag();
    if (item.Disabled()) out << " disabled";
}

// Loads without validation, as inspecting tools show what is stored.
struct LoadedShow {
    ShowItemRegistry registry;
    ShowInfo info;
    Status<LoadError> loaded;
};

std::unique_ptr<LoadedShow> LoadForInspection(const std::filesystem::path& file, std::ostream& err) {
    auto offset = FindShowOffset(file);
    if (!offset) {
        err << "showpack: " << offset.Error().what << "\n";
        return nullptr;
    }
    auto show = std::make_unique<LoadedShow>();
    show->loaded = LoadShowFile(file, *offset, show->registry, show->registry.Items(), show->info, nullptr);
    if (!show->loaded) {
        err << "showpack: " << file.string() << ": " << show->loaded.Error().what << " (at byte "
            << show->loaded.Error().offset << ")\n";
        return nullptr;
    }
    return show;
}

// A description is a page of JSON; this leaves room for long texts.
constexpr uint64_t kMaxDescriptionBytes = uint64_t{64} << 20;

Result<sys::FileBytes> ReadWholeFile(const std::filesystem::path& path, uint64_t maxBytes) {
    auto read = sys::ReadRegularFile(path, maxBytes);
    if (!read) return Error{read.Error().what};
    return std::move(*read);
}

} // namespace

std::filesystem::path EnginePath(const std::optional<std::filesystem::path>& engine) {
    if (engine) return *engine;
    return shell::SelfExecutablePath().parent_path() / "showsaver";
}

int Dump(const std::filesystem::path& file, const DumpOptions& options, std::ostream& out, std::ostream& err) {
    auto show = LoadForInspection(file, err);
    if (!show) return 1;
    const ItemList& items = show->registry.Items();
    if (!options.json) {
        out << "signature " << show->info.signature << ", version " << ShortestDouble(show->info.formatVersion)
            << ", " << items.Size() << " items\n";
        for (int i = 0; i < items.Size(); ++i) {
            PrintText(out, items.At(i));
            out << "\n";
        }
        return 0;
    }
    if (options.filesDirectory) std::filesystem::create_directories(*options.filesDirectory);
    Json root = Json::object();
    if (options.raw || show->info.headerWord != 0) root["headerWord"] = show->info.headerWord;
    if (options.raw) {
        root["signature"] = std::string(1, show->info.signature);
        root["formatVersion"] = ShortestDouble(show->info.formatVersion);
        root["signatureBVersion"] = ShortestDouble(show->info.signatureBVersion);
    }
    root["items"] = Json::array();
    // A reference may name its item when no other item of its kind has that name.
    auto nameOf = [&items](int64_t index) -> std::optional<std::string> {
        if (index < 0 || index >= items.Size()) return std::nullopt;
        const Item& target = items.At(static_cast<int>(index));
        if (target.Name().empty()) return std::nullopt;
        for (int i = 0; i < items.Size(); ++i)
            if (i != index && items.At(i).Kind() == target.Kind() && items.At(i).Name() == target.Name())
                return std::nullopt;
        return Cp1252ToUtf8(target.Name());
    };
    for (int i = 0; i < items.Size(); ++i) {
        Item& item = items.At(i);
        auto kind = static_cast<int32_t>(item.Kind());
        Json entry = {
            {"index", i},
            {"kind", kind},
            {"class", ItemClassName(kind)},
            {"name", Cp1252ToUtf8(item.Name())},
            {"tag", item.Tag()},
            {"disabled", item.Disabled()},
        };
        DumpVisitor visitor(entry, options.filesDirectory ? &*options.filesDirectory : nullptr, i);
        item.Describe(visitor);
        if (!visitor.Error().empty()) {
            err << "showpack: " << visitor.Error() << "\n";
            return 1;
        }
        if (!options.raw) {
            Json defaults = Json::object();
            auto fresh = show->registry.Prototype(kind)->Clone();
            DumpVisitor defaultVisitor(defaults, nullptr, i);
            fresh->Describe(defaultVisitor);
            // A text picture's defaults are those of a new text picture, and
            // its content type stays, as the other fields depend on it.
            if (auto type = entry.find("contentType"); type != entry.end() && *type != defaults["contentType"]) {
                Json seed = {{"contentType", *type}};
                std::vector<PendingReference> none;
                BuildVisitor seedVisitor(seed, *fresh, {}, none);
                fresh->Describe(seedVisitor);
                defaults = Json::object();
                DumpVisitor textVisitor(defaults, nullptr, i);
                fresh->Describe(textVisitor);
                defaults.erase("contentType");
            }
            entry = FriendlyEntry(entry, defaults, nameOf);
        }
        root["items"].push_back(std::move(entry));
    }
    out << root.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    return 0;
}

namespace {

// Collects the texts of the message boxes a validation shows.
class CollectingMessages final : public ui::MessageSink {
public:
    explicit CollectingMessages(std::ostream& err) : m_err(err) {}
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        m_err << text << "\n";
        texts.emplace_back(text);
        return ui::MessageAnswer::Ok;
    }
    std::vector<std::string> texts;

private:
    std::ostream& m_err;
};

// Reports a show the engine would refuse as Check does: the refusing items'
// messages, or the loader's error when no message said why.
void ReportRefusal(const Status<LoadError>& loaded, const CollectingMessages& messages, const std::string& label,
                   std::ostream& err) {
    if (!loaded && messages.texts.empty())
        err << "showpack: " << label << ": " << loaded.Error().what << " (at byte " << loaded.Error().offset << ")\n";
}

} // namespace

int Check(const std::filesystem::path& file, bool json, std::ostream& out, std::ostream& err) {
    auto offset = FindShowOffset(file);
    if (!offset) {
        err << "showpack: " << offset.Error().what << "\n";
        return 1;
    }
    ShowItemRegistry registry;
    ShowInfo info;
    CollectingMessages messages(err);
    auto loaded = LoadShowFile(file, *offset, registry, registry.Items(), info, &messages);
    ReportRefusal(loaded, messages, file.string(), err);
    if (json) {
        Json pictures = Json::array();
        const ItemList& items = registry.Items();
        for (int i = 0; i < items.Size(); ++i) {
            auto* picture = dynamic_cast<const PictureItem*>(&items.At(i));
            // A picture is prepared unless it and every scene using it are disabled.
            if (!picture || (picture->IsDisabled() && AllUsersDisabled(picture->Users()))) continue;
            if (picture->naturalWidth == 0 && picture->naturalHeight == 0) continue;
            pictures.push_back({{"index", i}, {"naturalWidth", picture->naturalWidth},
                                {"naturalHeight", picture->naturalHeight}});
        }
        Json report = {{"valid", loaded.Ok()}, {"messages", messages.texts}, {"pictures", pictures}};
        out << report.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    }
    return loaded ? 0 : 1;
}

namespace {

// Says where a description went wrong: "demo.json:14: items[12].placement.effect: ...".
class DescriptionErrors {
public:
    DescriptionErrors(const std::filesystem::path& file, std::string_view text) : m_file(file), m_text(text) {}

    Error At(size_t item, std::string_view fieldPath, std::string_view what) const {
        auto path = JsonPath(item, fieldPath);
        return Error{m_file.filename().string() + ":" + std::to_string(LineOfPath(m_text, path)) + ": " +
                     JsonPathText(path) + ": " + std::string(what)};
    }
    Error Whole(std::string_view what) const { return Error{m_file.filename().string() + ": " + std::string(what)}; }

private:
    const std::filesystem::path& m_file;
    std::string_view m_text;
};

std::vector<std::string> ClassNames() {
    std::vector<std::string> names;
    for (int32_t kind = 0; kind < kItemKindCount; ++kind) names.emplace_back(ItemClassName(kind));
    return names;
}

// The item a reference names: by index, or by the name of the one item of
// the wanted kind that carries it.
Result<Item*> ReferenceTarget(const ItemList& items, const PendingReference& ref, ItemKind wanted) {
    std::string kindName(ItemClassName(static_cast<int32_t>(wanted)));
    if (!ref.name) {
        Item* target = items.Find(ref.target);
        if (!target || target->Kind() != wanted)
            return Error{"item " + std::to_string(ref.target) + " is not a " + kindName};
        return target;
    }
    std::vector<Item*> fits;
    std::vector<std::string> names;
    for (int i = 0; i < items.Size(); ++i) {
        Item& item = items.At(i);
        if (item.Kind() != wanted) continue;
        names.push_back(Cp1252ToUtf8(item.Name()));
        if (names.back() == *ref.name) fits.push_back(&item);
    }
    if (fits.size() == 1) return fits.front();
    if (fits.empty()) {
        std::string what = "no " + kindName + " is named \"" + *ref.name + "\"";
        if (auto suggestion = Suggestion(*ref.name, names); !suggestion.empty()) return Error{what + suggestion};
        if (names.empty()) return Error{what + ": the show has none"};
        // The candidates, when there are few enough to read.
        constexpr size_t kListed = 8;
        std::string list;
        for (size_t i = 0; i < names.size() && i < kListed; ++i)
            list += (i == 0 ? "" : i + 1 == std::min(names.size(), kListed) ? " and " : ", ") + ("\"" + names[i] + "\"");
        return Error{what + "; " + (names.size() > kListed ? "the first of them are " : "they are ") + list};
    }
    std::string list;
    for (size_t i = 0; i < fits.size(); ++i)
        list += (i == 0 ? "" : i + 1 == fits.size() ? " and " : ", ") + std::to_string(fits[i]->Index());
    return Error{"the name \"" + *ref.name + "\" fits the " + kindName + "s " + list + "; give the index instead"};
}

} // namespace

Result<std::vector<uint8_t>> BuildShow(const std::filesystem::path& description) {
    auto read = ReadWholeFile(description, kMaxDescriptionBytes);
    if (!read) return read.Error();
    std::string_view text(reinterpret_cast<const char*>(read->data.get()), read->size);
    DescriptionErrors errors(description, text);
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        // The reader's own words, after its "parse error at line L, column C: ".
        std::string what = e.what();
        if (auto colon = what.find(": ", what.find("column")); colon != std::string::npos) what.erase(0, colon + 2);
        auto at = PositionOf(text, e.byte > 0 ? e.byte - 1 : 0);
        return Error{description.filename().string() + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
                     ": not valid JSON: " + what};
    } catch (const Json::exception& e) {
        return errors.Whole(std::string("not valid JSON: ") + e.what());
    }
    if (!root.is_object() || !root.contains("items") || !root["items"].is_array()) {
        return errors.Whole("expected an object with an \"items\" list");
    }
    uint32_t headerWord = 0;
    if (auto header = root.find("headerWord"); header != root.end()) {
        if (!header->is_number_unsigned() || header->get<uint64_t>() > UINT32_MAX) {
            return errors.Whole("headerWord: expected a number from 0 to 4294967295");
        }
        headerWord = header->get<uint32_t>();
    }

    ShowItemRegistry registry;
    ItemList& items = registry.Items();
    std::vector<PendingReference> references;
    const auto baseDirectory = description.parent_path();
    size_t index = 0;
    for (const Json& entry : root["items"]) {
        if (!entry.is_object()) return errors.At(index, {}, "expected an object");
        int32_t kind = -1;
        if (auto className = entry.find("class"); className != entry.end()) {
            kind = className->is_string() ? ItemKindOfClass(className->get<std::string>()) : -1;
            if (kind < 0) {
                std::string given = className->is_string() ? className->get<std::string>() : className->dump();
                return errors.At(index, "class",
                                 "unknown item class \"" + given + "\"" + Suggestion(given, ClassNames()));
            }
        }
        if (auto kindField = entry.find("kind"); kindField != entry.end()) {
            // Compared before narrowing, so that no number wraps onto a kind.
            int32_t given = -1;
            if (kindField->is_number_unsigned() && kindField->get<uint64_t>() <= INT32_MAX)
                given = static_cast<int32_t>(kindField->get<uint64_t>());
            else if (kindField->is_number_integer() && !kindField->is_number_unsigned() &&
                     kindField->get<int64_t>() >= 0 && kindField->get<int64_t>() <= INT32_MAX)
                given = static_cast<int32_t>(kindField->get<int64_t>());
            if (!registry.Prototype(given) || (kind >= 0 && given != kind)) {
                return errors.At(index, "kind", "expected a kind from 0 to 13 that matches the class");
            }
            kind = given;
        }
        if (kind < 0) return errors.At(index, {}, "needs a class (or a kind)");
        auto item = registry.Prototype(kind)->Clone();
        item->SetIndex(static_cast<int32_t>(index));
        BuildVisitor visitor(entry, *item, baseDirectory, references);
        for (auto key : {"index", "kind", "class", "users"}) visitor.Accept(key);
        std::string name;
        int32_t tag = 0, disabled = 0;
        visitor.Text("name", name, SIZE_MAX);
        visitor.Int("tag", tag);
        visitor.Int("disabled", disabled);
        item->Describe(visitor);
        if (auto finished = visitor.Finish(); !finished)
            return errors.At(index, finished.Error().path, finished.Error().what);
        item->SetName(std::move(name));
        item->SetTag(tag);
        item->SetDisabled(&disabled);
        items.Append(std::move(item));
        ++index;
    }

    for (const auto& ref : references) {
        ItemKind wanted = ref.field == "picture" ? ItemKind::Picture : ItemKind::Media;
        auto target = ReferenceTarget(items, ref, wanted);
        if (!target) return errors.At(static_cast<size_t>(ref.item->Index()), ref.field, target.Error().what);
        ref.item->SetSource(*target);
        (*target)->AddUser(ref.item);
    }

    return SaveShow(items, ShowInfo{headerWord, 'A', kBuildVersion, 0.0f});
}

Status<> WritePacked(const std::filesystem::path& engine, std::span<const uint8_t> show,
                     const std::filesystem::path& output) {
    if (engine.empty()) return Error{"the engine's path is empty"};
    auto read = sys::ReadRegularFile(engine, kEngineSize);
    if (!read && read.Error().kind == sys::FileProblem::Kind::TooLarge) {
        return Error{"the engine " + engine.string() + " has " + std::to_string(read.Error().size) +
                " bytes, more than the " + std::to_string(kEngineSize) + " a packed show leaves it"};
    }
    if (!read) return Error{read.Error().what};
    if (read->size == 0) return Error{"the engine " + engine.string() + " is empty"};
    std::vector<uint8_t> engineBytes(read->data.get(), read->data.get() + read->size);
    engineBytes.resize(kEngineSize, 0);
    auto temporary = output;
    temporary += ".partial";
    // A leftover of that name, whatever it is (a FIFO would block the open),
    // is replaced.
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        stream.write(reinterpret_cast<const char*>(engineBytes.data()), static_cast<std::streamsize>(engineBytes.size()));
        stream.write(reinterpret_cast<const char*>(show.data()), static_cast<std::streamsize>(show.size()));
        if (!stream.flush()) {
            std::filesystem::remove(temporary);
            return Error{"cannot write " + temporary.string()};
        }
    }
    ::chmod(temporary.c_str(), 0755);
    std::error_code ec;
    std::filesystem::rename(temporary, output, ec);
    if (ec) {
        std::string problem = "cannot write " + output.string() + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return Error{problem};
    }
    return {};
}

Status<> BuildPacked(const std::filesystem::path& description, const std::filesystem::path& engine,
                     const std::filesystem::path& output) {
    auto show = BuildShow(description);
    if (!show) return show.Error();
    return WritePacked(engine, *show, output);
}

namespace {

// Loads and validates built show bytes as the engine (and Check) does.
bool ValidateBuilt(std::span<const uint8_t> show, const std::filesystem::path& description, std::ostream& err) {
    ShowItemRegistry registry;
    ShowInfo info;
    CollectingMessages messages(err);
    ShowReader reader(show);
    info.headerWord = reader.ReadUInt32();
    auto loaded = LoadShow(reader, registry, registry.Items(), info, &messages);
    ReportRefusal(loaded, messages, description.string(), err);
    return static_cast<bool>(loaded);
}

} // namespace

int Build(const std::filesystem::path& description, const std::filesystem::path& output,
          const std::optional<std::filesystem::path>& engine, std::ostream& err, bool validate) {
    try {
        auto show = BuildShow(description);
        if (!show) {
            err << "showpack: " << show.Error().what << "\n";
            return 1;
        }
        if (validate && !ValidateBuilt(*show, description, err)) return 1;
        if (auto written = WritePacked(EnginePath(engine), *show, output); !written) {
            err << "showpack: " << written.Error().what << "\n";
            return 1;
        }
    } catch (const std::bad_alloc&) {
        // Every file was small enough to read, but the show of them all does
        // not fit in memory.
        err << "showpack: not enough memory to build the show\n";
        return 1;
    }
    return 0;
}

int Pack(const std::filesystem::path& showFile, const std::filesystem::path& output,
         const std::optional<std::filesystem::path>& engine, std::ostream& err) {
    // A bare show, or the show of a saver of any engine; refused unless it loads.
    auto show = ReadShowOf(showFile);
    if (!show) {
        err << "showpack: " << show.Error().what << "\n";
        return 1;
    }
    if (auto written = WritePacked(EnginePath(engine), *show, output); !written) {
        err << "showpack: " << written.Error().what << "\n";
        return 1;
    }
    return 0;
}

} // namespace showsaver::showpack
