// Writes the seed corpus of fuzz_show_loader, or checks it.
//
//   make_show_corpus DIR          writes the seed shows into DIR, then checks DIR
//   make_show_corpus --check DIR  checks every file in DIR
//
// The seeds are small valid bare shows that together reach every item kind,
// the older record layouts of signature-A and signature-B shows, embedded
// files and the long and wide text encodings. Checking loads each file with
// validation and fails unless it loads, every item validates, no message is
// shown and the reader ends on the file's last byte; that keeps the corpus
// from going stale without notice when a record layout changes.
//
// The records are written field by field here rather than with Item::Save,
// which only writes the current layout.

#include "app/ItemKinds.h"
#include "platform/ui/MessageBox.h"
#include "playback/PictureItem.h"
#include "resources/StringTable.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"
#include "show/ShowSaver.h"
#include "show/ShowWriter.h"
#include "show/Windows1252.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

// The signature and version of a show; the version tests below mirror the
// loader's, compared in single precision as the shows were written.
struct Layout {
    char signature = 'A';
    float version = 4.5f;

    float SignatureBVersion() const { return signature == 'B' ? version : 0.0f; }
};

enum class NameForm { Narrow, Wide };

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Builds one bare show record by record. Picture and media items collect
// the items that refer to them, and Take() writes their reference blocks.
class ShowEncoder {
public:
    explicit ShowEncoder(Layout layout) : m_layout(layout) {}

    int32_t ImagePicture(std::string_view name, std::span<const uint8_t> file, int32_t disabled = 0) {
        int32_t index = Begin(ItemKind::Picture, name, disabled);
        DisplayOptions(0);
        EmbeddedBytes(name, file, std::nullopt);
        return index;
    }

    int32_t TextPicture(std::string_view name, std::string_view caption, NameForm form = NameForm::Narrow) {
        int32_t index = Begin(ItemKind::Picture, name, 0, form);
        DisplayOptions(1);
        m_records.WriteUInt32(0x000080);   // text colour
        m_records.WriteUInt32(0xF0F0F0);   // background colour
        if (m_layout.version > 4.21f) m_records.WriteUInt32(1);   // centred
        m_records.WriteScrambledText(caption);
        LogFont font;
        font.height = -24;
        font.weight = 700;
        font.SetFaceName("Arial");
        m_records.WriteScrambledBytes(font.ToRecord());
        return index;
    }

    // A show (1), move (2) or hide (3) scene of `picture`.
    int32_t Scene(ItemKind kind, std::string_view name, int32_t picture, int32_t effect, int32_t disabled = 0) {
        int32_t index = Begin(kind, name, disabled);
        Placement(effect);
        Color(0x102030);
        m_users[picture].push_back(index);
        return index;
    }

    int32_t Pause(std::string_view name, int32_t milliseconds) {
        int32_t index = Begin(ItemKind::Pause, name);
        m_records.WriteInt32(milliseconds);
        m_records.WriteInt32(0);
        return index;
    }

    int32_t Background(std::string_view name, uint32_t color) {
        int32_t index = Begin(ItemKind::Background, name);
        Color(color);
        return index;
    }

    int32_t LoopStart(std::string_view name) { return Begin(ItemKind::LoopStart, name); }

    int32_t LoopEnd(std::string_view name, int32_t repeatCount, int32_t forever = 0) {
        int32_t index = Begin(ItemKind::LoopEnd, name);
        m_records.WriteInt32(repeatCount);
        m_records.WriteInt32(forever);
        return index;
    }

    int32_t Line(std::string_view name) {
        int32_t index = Begin(ItemKind::Line, name);
        Color(0x00FF00);
        Placement(0);
        m_records.WriteInt32(2);   // pen style
        m_records.WriteInt32(3);   // pen width
        return index;
    }

    int32_t Media(std::string_view name, std::span<const uint8_t> file, int32_t mediaType) {
        int32_t index = Begin(ItemKind::Media, name);
        float b = m_layout.SignatureBVersion();
        bool hasType = b == 0.0f || b >= 2.0f;
        EmbeddedBytes(name, file, hasType ? std::optional(mediaType) : std::nullopt);
        return index;
    }

