#include "tools/showpack/Install.h"
#include "tools/showpack/StartLines.h"

#include "app/ItemKinds.h"
#include "platform/shell/Shell.h"
#include "show/ControlItems.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/Windows1252.h"
#include "tools/showpack/SaverFile.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#ifndef SHOWSAVER_INSTALL_PREFIX
#define SHOWSAVER_INSTALL_PREFIX "/usr/local"
#endif

namespace showsaver::showpack {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxDescription = 2000;
constexpr const char* kEngineLibrary = "libshowsaver_core.so";

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters other than new lines are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') break;
            out += c;
        }
    }
    return out;
}

// A desktop entry's value is one line; backslashes are escaped.
std::string DesktopValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
    return out;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

std::optional<std::string> ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool SameContents(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::file_size(a, error) != fs::file_size(b, error) || error) return false;
    auto left = ReadText(a), right = ReadText(b);
    return left && right && *left == *right;
}

// True when `path` already holds what `file` would write.
bool AlreadyThere(const InstallFile& file) {
    if (!file.copyFrom.empty()) return SameContents(file.path, file.copyFrom);
    auto existing = ReadText(file.path);
    return existing && *existing == file.contents;
}

Status<> WriteFile(const InstallFile& file) {
    std::error_code error;
    fs::create_directories(file.path.parent_path(), error);
    if (error) return Error{"cannot make " + file.path.parent_path().string() + ": " + error.message()};
    // Written beside and renamed, so that a running saver keeps its file.
    fs::path temporary = file.path;
    temporary += ".showpack-new";
    if (!file.copyFrom.empty()) {
        fs::copy_file(file.copyFrom, temporary, fs::copy_options::overwrite_existing, error);
        if (error) return Error{"cannot copy " + file.copyFrom.string() + ": " + error.message()};
    } else {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << file.contents;
        out.close();
        if (!out) return Error{"cannot write " + temporary.string()};
    }
    auto perms = file.executable ? fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec
                                 : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                       fs::perms::others_read;
    fs::permissions(temporary, perms, error);
    fs::rename(temporary, file.path, error);
    if (error) {
        fs::remove(temporary, error);
        return Error{"cannot write " + file.path.string()};
    }
    return {};
}

// The engine library beside the engine, or in ../lib once installed.
// The prefix showpack runs from, when it runs from PREFIX/bin; else the one
// it was built for.
fs::path DefaultPrefix() {
    fs::path self = shell::SelfExecutablePath();
    if (self.parent_path().filename() == "bin") return self.parent_path().parent_path();
    return SHOWSAVER_INSTALL_PREFIX;
}

fs::path DataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / ".local" / "share";
}

} // namespace

fs::path FindEngineLibrary() {
    fs::path engine = EnginePath(std::nullopt).parent_path();
    for (const fs::path& candidate : {engine / kEngineLibrary, engine.parent_path() / "lib" / kEngineLibrary}) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate;
    }
    return {};
}

bool IsValidSaverName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name.front() == '.' || name.front() == '-') return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
              c == '.'))
            return false;
    return true;
}

std::string SaverSettingsXml(const std::string& name, const std::string& label, const std::string& description) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n";
    xml += "<screensaver name=\"" + XmlEscaped(name) + "\" _label=\"" + XmlEscaped(label) + "\">\n\n";
    xml += "  <command arg=\"--root\"/>\n\n";
    std::string text = description.empty() ? "A show packed with showpack." : description;
    xml += "  <_description>\n" + XmlEscaped(text) + "\n  </_description>\n";
    xml += "</screensaver>\n";
    return xml;
}

std::string ScreensaverDesktopEntry(const std::string& name, const std::string& label, const std::string& description,
                                    const fs::path& command) {
    std::string comment = description.empty() ? "A show packed with showpack." : description;
    // The comment is one line of the entry: its first paragraph.
    comment = comment.substr(0, comment.find('\n'));
    std::string entry = "[Desktop Entry]\n";
    entry += "Name=" + DesktopValue(label) + "\n";
    entry += "Comment=" + DesktopValue(comment) + "\n";
    // The path has only characters of a valid name below a folder the user
    // chose; quoted for the spaces a folder may have.
    std::string path = command.string();
    std::string quoted = path.find_first_of(" \t\"'\\$`") == std::string::npos ? path : "\"" + path + "\"";
    entry += "Exec=" + DesktopValue(quoted) + " -root\n";
    entry += "TryExec=" + DesktopValue(path) + "\n";
    entry += "StartupNotify=false\n";
    entry += "Terminal=false\n";
    entry += "Type=Application\n";
    entry += "Categories=Screensaver;\n";
    // The category is reserved for the desktop that runs screensavers so.
    entry += "OnlyShowIn=MATE;\n";
    entry += "X-Showsaver-Name=" + DesktopValue(name) + "\n";
    return entry;
}

std::string NoteDescription(const fs::path& saver) {
    auto offset = FindShowOffset(saver);
    if (!offset) return {};
    ShowItemRegistry registry;
    ShowInfo info;
    if (!LoadShowFile(saver, *offset, registry, registry.Items(), info, nullptr)) return {};
    std::string text;
    const ItemList& items = registry.Items();
    for (int i = 0; i < items.Size(); ++i) {
        const auto* note = dynamic_cast<const NoteItem*>(&items.At(i));
        if (!note || note->Disabled() || note->text.text.empty()) continue;
        if (!text.empty()) text += "\n\n";
        text += Cp1252ToUtf8(note->text.text);
        if (text.size() > kMaxDescription) break;
    }
    // Windows line ends become plain ones.
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return CutUtf8(std::move(out), kMaxDescription);
}

Result<InstallPlan> PlanInstall(const InstallOptions& options, const fs::path& dataHome, const fs::path& defaultPrefix,
                                const fs::path& engineLibrary) {
    std::string name = options.name ? *options.name : options.saver.filename().string();
    if (!IsValidSaverName(name))
        return Error{"\"" + name + "\" is not a saver name: use letters, digits, '-', '_' and '.' (at most 64)"};
    if (options.user && options.prefix) return Error{"--user and --prefix exclude each other"};
    std::error_code error;
    if (!fs::is_regular_file(options.saver, error)) return Error{"cannot read " + options.saver.string()};
    if (engineLibrary.empty()) return Error{"cannot find the engine library libshowsaver_core.so"};

    fs::path saverPath, settingsPath, entryPath, libraryPath;
    if (options.user) {
        fs::path savers = dataHome / "showsaver" / "savers";
        saverPath = savers / name;
        settingsPath = savers / (name + ".xml");
        entryPath = dataHome / "applications" / "screensavers" / (name + ".desktop");
        // The saver's run path looks beside it first.
        libraryPath = savers / engineLibrary.filename();
    } else {
        fs::path prefix = options.prefix ? fs::absolute(*options.prefix) : defaultPrefix;
        saverPath = prefix / "libexec" / "xscreensaver" / name;
        settingsPath = prefix / "share" / "xscreensaver" / "config" / (name + ".xml");
        entryPath = prefix / "share" / "applications" / "screensavers" / (name + ".desktop");
        // ../../lib from libexec/xscreensaver.
        libraryPath = prefix / "lib" / engineLibrary.filename();
    }
    std::string description = NoteDescription(options.saver);
    InstallPlan plan;
    plan.files.push_back({saverPath, {}, options.saver, true});
    plan.files.push_back({libraryPath, {}, engineLibrary, false});
    plan.files.push_back({settingsPath, SaverSettingsXml(name, name, description), {}, false});
    plan.files.push_back({entryPath, ScreensaverDesktopEntry(name, name, description, saverPath), {}, false});
    plan.programsLine = "  \"" + name + "\"  " + saverPath.string() + " --root \\n\\";
    return plan;
}

int Install(const InstallOptions& given, std::ostream& out, std::ostream& err) {
    // A saver made with another engine (or a bare show) is installed as its
    // show packed with ours, under the name of the file given.
    OurSaver saver;
    if (auto prepared = saver.Prepare(given.saver, EnginePath(std::nullopt), {}); !prepared) {
        err << "showpack: " << prepared.Error().what << "\n";
        return 1;
    }
    InstallOptions options = given;
    options.saver = saver.Path();
    if (!options.name) options.name = given.saver.filename().string();
    auto plan = PlanInstall(options, DataHome(), DefaultPrefix(), FindEngineLibrary());
    if (!plan) {
        err << "showpack: " << plan.Error().what << "\n";
        return 1;
    }
    // A file that is there and differs belongs to another saver (or another
    // engine): it stays unless --force says otherwise.
    bool refused = false;
    for (const auto& file : plan->files) {
        std::error_code error;
        if (fs::exists(file.path, error) && !AlreadyThere(file) && !options.force) {
            err << "showpack: " << file.path.string() << " exists and is not this saver's; --force overwrites it\n";
            refused = true;
        }
    }
    if (refused) return 1;
    for (const auto& file : plan->files) {
        if (AlreadyThere(file)) {
            out << "unchanged " << file.path.string() << "\n";
            continue;
        }
        if (options.dryRun) {
            out << "would write " << file.path.string();
            if (!file.copyFrom.empty()) out << " (a copy of " << file.copyFrom.string() << ")";
            out << "\n";
            if (file.copyFrom.empty()) out << file.contents << "\n";
            continue;
        }
        if (auto written = WriteFile(file); !written) {
            err << "showpack: " << written.Error().what << "\n";
            return 1;
        }
        out << "wrote " << file.path.string() << "\n";
    }
    out << "Add this line to programs: in ~/.xscreensaver:\n" << plan->programsLine << "\n";
    PrintStartLines(out, plan->files.front().path);
    return 0;
}

} // namespace showsaver::showpack