    int32_t MediaPlay(std::string_view name, int32_t media) {
        int32_t index = Begin(ItemKind::MediaPlay, name);
        m_records.WriteInt32(2);   // repeat count
        m_records.WriteInt32(0);   // forever
        float b = m_layout.SignatureBVersion();
        if (b == 0.0f) {
            // wait, loop, x, y, width, height, centred twice, full screen
            for (int32_t field : {1, 0, 40, 30, 320, 240, 0, 1, 0}) m_records.WriteInt32(field);
            if (static_cast<double>(m_layout.version) > 4.11) {
                m_records.WriteInt32(1);      // timed
                m_records.WriteInt32(2500);   // time
            }
        } else if (b < 2.1f) {
            for (int32_t field : {1, 1}) m_records.WriteInt32(field);
        } else {
            for (int32_t field : {0, 1, 40, 30}) m_records.WriteInt32(field);
        }
        m_users[media].push_back(index);
        return index;
    }

    int32_t MediaStop(std::string_view name, int32_t media) {
        int32_t index = Begin(ItemKind::MediaStop, name);
        m_users[media].push_back(index);
        return index;
    }

    int32_t Note(std::string_view name, std::string_view text) {
        int32_t index = Begin(ItemKind::Note, name);
        m_records.WriteScrambledText(text);
        return index;
    }

    int32_t WebLink(std::string_view name, std::string_view address) {
        int32_t index = Begin(ItemKind::WebLink, name);
        m_records.WriteInt32(0);   // arm, not clear
        m_records.WriteInt32(3);   // any of the three keys
        m_records.WriteScrambledText(address);
        return index;
    }

    std::vector<uint8_t> Take() {
        std::vector<std::vector<int32_t>> blocks;
        for (size_t i = 0; i < m_kinds.size(); ++i)
            if (m_kinds[i] == ItemKind::Picture || m_kinds[i] == ItemKind::Media)
                blocks.push_back(m_users[static_cast<int32_t>(i)]);
        ShowInfo info{0x12345678, m_layout.signature, m_layout.version, 0.0f};
        return SaveShow(info, static_cast<int32_t>(m_kinds.size()), m_records.Bytes(), blocks);
    }

private:
    int32_t Begin(ItemKind kind, std::string_view name, int32_t disabled = 0, NameForm form = NameForm::Narrow) {
        m_records.WriteInt32(static_cast<int32_t>(kind));
        if (form == NameForm::Wide)
            WideScrambledText(name);
        else
            m_records.WriteScrambledText(name);
        m_records.WriteInt32(7);   // tag
        m_records.WriteInt32(disabled);
        m_kinds.push_back(kind);
        return static_cast<int32_t>(m_kinds.size() - 1);
    }

    // The wide form: 0xFF, the marker 0xFFFE, a length prefix counting
    // UTF-16 units, the units. The loader turns them into Windows-1252
    // bytes before it unscrambles them.
    void WideScrambledText(std::string_view cp1252) {
        std::string scrambled(cp1252);
        Scramble({reinterpret_cast<uint8_t*>(scrambled.data()), scrambled.size()}, ScrambleDirection::Writing);
        const uint8_t marker[] = {0xFF, 0xFE, 0xFF, static_cast<uint8_t>(scrambled.size())};
        m_records.WriteBytes(marker);
        for (char c : scrambled) {
            char32_t unit = Cp1252ToCodePoint(static_cast<unsigned char>(c));
            const uint8_t pair[] = {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)};
            m_records.WriteBytes(pair);
        }
    }

    void EmbeddedBytes(std::string_view name, std::span<const uint8_t> file, std::optional<int32_t> mediaType) {
        m_records.WriteUInt32(static_cast<uint32_t>(file.size()));
        if (file.empty()) return;
        m_records.WriteScrambledText(name);
        if (mediaType) m_records.WriteInt32(*mediaType);
        m_records.WriteScrambledBytes(file);
    }

    void Color(uint32_t color) {
        m_records.WriteUInt32(color);
        m_records.WriteInt32(0);   // raster mode
        m_records.WriteInt32(0);   // random
        m_records.WriteInt32(1);   // fourth value
    }

    void DisplayOptions(int32_t contentType) {
        float b = m_layout.SignatureBVersion();
        float format = m_layout.version;
        auto sizes = [&] {
            for (int32_t field : {320, 240, 0}) m_records.WriteInt32(field);   // width, height, fit
        };
        m_records.WriteInt32(contentType);
        m_records.WriteInt32(1);   // opaque
        if (b == 0.0f) {
            m_records.WriteInt32(1);   // own data
            if (format > 4.11f) sizes();
        } else {
            if (b >= 1.01f) m_records.WriteInt32(b <= 2.1f ? 0 : 1);   // desktop flag, later the source
            if (format > 4.01f) sizes();
        }
        if (format > 4.21f) m_records.WriteInt32(1);   // keep the aspect
    }

    // The placement record in the layout of the show's version; see
    // PicturePlacement::Load for the overlapping signature-B blocks.
    void Placement(int32_t effect) {
        auto write = [&](std::initializer_list<int32_t> fields) {
            for (int32_t field : fields) m_records.WriteInt32(field);
        };
        auto common = [&] { write({10, 20, 300, 200, 2, 3, 1, 0, 640, 480, 0, 0, 0, 100000, 2000, 0}); };
        auto flags = [&] { write({0, 1, 0, 0}); };
        auto secondLayout = [&] {
            flags();                 // random
            write({1, 0, 0, 1});     // centred
            common();
            write({1, 0});           // keep the screen behind, save the background
        };
        float v = m_layout.SignatureBVersion();
        if (v != 0.0f) {
            if (v == 1.0f) {
                flags();
                common();
            }
            if (v > 1.1f && v < 2.1f) secondLayout();
            if (v > 2.0f && v < 3.0f) {
                secondLayout();
                write({effect});
            }
            if (v > 2.9f && v < 3.2f) {
                secondLayout();
                write({effect, 150});
            }
            if (!(v > 3.2f)) return;
        }
        write({5, 5, 1, 3});   // start and end modes
        common();
        write({0, 1, effect, 100});
    }

    Layout m_layout;
    ShowWriter m_records;
    std::vector<ItemKind> m_kinds;
    std::map<int32_t, std::vector<int32_t>> m_users;
};

// A real 2 x 2 24-bit BMP (pictures are decoded when a show is validated);
// the media files are stand-ins: only their first bytes are looked at.
std::vector<uint8_t> TinyBitmap() {
    std::vector<uint8_t> bytes = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,       // file header: size 70, pixels at 54
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,    // info header: 2 x 2, 1 plane, 24 bits
        0, 0, 0, 0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    // Two rows of two pixels, each row padded to 8 bytes.
    for (uint8_t v : {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0, 0, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0, 0})
        bytes.push_back(v);
    return bytes;
}

std::vector<uint8_t> TinyWave() {
    auto bytes = Bytes("RIFF\x24\0\0\0WAVEfmt ");
    bytes.resize(44, 0);
    return bytes;
}

std::vector<uint8_t> EveryKind() {
    ShowEncoder show({'A', 4.5f});
    auto bitmap = TinyBitmap();
    auto wave = TinyWave();
    show.LoopStart("loop");
    int32_t picture = show.ImagePicture("photo.bmp", bitmap);
    show.Scene(ItemKind::ShowPicture, "show", picture, 12);
    show.Pause("wait", 1500);
    show.Scene(ItemKind::PictureEffect, "move", picture, 40);
    show.Scene(ItemKind::HidePicture, "hide", picture, 7);
    show.Background("colour", 0x204080);
    show.Line("line");
    int32_t media = show.Media("chime.wav", wave, 0);
    show.MediaPlay("play", media);
    show.MediaStop("stop", media);
    show.Note("note", "Remember the milk");
    show.WebLink("link", "http://example.org/");
    show.LoopEnd("loop end", 2);
    return show.Take();
}

// Captions: a long one (16-bit length prefix) and a wide-text name.
std::vector<uint8_t> Captions() {
    ShowEncoder show({'A', 4.5f});
    std::string longCaption;
    while (longCaption.size() < 300) longCaption += "Line of a long caption\r\n";
    int32_t caption = show.TextPicture("caf\xE9 caption", longCaption, NameForm::Wide);
    show.Scene(ItemKind::ShowPicture, "show", caption, 3);
    show.Scene(ItemKind::HidePicture, "hide (disabled)", caption, 5, 1);
    return show.Take();
}

std::vector<uint8_t> NestedLoops() {
    ShowEncoder show({'A', 4.5f});
    show.LoopStart("outer");
    show.LoopStart("inner");
    show.Pause("short", 100);
    show.LoopEnd("inner end", 3);
    show.Background("flash", 0xFFFFFF);
    show.LoopEnd("outer end", 0, 1);
    // A disabled picture without a file and without users is not prepared.
    show.ImagePicture("unused", {}, 1);
    return show.Take();
}

// Every kind whose record changed with the versions, in one show.
std::vector<uint8_t> OlderLayouts(Layout layout) {
    ShowEncoder show(layout);
    auto bitmap = TinyBitmap();
    auto wave = TinyWave();
    int32_t image = show.ImagePicture("old.bmp", bitmap);
    int32_t caption = show.TextPicture("old caption", "Hello");
    show.Scene(ItemKind::ShowPicture, "show image", image, 9);
    show.Scene(ItemKind::PictureEffect, "move caption", caption, 0);
    show.Line("line");
    int32_t media = show.Media("old.wav", wave, 0);
    show.MediaPlay("play", media);
    show.MediaStop("stop", media);
    return show.Take();
}

struct Seed {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    seeds.push_back({"every_kind_a4.5.show", EveryKind()});
    seeds.push_back({"captions_a4.5.show", Captions()});
    seeds.push_back({"nested_loops_a4.5.show", NestedLoops()});
    seeds.push_back({"empty_a4.5.show", ShowEncoder({'A', 4.5f}).Take()});
    const std::pair<const char*, Layout> older[] = {
        {"older_layouts_a4.0.show", {'A', 4.0f}},  {"older_layouts_a4.2.show", {'A', 4.2f}},
        {"older_layouts_b1.0.show", {'B', 1.0f}},  {"older_layouts_b1.5.show", {'B', 1.5f}},
        {"older_layouts_b2.05.show", {'B', 2.05f}}, {"older_layouts_b3.1.show", {'B', 3.1f}},
        {"older_layouts_b4.3.show", {'B', 4.3f}},
    };
    for (const auto& [name, layout] : older) seeds.push_back({name, OlderLayouts(layout)});
    return seeds;
}

// Remembers every message, so that a check can say which item complained.
class CollectingSink final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        m_messages.emplace_back(text);
        return ui::MessageAnswer::Ok;
    }
    const std::vector<std::string>& Messages() const { return m_messages; }

private:
    std::vector<std::string> m_messages;
};

bool CheckShow(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    ShowItemRegistry registry;
    ShowInfo info;
    CollectingSink sink;
    ShowReader reader(bytes);
    info.headerWord = reader.ReadUInt32();
    auto loaded = reader.Failed() ? Status<LoadError>(reader.Error())
                                  : LoadShow(reader, registry, registry.Items(), info, &sink);
    std::string problem;
    if (!loaded)
        problem = loaded.Error().what + " (at byte " + std::to_string(loaded.Error().offset) + ")";
    else if (!sink.Messages().empty())
        problem = "validation showed \"" + sink.Messages().front() + "\"";
    else if (reader.Remaining() != 0)
        problem = std::to_string(reader.Remaining()) + " bytes were left unread";
    if (!problem.empty()) {
        std::cerr << path.filename().string() << ": " << problem << "\n";
        return false;
    }
    std::cout << path.filename().string() << ": " << registry.Items().Size() << " items, signature "
              << info.signature << "\n";
    return true;
}

bool CheckDirectory(const fs::path& directory) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::cerr << directory.string() << " holds no shows\n";
        return false;
    }
    bool good = true;
    for (const auto& file : files) good = CheckShow(file) && good;
    return good;
}

bool WriteSeeds(const fs::path& directory) {
    fs::create_directories(directory);
    for (const auto& seed : Seeds()) {
        std::ofstream stream(directory / seed.name, std::ios::binary | std::ios::trunc);
        stream.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
        if (!stream.flush()) {
            std::cerr << "cannot write " << (directory / seed.name).string() << "\n";
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--check") return CheckDirectory(args[1]) ? 0 : 1;
    if (args.size() == 1 && args[0].rfind("--", 0) != 0)
        return WriteSeeds(args[0]) && CheckDirectory(args[0]) ? 0 : 1;
    std::cerr << "usage: make_show_corpus DIR | make_show_corpus --check DIR\n";
    return 2;
}
