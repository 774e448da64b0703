#include "codec/Codec.h"
#include "show/ShowLoader.h"
#include "show/ShowWriter.h"
#include "support/Command.h"
#include "tools/showpack/Commands.h"
#include "tools/showpack/FriendlyValues.h"
#include "flash/SwfWriter.h"
#include "video/VideoFixtures.h"

#include <nlohmann/json.hpp>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace showsaver::showpack {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
#define SHOWSAVER_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SHOWSAVER_TEST_UNDER_ASAN 1
#endif
#endif
#ifndef SHOWSAVER_TEST_UNDER_ASAN
#define SHOWSAVER_TEST_UNDER_ASAN 0
#endif

const fs::path kShowpack = fs::path(SHOWSAVER_BINARY_DIR) / "showpack";
const fs::path kEngine = fs::path(SHOWSAVER_BINARY_DIR) / "showsaver";

using testing::CommandResult;
using testing::Quoted;

CommandResult Shell(const std::string& command) { return testing::RunCommand(command); }

class ShowpackTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("showpack-test-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path Write(const std::string& name, const std::string& content) {
        std::ofstream out(m_dir / name, std::ios::binary);
        out << content;
        return m_dir / name;
    }
    nlohmann::json DumpJson(const fs::path& file, const std::string& extra = "") {
        CommandResult run = Shell(kShowpack.string() + " dump --json --raw " + extra + " '" + file.string() + "'");
        EXPECT_EQ(run.status, 0) << run.err;
        return nlohmann::json::parse(run.out);
    }

    fs::path m_dir;
};

// Writes a BMP of `columns` colours (0xRRGGBB), each column `h` high, through
// the codec's own writer.
void WriteBmpFile(const fs::path& path, const std::vector<uint32_t>& columns, int h) {
    auto image = codec::RgbImage::Black(static_cast<int>(columns.size()), h);
    for (int y = 0; y < h; ++y)
        for (size_t x = 0; x < columns.size(); ++x) {
            uint8_t* p = image.Row(y) + x * 3;
            p[0] = static_cast<uint8_t>(columns[x] >> 16), p[1] = static_cast<uint8_t>(columns[x] >> 8),
            p[2] = static_cast<uint8_t>(columns[x]);
        }
    ASSERT_TRUE(codec::WriteBmp(path, image));
}

// One item of every kind, with values that differ from the defaults.
const char* kEveryKind = R"({
  "headerWord": 77,
  "items": [
    {"class": "PictureItem", "name": "Photo", "tag": 5, "source": 1, "width": 640, "height": 480,
     "fitToScreen": 1, "keepAspect": 1, "file": {"path": "photo.bin"}},
    {"class": "ShowPictureItem", "name": "Show", "picture": 0,
     "placement": {"startXMode": 1, "startYMode": 4, "endXMode": 0, "endYMode": 2, "startX": -10, "startY": 20,
                   "endX": 30, "endY": 40, "xStep": 3, "yStep": -2, "horizontalPath": 0, "xComparison": 1,
                   "xLimit": 500, "yLimit": 300, "bothConditions": 1, "yComparison": 2, "freeMovement": 1,
                   "movementDelay": 5000, "typingSpeed": 1900, "typewriter": 1, "keepScreenBehind": 1,
                   "saveBackground": 1, "effectNumber": 41, "transitionDelayValue": 600},
     "color": {"color": 16711680, "rasterMode": 2, "random": 1, "fourthValue": 0}},
    {"class": "PictureEffectItem", "name": "Move", "picture": 0, "placement": {"freeMovement": 1}},
    {"class": "HidePictureItem", "name": "Hide", "picture": 0},
    {"class": "PauseItem", "name": "Wait", "duration": 1234, "random": 1},
    {"class": "BackgroundItem", "name": "Blue", "color": {"color": 16711680}},
    {"class": "LoopStartItem", "name": "Loop"},
    {"class": "LoopEndItem", "name": "End", "repeatCount": 4, "forever": 0},
    {"class": "LineItem", "name": "Line", "color": {"color": 255}, "placement": {"startX": 1, "endX": 99},
     "penStyle": 2, "penWidth": 3},
    {"class": "MediaItem", "name": "Tune", "mediaType": 2, "file": {"path": "tune.bin", "name": "My tune"}},
    {"class": "MediaPlayItem", "name": "Play", "media": 9, "repeatCount": 2, "forever": 1, "wait": 1,
     "loop": 1, "fullScreen": 1, "x": 10, "y": 11, "centreHorizontally": 1, "centreVertically": 1,
     "width": 320, "height": 200, "timed": 1, "time": 4000},
    {"class": "MediaStopItem", "name": "Stop", "media": 9, "disabled": 1},
    {"kind": 12, "name": "Note \u00e9\u20ac", "text": "Caf\u00e9 \u2013 notes"},
    {"class": "WebLinkItem", "name": "Link", "clear": 0, "keyMode": 3, "address": "https://example.org/?a=1&b=\"2\""},
    {"class": "PictureItem", "name": "Caption", "contentType": 1, "opaque": 0, "textColor": 65280,
     "backgroundColor": 255, "textAlignment": 2, "text": "Two\r\nlines",
     "font": {"height": -20, "width": 3, "escapement": 4, "orientation": 5, "weight": 700, "italic": 1,
              "underline": 1, "strikeOut": 1, "charSet": 2, "outPrecision": 3, "clipPrecision": 4,
              "quality": 5, "pitchAndFamily": 6, "faceName": "Arial"}}
  ]
})";

// Drops what a description does not carry (and the dump adds).
nlohmann::json Comparable(nlohmann::json dump) {
    for (auto& item : dump["items"])
        if (item.contains("file")) item["file"].erase("path");
    return dump["items"];
}

TEST_F(ShowpackTest, BuildThenDumpGivesEveryKindsFields) {
    Write("photo.bin", std::string(1000, 'p'));
    Write("tune.bin", "ID3tune");
    auto description = Write("show.json", kEveryKind);
    auto packed = m_dir / "packed";
    // Its made-up files would not pass validation; the fields are what counts.
    CommandResult build = Shell(kShowpack.string() + " build --no-check '" + description.string() + "' -o '" + packed.string() + "'");
    ASSERT_EQ(build.status, 0) << build.err;
    EXPECT_EQ(fs::file_size(packed), kEngineSize + fs::file_size(packed) - kEngineSize);
    EXPECT_GT(fs::file_size(packed), kEngineSize);

    auto dump = DumpJson(packed);
    EXPECT_EQ(dump["headerWord"], 77);
    EXPECT_EQ(dump["signature"], "A");
    EXPECT_EQ(dump["formatVersion"], 4.5);
    EXPECT_EQ(dump["signatureBVersion"], 0.0);
    auto items = dump["items"];
    ASSERT_EQ(items.size(), 15u);
    auto given = nlohmann::json::parse(kEveryKind)["items"];
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]["index"], i);
        // Every field the description gave comes back with its value.
        for (auto& [key, value] : given[i].items()) {
            if (key == "file" || key == "placement" || key == "color" || key == "font") continue;
            EXPECT_EQ(items[i][key], value) << "item " << i << " field " << key;
        }
        for (auto group : {"placement", "color", "font"}) {
            if (!given[i].contains(group)) continue;
            for (auto& [key, value] : given[i][group].items())
                EXPECT_EQ(items[i][group][key], value) << "item " << i << " " << group << "." << key;
        }
    }
    EXPECT_EQ(items[0]["file"], (nlohmann::json{{"name", "photo"}, {"size", 1000}}));
    EXPECT_EQ(items[0]["users"], (nlohmann::json{1, 2, 3}));
    EXPECT_EQ(items[9]["file"], (nlohmann::json{{"name", "My tune"}, {"size", 7}}));
    EXPECT_EQ(items[9]["users"], (nlohmann::json{10, 11}));
    EXPECT_EQ(items[6].size(), 6u) << "a loop start has no fields of its own";
    EXPECT_EQ(items[14]["users"], nlohmann::json::array());
}

TEST_F(ShowpackTest, DumpBuildDumpRoundTrips) {
    Write("photo.bin", std::string(3000, 'x'));
    Write("tune.bin", "MThd");
    auto packed = m_dir / "first";
    ASSERT_EQ(Build(Write("show.json", kEveryKind), packed, kEngine, std::cerr), 0);
    auto first = DumpJson(packed, "--files '" + (m_dir / "files").string() + "'");
    Write("again.json", first.dump());
    auto second = m_dir / "second";
    ASSERT_EQ(Build(m_dir / "again.json", second, kEngine, std::cerr), 0);
    EXPECT_EQ(Comparable(DumpJson(second)), Comparable(first));
    // The embedded bytes themselves survived.
    std::ifstream photo(m_dir / "files" / "item0-file.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(photo), {}), std::string(3000, 'x'));
}

TEST_F(ShowpackTest, DescriptionErrorsNameTheItemAndTheField) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"items": [{"class": "PauseItem", "duration": "long"}]})", "bad.json:1: items[0].duration"},
        {R"({"items": [{"class": "NoteItem"}, {"class": "PauseItem", "durration": 5}]})",
         "items[1].durration: unknown field (did you mean \"duration\"?)"},
        {R"({"items": [{"class": "ShowPictureItem", "picture": 1}, {"class": "NoteItem"}]})",
         "items[0].picture: item 1 is not a PictureItem"},
        {R"({"items": [{"class": "NoteItem", "text": "\u4e2d"}]})", "items[0].text"},
        {R"({"items": [{"class": "LineItem", "placement": {"startX": 5000000000}}]})",
         "items[0].placement.startX"},
        {R"({"items": [{"class": "MediaItem", "file": {"path": "missing.bin"}}]})",
         "items[0].file.path: cannot read"},
        {R"({"items": [{"class": "MediaItem", "file": {"name": "x", "size": 10}}]})",
         "items[0].file.path"},
        {R"({"items": [{"class": "Nonsense"}]})", "items[0].class"},
        {R"({"items": [{"class": "NoteItem", "kind": 4}]})", "items[0].kind"},
        {R"({"items": [{"class": "PictureItem", "contentType": 1, "file": {"path": "x"}}]})",
         "items[0].file: unknown field"},
        // The words of the friendly form, with a line and a suggestion.
        {"{\"items\": [\n {\"class\": \"NoteItem\"},\n {\"class\": \"ShowPictureItem\",\n  \"placement\": {\"effect\": \"dissolv\"}}]}",
         "bad.json:4: items[1].placement.effect: unknown effect \"dissolv\" (did you mean \"dissolve\"?)"},
        {R"({"items": [{"class": "PictureItem", "name": "Sunrise", "contentType": 1},
                       {"class": "HidePictureItem", "picture": "Sunris"}]})",
         "bad.json:2: items[1].picture: no PictureItem is named \"Sunris\" (did you mean \"Sunrise\"?)"},
        {R"({"items": [{"class": "PictureItem", "name": "A"}, {"class": "PictureItem", "name": "A"},
                       {"class": "MediaItem", "name": "A"}, {"class": "HidePictureItem", "picture": "A"}]})",
         "items[3].picture: the name \"A\" fits the PictureItems 0 and 1; give the index instead"},
        {R"({"items": [{"class": "MediaItem", "name": "Tune"}, {"class": "MediaItem", "name": "Lighthouse"},
                       {"class": "MediaStopItem", "media": "Fireflies"}]})",
         "items[2].media: no MediaItem is named \"Fireflies\"; they are \"Tune\" and \"Lighthouse\""},
        {R"({"items": [{"class": "BackgroundItem", "color": {"color": "reed"}}]})",
         "items[0].color.color: unknown colour \"reed\" (did you mean \"red\"?)"},
        {R"({"items": [{"class": "PauseItem", "duration": "1.5 s"}]})", "expected a duration such as"},
        {R"({"items": [{"class": "PauseItem", "duration": "1.0005s"}]})", "not a whole number of milliseconds"},
        {R"({"items": [{"class": "PauseItem", "duration": "3000000s"}]})", "longer than 2147483647 ms"},
        {R"({"items": [{"class": "ShowPictureItem", "placement": {"effect": 4, "effectNumber": 4}}]})",
         "items[0].placement.effect: give effect or effectNumber, not both"},
        {R"({"items": [{"class": "PauseItm"}]})", "unknown item class \"PauseItm\" (did you mean \"PauseItem\"?)"},
        {"{\"items\": [\n  {\"class\": \"PauseItem\",}]}", "bad.json:2:25: not valid JSON"},
        {R"([1, 2])", "expected an object"},
        {R"({"items": [)", "not valid JSON"},
    };
    for (auto [json, expected] : cases) {
        auto built = BuildShow(Write("bad.json", json));
        ASSERT_FALSE(built) << json;
        EXPECT_NE(built.Error().what.find(expected), std::string::npos) << json << "\n -> " << built.Error().what;
    }
}

// The show bytes of a packed or bare file, or of a description built.
std::string ShowBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    return bytes.size() > kEngineSize ? bytes.substr(kEngineSize) : bytes;
}

TEST_F(ShowpackTest, FriendlyWordsBuildTheNumbersTheyName) {
    // Every word reads back to its own number.
    for (int32_t effect = 0; effect < kEffectCount; ++effect)
        EXPECT_EQ(EffectByName(EffectNames()[static_cast<size_t>(effect)]), effect);
    for (auto name : ColourNames()) EXPECT_EQ(ColourText(*ColourByText(name)), std::string(name));
    for (uint32_t colour : {0x000000u, 0x402000u, 0xC0FFFFu, 0x0000FFu, 0xFFFFFFu, 0x123456u})
        EXPECT_EQ(ColourByText(*ColourText(colour)), colour) << colour;
    EXPECT_EQ(ColourText(0x01000000u), std::nullopt);
    for (int32_t ms : {0, 1, 99, 150, 999, 1000, 1050, 1500, 2000, 97000, INT32_MAX})
        EXPECT_EQ(*DurationByText(*DurationText(ms)), ms) << ms;
    EXPECT_EQ(*DurationByText("0.1s"), 100);
    EXPECT_EQ(*DurationByText("1.25s"), 1250);

    // The docs list the same names in the same order.
    std::ifstream docs(fs::path(SHOWSAVER_SOURCE_DIR) / "docs" / "EFFECTS.md");
    int listed = 0;
    for (std::string line; std::getline(docs, line);) {
        std::string row = "| " + std::to_string(listed) + " | `";
        if (!line.starts_with(row)) continue;
        EXPECT_EQ(line.substr(row.size(), line.find('`', row.size()) - row.size()),
                  EffectNames()[static_cast<size_t>(listed)]);
        ++listed;
    }
    EXPECT_EQ(listed, kEffectCount);

    // Each friendly item builds the bytes of its numeric twin.
    Write("photo.bin", "BM");
    const std::string pictures = R"({"class": "PictureItem", "name": "Sunrise", "file": {"path": "photo.bin"}},
        {"class": "MediaItem", "name": "Tune", "mediaType": 2, "file": {"path": "photo.bin"}},)";
    const std::pair<const char*, const char*> twins[] = {
        {R"({"class": "ShowPictureItem", "picture": "Sunrise", "placement": {"effect": "Dissolve"}})",
         R"({"class": "ShowPictureItem", "picture": 0, "placement": {"effectNumber": 6}})"},
        {R"({"class": "ShowPictureItem", "picture": 0, "placement": {"effectNumber": "roll-to-middle-down"}})",
         R"({"class": "ShowPictureItem", "picture": 0, "placement": {"effectNumber": 87}})"},
        {R"({"class": "BackgroundItem", "color": {"color": "#002040"}})",
         R"({"class": "BackgroundItem", "color": {"color": 4202496}})"},
        {R"({"class": "LineItem", "color": {"color": "Aqua"}})", R"({"class": "LineItem", "color": {"color": 16776960}})"},
        {R"({"class": "PictureItem", "contentType": 1, "textColor": "yellow", "backgroundColor": "navy"})",
         R"({"class": "PictureItem", "contentType": 1, "textColor": 65535, "backgroundColor": 8388608})"},
        {R"({"class": "PauseItem", "duration": "1.5s"})", R"({"class": "PauseItem", "duration": 1500})"},
        {R"({"class": "PauseItem", "duration": "200ms"})", R"({"class": "PauseItem", "duration": 200})"},
        {R"({"class": "MediaPlayItem", "media": "Tune", "time": "2s"})",
         R"({"class": "MediaPlayItem", "media": 1, "time": 2000, "repeatCount": 1, "tag": 0, "disabled": 0})"},
    };
    for (auto [friendly, numeric] : twins) {
        auto a = BuildShow(Write("a.json", std::string(R"({"items": [)") + pictures + friendly + "]}"));
        auto b = BuildShow(Write("b.json", std::string(R"({"items": [)") + pictures + numeric + "]}"));
        ASSERT_TRUE(a) << friendly << ": " << a.Error().what;
        ASSERT_TRUE(b) << numeric << ": " << b.Error().what;
        EXPECT_EQ(*a, *b) << friendly;
    }
}

TEST_F(ShowpackTest, DumpThenBuildGivesBackTheSameShowBytes) {
    Write("photo.bin", std::string(3000, 'x'));
    Write("tune.bin", "MThd");
    ASSERT_EQ(Build(Write("every.json", kEveryKind), m_dir / "every", kEngine, std::cerr), 0);
    ASSERT_EQ(Build(Write("words.json", R"({"items": [
        {"class": "PictureItem", "name": "Twin", "file": {"path": "photo.bin"}},
        {"class": "PictureItem", "name": "Twin", "file": {"path": "photo.bin"}},
        {"class": "PictureItem", "name": "", "contentType": 1, "textColor": 16909060, "text": "x"},
        {"class": "ShowPictureItem", "picture": 1, "placement": {"effectNumber": 88}},
        {"class": "ShowPictureItem", "picture": 2, "placement": {"effectNumber": -1}},
        {"class": "PauseItem", "name": "Twin", "duration": -5},
        {"class": "MediaPlayItem", "time": 1234}]})"), m_dir / "words", kEngine, std::cerr), 0);
    const fs::path shows[] = {fs::path(SHOWSAVER_BINARY_DIR) / "demo-show", m_dir / "every", m_dir / "words"};
    for (const auto& show : shows) {
        auto files = m_dir / ("files-" + show.filename().string());
        CommandResult dump = Shell(kShowpack.string() + " dump --json --files " + Quoted(files) + " " + Quoted(show));
        ASSERT_EQ(dump.status, 0) << dump.err;
        auto description = Write("again.json", dump.out);
        auto rebuilt = BuildShow(description);
        ASSERT_TRUE(rebuilt) << show << ": " << rebuilt.Error().what << "\n" << dump.out;
        EXPECT_EQ(std::string(rebuilt->begin(), rebuilt->end()), ShowBytes(show)) << show << "\n" << dump.out;
    }
}

TEST_F(ShowpackTest, SaversOfAnyEngineAreReadPackedAndInstalledAsTheyAre) {
    auto show = BuildShow(Write("show.json", R"({"items": [
        {"class": "NoteItem", "text": "An old saver"},
        {"class": "BackgroundItem", "color": {"color": "lime"}}]})"));
    ASSERT_TRUE(show);
    const std::string bytes(show->begin(), show->end());
    std::ifstream trueFile("/bin/true", std::ios::binary);
    const struct {
        const char* name;
        std::string front;
    } fronts[] = {
        {"linux.scr", std::string((std::istreambuf_iterator<char>(trueFile)), {})},
        {"windows.scr", "MZ" + std::string(58, '\x90') + "\x80\0\0\0PE\0\0\x4c\x01"},
        {"bare.show", ""},
    };
    for (const auto& f : fronts) {
        SCOPED_TRACE(f.name);
        std::string front = f.front;
        if (!front.empty()) front.resize(kEngineSize, '\xCC');
        auto saver = Write(f.name, front + bytes);
        EXPECT_EQ(Shell(kShowpack.string() + " check " + Quoted(saver)).status, 0);
        CommandResult dump = Shell(kShowpack.string() + " dump " + Quoted(saver));
        EXPECT_NE(dump.out.find("BackgroundItem"), std::string::npos) << dump.err;
        CommandResult render = Shell(kShowpack.string() + " render " + Quoted(saver) + " --size 40x30 --fast --out " +
                                     Quoted(m_dir / "render"));
        EXPECT_EQ(render.status, 0) << render.err;
        CommandResult pack = Shell(kShowpack.string() + " pack " + Quoted(saver) + " -o " + Quoted(m_dir / "new"));
        ASSERT_EQ(pack.status, 0) << pack.err;
        EXPECT_EQ(ShowBytes(m_dir / "new"), bytes);
        // Installed: our engine in front of the same show, named after the file.
        CommandResult install = Shell("XDG_DATA_HOME=" + Quoted(m_dir / "data") + " " + kShowpack.string() +
                                      " install " + Quoted(saver) + " --user --force");
        ASSERT_EQ(install.status, 0) << install.err;
        auto installed = m_dir / "data" / "showsaver" / "savers" / f.name;
        EXPECT_EQ(ShowBytes(installed), bytes);
        std::ifstream a(installed, std::ios::binary), b(m_dir / "new", std::ios::binary);
        EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
    }
    // A file too short to hold a saver's show, and one whose show is broken.
    auto shortFile = Write("short.scr", std::string(1000, 'E'));
    CommandResult refused = Shell(kShowpack.string() + " pack " + Quoted(shortFile) + " -o " + Quoted(m_dir / "x"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("581632"), std::string::npos) << refused.err;
    auto broken = Write("broken.scr", std::string(kEngineSize, 'E') + bytes.substr(0, bytes.size() - 3));
    EXPECT_EQ(Shell(kShowpack.string() + " play " + Quoted(broken)).status, 1);
    EXPECT_FALSE(fs::exists(m_dir / "x"));
}

TEST_F(ShowpackTest, PacksTheEngineAtItsFixedSize) {
    auto description = Write("show.json", R"({"items": [{"class": "PauseItem", "duration": 5}]})");
    auto show = BuildShow(description);
    ASSERT_TRUE(show) << show.Error().what;
    auto packed = m_dir / "packed";
    auto written = WritePacked(kEngine, *show, packed);
    ASSERT_TRUE(written) << written.Error().what;
    std::ifstream in(packed, std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), {});
    std::vector<uint8_t> bytes(raw.begin(), raw.end());
    ASSERT_EQ(bytes.size(), kEngineSize + show->size());
    auto engineSize = fs::file_size(kEngine);
    EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<long>(engineSize), bytes.begin() + kEngineSize,
                            [](uint8_t c) { return c == 0; }));
    EXPECT_TRUE(std::equal(show->begin(), show->end(), bytes.begin() + kEngineSize));
    EXPECT_TRUE(fs::status(packed).permissions() == (fs::status(packed).permissions() | fs::perms::owner_exec));

    // A bare show packs to the same file.
    auto bare = Write("bare.show", std::string(show->begin(), show->end()));
    CommandResult pack = Shell(kShowpack.string() + " pack '" + bare.string() + "' -o '" + (m_dir / "repacked").string() + "'");
    EXPECT_EQ(pack.status, 0) << pack.err;
    EXPECT_EQ(fs::file_size(m_dir / "repacked"), bytes.size());

    // An engine too large to pack is refused and nothing is written.
    auto big = Write("big-engine", std::string(kEngineSize + 1, 'E'));
    auto refused = WritePacked(big, *show, m_dir / "none");
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.Error().what.find("581632"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir / "none"));
}

TEST_F(ShowpackTest, ExitStatusesAndErrorLines) {
    // A file that is no show: status 1 and one line with the offset.
    auto junk = Write("junk", "not a show at all");
    CommandResult dump = Shell(kShowpack.string() + " dump '" + junk.string() + "'");
    EXPECT_EQ(dump.status, 1);
    EXPECT_NE(dump.err.find("at byte"), std::string::npos) << dump.err;
    EXPECT_EQ(std::count(dump.err.begin(), dump.err.end(), '\n'), 1);

    // A bare show that is cut short names the item.
    auto description = Write("show.json", R"({"items": [{"class": "NoteItem", "text": "hello there"}]})");
    auto show = BuildShow(description);
    ASSERT_TRUE(show);
    auto cut = Write("cut.show", std::string(show->begin(), show->end() - 3));
    CommandResult cutDump = Shell(kShowpack.string() + " dump --json '" + cut.string() + "'");
    EXPECT_EQ(cutDump.status, 1);
    EXPECT_NE(cutDump.err.find("item 0 (NoteItem)"), std::string::npos) << cutDump.err;
    EXPECT_TRUE(cutDump.out.empty());

    EXPECT_EQ(Shell(kShowpack.string()).status, 2);
    EXPECT_EQ(Shell(kShowpack.string() + " frobnicate x").status, 2);
    EXPECT_EQ(Shell(kShowpack.string() + " dump").status, 2);
    EXPECT_EQ(Shell(kShowpack.string() + " build x.json").status, 2);
    EXPECT_EQ(Shell(kShowpack.string() + " dump --bogus x").status, 2);
    EXPECT_EQ(Shell(kShowpack.string() + " pack '" + junk.string() + "' -o '" + (m_dir / "o").string() + "'").status, 1);
}

TEST_F(ShowpackTest, BuildRefusesBadPathsAndNumbersWithOneLine) {
    // Runs bounded in time and memory, so that a hang or a runaway
    // allocation fails the case instead of the test run. AddressSanitizer
    // reserves its shadow memory beyond any ulimit -v, and bounds the heap
    // by its own options instead.
#if SHOWSAVER_TEST_UNDER_ASAN
    const std::string bound = "export ASAN_OPTIONS=\"$ASAN_OPTIONS:max_allocation_size_mb=2048:allocator_may_return_null=1\"; ";
#else
    const std::string bound = "ulimit -v 2097152; ";
#endif
    auto build = [&](const std::string& description, const std::string& engine) {
        return Shell(bound + "timeout 60 " + kShowpack.string() + " build " + description + " -o " +
                     Quoted(m_dir / "out") + " --engine " + engine);
    };
    int descriptions = 0;
    auto media = [&](const std::string& path) {
        return Quoted(Write("media" + std::to_string(++descriptions) + ".json",
                            R"({"items": [{"class": "MediaItem", "file": {"path": )" + path + "}}]}"));
    };
    fs::create_directories(m_dir / "folder");
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    {
        // A sparse file whose size still fits the 32-bit size field.
        std::ofstream sparse(m_dir / "sparse", std::ios::binary);
        sparse.seekp(static_cast<std::streamoff>(UINT32_MAX) - 1);
        sparse.put('x');
    }
    const std::string engine = Quoted(kEngine);
    const std::string pause = Quoted(Write("pause.json", R"({"items": [{"class": "PauseItem", "duration": 5}]})"));
    const struct {
        std::string description, engine, expected;
    } cases[] = {
        {Quoted(m_dir / "folder"), engine, "is not a regular file"},
        {Quoted(m_dir / "fifo"), engine, "is not a regular file"},
        {pause, Quoted(m_dir / "folder"), "is not a regular file"},
        {pause, "''", "the engine's path is empty"},
        {pause, Quoted(Write("empty-engine", "")), "is empty"},
        {media("\"sparse\""), engine, "not enough memory"},
        {media("\"fifo\""), engine, "is not a regular file"},
        {media("\"folder\""), engine, "is not a regular file"},
        {media("\"\""), engine, "expected the path of a file"},
        {media("\"/dev/zero\""), engine, "is not a regular file"},
        {media("\"/dev/null\""), engine, "is not a regular file"},
        {media("\"pause.json\\u0000x\""), engine, "holds a NUL character"},
        {Quoted(Write("kind1.json", R"({"items": [{"kind": 4294967301}]})")), engine, "items[0].kind"},
        {Quoted(Write("kind2.json", R"({"items": [{"kind": -4294967291}]})")), engine, "items[0].kind"},
    };
    for (const auto& c : cases) {
        CommandResult run = build(c.description, c.engine);
        EXPECT_EQ(run.status, 1) << c.description << " " << c.engine << ": " << run.err;
        // showpack's own lines; a sanitizer's warnings start with "==".
        std::istringstream lines(run.err);
        int ownLines = 0;
        for (std::string line; std::getline(lines, line);) ownLines += !line.starts_with("==");
        EXPECT_EQ(ownLines, 1) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("larger than 4 GiB"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(m_dir / "out")) << c.description;
    }
    // The bounds hold no good build back.
    EXPECT_EQ(build(pause, engine).status, 0);
}

TEST_F(ShowpackTest, DumpReadsOldSignatureBShows) {
    // A signature-B show of version 1.0: a picture with the oldest layout.
    ShowWriter writer;
    writer.WriteUInt32(1);
    writer.WriteText("ScreenShowFileB");
    writer.WriteFloat(1.0f);
    writer.WriteInt32(1);
    writer.WriteInt32(5);                 // BackgroundItem
    writer.WriteScrambledText("old");
    writer.WriteInt32(0);
    writer.WriteInt32(0);
    for (int32_t v : {0x00FF00, 0, 0, 1}) writer.WriteInt32(v);
    auto file = Write("old.show", std::string(writer.Bytes().begin(), writer.Bytes().end()));
    auto dump = DumpJson(file);
    EXPECT_EQ(dump["signature"], "B");
    EXPECT_EQ(dump["signatureBVersion"], 1.0);
    EXPECT_EQ(dump["items"][0]["color"]["color"], 0x00FF00);
}

} // namespace
} // namespace showsaver::showpack

namespace showsaver::showpack {
namespace {

// The build command refuses what check and the engine refuse, with the
// same messages and status 1, and writes nothing; what check accepts, it
// builds. A table over refusals of several kinds, among them a picture too
// large to draw, which is named with its size and the limit.
TEST_F(ShowpackTest, BuildRefusesExactlyWhatCheckRefuses) {
    Write("picture.gif", "GIF89a\x01\x00\x01\x00junk");
    Write("empty.mp3", "");
    // A PNG whose header says 30000 x 30000, with one byte of pixels.
    auto chunk = [](const std::string& type, const std::string& data) {
        std::string body = type + data;
        uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char c : body) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        crc ^= 0xFFFFFFFFu;
        auto be32 = [](uint32_t v) {
            return std::string{char(v >> 24), char(v >> 16 & 0xFF), char(v >> 8 & 0xFF), char(v & 0xFF)};
        };
        return be32(static_cast<uint32_t>(data.size())) + body + be32(crc);
    };
    Write("huge.png", std::string("\x89PNG\r\n\x1a\n", 8) +
                          chunk("IHDR", std::string("\x00\x00\x75\x30\x00\x00\x75\x30\x08\x02\x00\x00\x00", 13)) +
                          chunk("IDAT", std::string("\x78\x01\x01\x01\x00\xFE\xFF\x00\x00\x01\x00\x01", 12)) +
                          chunk("IEND", ""));
    WriteBmpFile(m_dir / "picture.bmp", std::vector<uint32_t>(7, 0x404040), 5);
    const struct {
        const char* name;
        const char* items;
        bool accepted;
        const char* says;
    } cases[] = {
        {"gif", R"([{"class": "PictureItem", "file": {"path": "picture.gif"}}])", false, "not supported"},
        {"huge-png", R"([{"class": "PictureItem", "file": {"path": "huge.png"}}])", false,
         "huge\nThe picture is 30000 x 30000 pixels; a picture may have at most 134217728 pixels and 32767 on a side."},
        {"empty-mp3", R"([{"class": "MediaItem", "file": {"path": "empty.mp3"}, "mediaType": 2}])", false, ""},
        {"bmp", R"([{"class": "PictureItem", "file": {"path": "picture.bmp"}}])", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto description = Write(std::string(c.name) + ".json", std::string(R"({"items": )") + c.items + "}");
        auto unchecked = m_dir / (std::string(c.name) + "-unchecked");
        ASSERT_EQ(Build(description, unchecked, kEngine, std::cerr), 0);
        CommandResult checked = Shell(kShowpack.string() + " check " + Quoted(unchecked));
        auto built = m_dir / (std::string(c.name) + "-built");
        CommandResult build = Shell(kShowpack.string() + " build " + Quoted(description) + " -o " + Quoted(built) +
                                    " --engine " + Quoted(kEngine));
        EXPECT_EQ(checked.status, c.accepted ? 0 : 1) << checked.err;
        EXPECT_EQ(build.status, checked.status) << build.err;
        EXPECT_EQ(fs::exists(built), c.accepted);
        EXPECT_NE(checked.err.find(c.says), std::string::npos) << checked.err;
        if (!c.accepted) {
            EXPECT_FALSE(checked.err.empty());
            // The item's own messages are the same; only the file named differs.
            EXPECT_EQ(build.err.substr(0, build.err.find("showpack: ")), checked.err.substr(0, checked.err.find("showpack: ")));
        }
    }
}

TEST_F(ShowpackTest, CheckRefusesAGifAndMeasuresWhatItDecodes) {
    Write("picture.gif", "GIF89a\x01\x00\x01\x00junk");
    auto gifShow = m_dir / "gif-show";
    ASSERT_EQ(Build(Write("gif.json", R"({"items": [{"class": "PictureItem", "file": {"path": "picture.gif"}},
        {"class": "ShowPictureItem", "picture": 0}]})"), gifShow, kEngine, std::cerr), 0);
    CommandResult refused = Shell(kShowpack.string() + " check --json " + Quoted(gifShow));
    EXPECT_EQ(refused.status, 1);
    auto report = nlohmann::json::parse(refused.out);
    EXPECT_EQ(report["valid"], false);
    EXPECT_EQ(report["messages"], nlohmann::json({"This image format is not supported or image date is corrupted"}));
    EXPECT_NE(refused.err.find("This image format is not supported"), std::string::npos);

    // A 7 x 5 BMP, and a caption.
    WriteBmpFile(m_dir / "picture.bmp", std::vector<uint32_t>(7, 0x404040), 5);
    auto goodShow = m_dir / "good-show";
    ASSERT_EQ(Build(Write("good.json", R"({"items": [{"class": "PictureItem", "file": {"path": "picture.bmp"}},
        {"class": "ShowPictureItem", "picture": 0},
        {"class": "PictureItem", "contentType": 1, "text": "Hello", "font": {"height": -20, "faceName": "Arial"}},
        {"class": "ShowPictureItem", "picture": 2}]})"), goodShow, kEngine, std::cerr), 0);
    CommandResult accepted = Shell(kShowpack.string() + " check --json " + Quoted(goodShow));
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    report = nlohmann::json::parse(accepted.out);
    EXPECT_EQ(report["valid"], true);
    ASSERT_EQ(report["pictures"].size(), 2u);
    EXPECT_EQ(report["pictures"][0], (nlohmann::json{{"index", 0}, {"naturalWidth", 7}, {"naturalHeight", 5}}));
    EXPECT_EQ(report["pictures"][1]["index"], 2);
    EXPECT_GT(report["pictures"][1]["naturalWidth"], 30);
}

} // namespace
} // namespace showsaver::showpack

#include <cairo.h>

namespace showsaver::showpack {
namespace {

uint32_t PngPixel(const fs::path& png, int x, int y) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
    uint32_t pixel = 0xDEADBEEF;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        pixel = reinterpret_cast<uint32_t*>(row)[x] & 0xFFFFFF;
    }
    cairo_surface_destroy(surface);
    return pixel;
}

TEST_F(ShowpackTest, RenderPlaysAShowIntoPngFiles) {
    // A 4 x 2 BMP, red on the left and blue on the right, placed at (10, 6).
    WriteBmpFile(m_dir / "picture.bmp", {0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF}, 2);
    auto show = m_dir / "show";
    ASSERT_EQ(Build(Write("show.json", R"({"items": [
        {"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
        {"class": "PictureItem", "file": {"path": "picture.bmp"}},
        {"class": "ShowPictureItem", "picture": 1, "placement": {"startX": 10, "startY": 6}},
        {"class": "PauseItem", "duration": 100000}]})"), show, kEngine, std::cerr), 0);
    auto out = m_dir / "render";
    CommandResult run = Shell(kShowpack.string() + " render " + Quoted(show) + " --size 32x16 --out " + Quoted(out) +
                              " --each-item --fast");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(PngPixel(out / "0.png", 0, 0), 0x00FF00u) << "the background item painted the screen";
    EXPECT_EQ(PngPixel(out / "final.png", 0, 0), 0x00FF00u);
    EXPECT_EQ(PngPixel(out / "final.png", 10, 6), 0xFF0000u);
    EXPECT_EQ(PngPixel(out / "final.png", 13, 7), 0x0000FFu);
    EXPECT_EQ(PngPixel(out / "final.png", 14, 7), 0x00FF00u);
    EXPECT_TRUE(fs::exists(out / "3.png"));

    // A refused show renders nothing.
    auto refused = m_dir / "refused";
    ASSERT_EQ(Build(Write("refused.json", R"({"items": [{"class": "MediaStopItem"}]})"), refused, kEngine, std::cerr), 0);
    CommandResult bad = Shell(kShowpack.string() + " render " + Quoted(refused) + " --size 8x8 --out " + Quoted(m_dir / "r2"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("You have to choose the media."), std::string::npos);
    EXPECT_EQ(Shell(kShowpack.string() + " render " + Quoted(refused) + " --size 8by8 --out x").status, 2);
}

} // namespace
} // namespace showsaver::showpack

namespace showsaver::showpack {
namespace {

TEST_F(ShowpackTest, CheckAcceptsEverySupportedVariant) {
    if (Shell("command -v convert").status != 0) GTEST_SKIP() << "ImageMagick's convert is not installed";
    // name, ImageMagick output spec and options
    const std::vector<std::pair<std::string, std::string>> variants = {
        {"bmp24.bmp", "-type TrueColor BMP3:"},      {"bmp8.bmp", "-type Palette BMP3:"},
        {"bmp4.bmp", "-colors 16 -type Palette BMP3:"}, {"bmp1.bmp", "-monochrome BMP3:"},
        {"rle8.bmp", "-type Palette -compress RLE BMP3:"}, {"os2.bmp", "BMP2:"},
        {"base.jpg", "-quality 90 JPEG:"},             {"prog.jpg", "-interlace Plane JPEG:"},
        {"grey.jpg", "-colorspace Gray JPEG:"},        {"cmyk.jpg", "-colorspace CMYK JPEG:"},
        {"rgb.png", "PNG24:"},                         {"rgba.png", "-alpha set PNG32:"},
        {"pal.png", "PNG8:"},                          {"grey16.png", "-colorspace Gray -depth 16 PNG:"},
        {"inter.png", "-interlace PNG PNG24:"},        {"true.pcx", "-type TrueColor PCX:"},
        {"pal.pcx", "-type Palette PCX:"},             {"true.tga", "TGA:"},
        {"rle.tga", "-compress RLE TGA:"},
        // (A colour-mapped TGA starts 00 01: the signature table knows TGA only
        // by 00 00, so such a file is refused as an unknown format.)
    };
    nlohmann::json items = nlohmann::json::array();
    for (const auto& [name, spec] : variants) {
        auto path = m_dir / name;
        auto options = spec.substr(0, spec.rfind(' ') == std::string::npos ? 0 : spec.rfind(' '));
        auto format = spec.substr(spec.rfind(' ') == std::string::npos ? 0 : spec.rfind(' ') + 1);
        CommandResult made = Shell("convert -size 13x7 gradient:red-blue " + options + " " + format + Quoted(path));
        ASSERT_EQ(made.status, 0) << name << ": " << made.err;
        int index = static_cast<int>(items.size());
        items.push_back({{"class", "PictureItem"}, {"name", name}, {"file", {{"path", path.string()}}}});
        items.push_back({{"class", "ShowPictureItem"}, {"picture", index}});
    }
    auto description = Write("all.json", nlohmann::json({{"items", items}}).dump());
    auto show = m_dir / "all-show";
    ASSERT_EQ(Build(description, show, kEngine, std::cerr), 0);
    CommandResult run = Shell(kShowpack.string() + " check --json " + Quoted(show));
    EXPECT_EQ(run.status, 0) << run.err;
    auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["valid"], true);
    EXPECT_EQ(report["messages"], nlohmann::json::array());
    ASSERT_EQ(report["pictures"].size(), variants.size());
    for (const auto& picture : report["pictures"]) {
        EXPECT_EQ(picture["naturalWidth"], 13) << picture;
        EXPECT_EQ(picture["naturalHeight"], 7) << picture;
    }
}

// Pictures are measured on several threads before validation, which still
// goes through them in order and stops at the first it refuses: its message
// alone is shown, whatever the pictures after it hold.
TEST_F(ShowpackTest, CheckStopsAtTheFirstRefusedPhotographOfMany) {
    if (Shell("command -v convert").status != 0) GTEST_SKIP() << "ImageMagick's convert is not installed";
    ASSERT_EQ(Shell("convert -size 13x7 gradient:red-blue -quality 90 JPEG:" + Quoted(m_dir / "good.jpg")).status, 0);
    std::ifstream in(m_dir / "good.jpg", std::ios::binary);
    std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Write("truncated.jpg", good.substr(0, good.size() / 2));
    // Height and width follow the start-of-frame marker, its length and precision.
    std::string huge = good;
    const size_t frame = huge.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    huge.replace(frame + 5, 4, "\x9C\x40\x9C\x40");   // 40000 x 40000
    Write("huge.jpg", huge);

    auto checkOf = [&](const std::vector<std::string>& files) {
        nlohmann::json items = nlohmann::json::array();
        for (const auto& file : files) items.push_back({{"class", "PictureItem"}, {"name", file}, {"file", {{"path", (m_dir / file).string()}}}});
        for (size_t i = 0; i < files.size(); ++i) items.push_back({{"class", "ShowPictureItem"}, {"picture", i}});
        auto show = m_dir / "show";
        EXPECT_EQ(Build(Write("show.json", nlohmann::json({{"items", items}}).dump()), show, kEngine, std::cerr), 0);
        CommandResult run = Shell(kShowpack.string() + " check --json " + Quoted(show));
        return nlohmann::json::parse(run.out);
    };
    auto report = checkOf({"good.jpg", "huge.jpg", "truncated.jpg", "good.jpg"});
    EXPECT_EQ(report["valid"], false);
    ASSERT_EQ(report["messages"].size(), 1u) << report;
    EXPECT_EQ(report["messages"][0].get<std::string>().rfind("huge\nThe picture is 40000 x 40000 pixels;", 0), 0u) << report;
    report = checkOf({"good.jpg", "truncated.jpg", "huge.jpg", "good.jpg"});
    EXPECT_EQ(report["valid"], false);
    EXPECT_EQ(report["messages"], nlohmann::json::array()) << "a broken photograph is refused without a message";
    // A format nobody decodes says so, measured ahead like the others.
    Write("picture.gif", "GIF89a\x01\x00\x01\x00junk");
    report = checkOf({"good.jpg", "picture.gif", "huge.jpg"});
    EXPECT_EQ(report["valid"], false);
    EXPECT_EQ(report["messages"], nlohmann::json({"This image format is not supported or image date is corrupted"}));
    report = checkOf({"good.jpg", "good.jpg", "good.jpg"});
    EXPECT_EQ(report["valid"], true);
    ASSERT_EQ(report["pictures"].size(), 3u);
    for (const auto& picture : report["pictures"]) EXPECT_EQ(picture["naturalWidth"], 13) << picture;
}

// A background video in a render shows, at each item's end, its picture of
// that moment of the show, round after round, until a stop item takes it
// away; the frames of the fixture have known colours at 10 per second.
TEST_F(ShowpackTest, RenderShowsABackgroundVideoAtTheShowsTime) {
    showsaver::testing::VideoFixtures fixtures;
    auto video = fixtures.Make({.codec = "mjpeg", .frames = 10, .width = 16, .height = 12, .rate = 10});
    auto show = m_dir / "video-show";
    ASSERT_EQ(Build(Write("video.json", R"({"items": [
        {"class": "BackgroundItem", "color": {"color": 0, "fourthValue": 0}},
        {"class": "MediaItem", "file": {"path": ")" + video.string() + R"("}, "mediaType": 1},
        {"class": "MediaPlayItem", "media": 1, "x": 4, "y": 2},
        {"class": "PauseItem", "duration": 350},
        {"class": "PauseItem", "duration": 1200},
        {"class": "MediaStopItem", "media": 1},
        {"class": "PauseItem", "duration": 10}]})"), show, kEngine, std::cerr), 0);
    auto out = m_dir / "video-render";
    CommandResult run = Shell(kShowpack.string() + " render " + Quoted(show) + " --size 40x30 --out " + Quoted(out) +
                              " --each-item --fast");
    ASSERT_EQ(run.status, 0) << run.err;
    using showsaver::testing::kFrameColours;
    using showsaver::testing::Near;
    EXPECT_TRUE(Near(PngPixel(out / "2.png", 10, 8), kFrameColours[0])) << "at 0 s";
    EXPECT_TRUE(Near(PngPixel(out / "3.png", 10, 8), kFrameColours[3])) << "at 0.35 s";
    EXPECT_TRUE(Near(PngPixel(out / "4.png", 10, 8), kFrameColours[5])) << "at 1.55 s, the second round";
    EXPECT_EQ(PngPixel(out / "4.png", 20, 8), 0u) << "the video keeps its own size";
    EXPECT_EQ(PngPixel(out / "5.png", 10, 8), 0u) << "the stop item took it away";
}

// Flash movies in a render run by the show's clock and go as on screen: a
// movie that does not loop at its last frame, a timed one at its limit.
TEST_F(ShowpackTest, RenderRunsFlashMoviesOnTheShowsClock) {
    auto movie = [&](const std::string& name, uint32_t rgb) {
        flash::test::SwfWriter writer(10, 10, 10, 10);
        writer.Background(rgb);
        for (int i = 0; i < 10; ++i) writer.ShowFrame();
        writer.End();
        const auto bytes = writer.Fws();
        std::ofstream(m_dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (m_dir / name).string();
    };
    auto show = m_dir / "flash-show";
    ASSERT_EQ(Build(Write("flash.json", R"({"items": [
        {"class": "BackgroundItem", "color": {"color": 0, "fourthValue": 0}},
        {"class": "MediaItem", "file": {"path": ")" + movie("once.swf", 0x0000FF) + R"("}, "mediaType": 3},
        {"class": "MediaItem", "file": {"path": ")" + movie("loop.swf", 0x00FF00) + R"("}, "mediaType": 3},
        {"class": "MediaPlayItem", "media": 1},
        {"class": "PauseItem", "duration": 300},
        {"class": "PauseItem", "duration": 1000},
        {"class": "MediaPlayItem", "media": 2, "loop": 1, "timed": 1, "time": 1500, "x": 20},
        {"class": "PauseItem", "duration": 1200},
        {"class": "PauseItem", "duration": 400}]})"), show, kEngine, std::cerr), 0);
    auto out = m_dir / "flash-render";
    CommandResult run = Shell(kShowpack.string() + " render " + Quoted(show) + " --size 40x20 --out " + Quoted(out) +
                              " --each-item --fast");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(PngPixel(out / "4.png", 5, 5), 0x0000FFu) << "at 0.3 s the first movie plays";
    EXPECT_EQ(PngPixel(out / "5.png", 5, 5), 0u) << "at 1.3 s it has ended at its last frame";
    EXPECT_EQ(PngPixel(out / "7.png", 25, 5), 0x00FF00u) << "a looping movie plays on past its length";
    EXPECT_EQ(PngPixel(out / "8.png", 25, 5), 0u) << "until its time limit";
}

// A mono 44,100 Hz wave file of a sine tone.
std::string SineWave(double hertz, double seconds) {
    const auto samples = static_cast<uint32_t>(seconds * 44100);
    std::string wav = "RIFF";
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav += static_cast<char>(v >> (8 * i)); };
    auto u16 = [&](uint16_t v) { wav += static_cast<char>(v), wav += static_cast<char>(v >> 8); };
    u32(36 + samples * 2);
    wav += "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(44100), u32(88200), u16(2), u16(16);
    wav += "data";
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) u16(static_cast<uint16_t>(static_cast<int16_t>(12000 * std::sin(2 * M_PI * hertz * i / 44100))));
    return wav;
}

// A Flash movie of 12 frames at 12 a second whose stream sound is a 1 kHz tone.
std::string ToneMovie() {
    flash::test::SwfWriter w(100, 100, 12, 12);
    flash::test::Bits head;
    const uint8_t pcm22kMono16 = 3 << 4 | 2 << 2 | 2;
    head.U8(pcm22kMono16), head.U8(pcm22kMono16), head.U16(22050 / 12);
    w.Tag(45, head.Data());
    for (int f = 0, sample = 0; f < 12; ++f) {
        flash::test::Bits block;
        for (int i = 0; i < 22050 / 12; ++i, ++sample)
            block.U16(uint16_t(int16_t(std::lround(8000 * std::sin(2 * M_PI * 1000 * sample / 22050)))));
        w.Tag(19, block.Data());
        w.ShowFrame();
    }
    w.End();
    auto bytes = w.Fws();
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(ShowpackTest, ExportWritesTheShowAsAFilmWithItsSoundOnTheEnginesClock) {
    // Red; at 0.5 s a 440 Hz tone of 1 s; at 1.5 s blue, and a white picture
    // wiped in from the left at 10 ms a column (40 columns: until 1.9 s);
    // at 2.4 s a Flash movie's 1 kHz tone, waited for until 3.32 s; the
    // list ends at 3.82 s, and the film with a frame at 3.9 s.
    Write("tone.wav", SineWave(440, 1.0));
    Write("tone.swf", ToneMovie());
    WriteBmpFile(m_dir / "white.bmp", std::vector<uint32_t>(40, 0xFFFFFF), 20);
    auto show = m_dir / "show";
    ASSERT_EQ(Build(Write("show.json", R"({"items": [
        {"class": "BackgroundItem", "color": {"color": "red"}},
        {"class": "PauseItem", "duration": "500ms"},
        {"class": "MediaPlayItem", "media": "Tone"},
        {"class": "PauseItem", "duration": "1s"},
        {"class": "BackgroundItem", "color": {"color": "blue"}},
        {"class": "PictureItem", "name": "White", "file": {"path": "white.bmp"}},
        {"class": "ShowPictureItem", "picture": "White", "placement": {"effect": "wipe-right", "transitionDelayValue": 1100}},
        {"class": "PauseItem", "duration": "0.5s"},
        {"class": "MediaPlayItem", "media": "Movie", "wait": 1, "width": 32, "height": 24},
        {"class": "PauseItem", "duration": "0.5s"},
        {"class": "MediaItem", "name": "Tone", "mediaType": 0, "file": {"path": "tone.wav"}},
        {"class": "MediaItem", "name": "Movie", "mediaType": 3, "file": {"path": "tone.swf"}}]})"), show, kEngine,
                    std::cerr), 0);
    const struct {
        const char* film;
        const char* video;
        const char* audio;
    } films[] = {{"film.mp4", "h264", "aac"}, {"film.webm", "vp9", "opus"}};
    for (const auto& f : films) {
        SCOPED_TRACE(f.film);
        auto film = m_dir / f.film;
        CommandResult run = Shell(kShowpack.string() + " export " + Quoted(show) + " -o " + Quoted(film) +
                                  " --size 64x48 --fps 10 --duration 30");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(std::string("(lib") + (f.video[0] == 'h' ? "x264" : "vpx-vp9") + ")"), std::string::npos)
            << run.out;
        // No progress bar into a pipe (a sanitizer's lines start with "==").
        EXPECT_TRUE(run.err.empty() || run.err.starts_with("==")) << run.err;

        auto probe = nlohmann::json::parse(
            Shell("ffprobe -v error -print_format json -show_streams -show_format " + Quoted(film)).out);
        ASSERT_EQ(probe["streams"].size(), 2u);
        EXPECT_EQ(probe["streams"][0]["codec_name"], f.video);
        EXPECT_EQ(probe["streams"][0]["width"], 64);
        EXPECT_EQ(probe["streams"][0]["height"], 48);
        EXPECT_EQ(probe["streams"][1]["codec_name"], f.audio);
        // The end of the list, and its last picture for one frame.
        EXPECT_NEAR(std::stod(probe["format"]["duration"].get<std::string>()), 4.0, 0.1);

        // Frame k shows the show at k / 10 s.
        std::string rgb = Shell("ffmpeg -v error -i " + Quoted(film) + " -f rawvideo -pix_fmt rgb24 -").out;
        const size_t frameBytes = 64 * 48 * 3;
        ASSERT_GE(rgb.size(), 25 * frameBytes);
        auto pixel = [&](int frame, int x, int y) {
            const auto* p = reinterpret_cast<const uint8_t*>(rgb.data()) + frame * frameBytes + (y * 64 + x) * 3;
            return std::array<int, 3>{p[0], p[1], p[2]};
        };
        auto near = [](std::array<int, 3> got, std::array<int, 3> want) {
            for (int i = 0; i < 3; ++i)
                if (std::abs(got[i] - want[i]) > 40) return false;
            return true;
        };
        const std::array<int, 3> red{255, 0, 0}, blue{0, 0, 255}, white{255, 255, 255};
        EXPECT_TRUE(near(pixel(0, 50, 40), red));
        EXPECT_TRUE(near(pixel(13, 50, 40), red));
        EXPECT_TRUE(near(pixel(16, 50, 40), blue));
        // Halfway through the wipe: the left columns are in, the right not yet.
        EXPECT_TRUE(near(pixel(17, 4, 10), white));
        EXPECT_TRUE(near(pixel(17, 36, 10), blue));
        EXPECT_TRUE(near(pixel(24, 36, 10), white));

        // The tone sounds from 0.5 s to 1.5 s, at its pitch.
        std::string pcm = Shell("ffmpeg -v error -i " + Quoted(film) + " -f s16le -ac 1 -ar 44100 -").out;
        std::vector<int16_t> sound(pcm.size() / 2);
        std::memcpy(sound.data(), pcm.data(), sound.size() * 2);
        auto loudness = [&](double from, double to) {
            double sum = 0;
            size_t n = 0;
            for (auto i = static_cast<size_t>(from * 44100); i < static_cast<size_t>(to * 44100) && i < sound.size(); ++i, ++n)
                sum += double(sound[i]) * sound[i];
            return n ? std::sqrt(sum / n) : 0.0;
        };
        auto pitch = [&](double from, double to) {
            int crossings = 0;
            for (auto i = static_cast<size_t>(from * 44100) + 1; i < static_cast<size_t>(to * 44100) && i < sound.size(); ++i)
                crossings += (sound[i - 1] < 0) != (sound[i] < 0);
            return crossings / 2.0 / (to - from);
        };
        EXPECT_LT(loudness(0.0, 0.45), 100);
        EXPECT_GT(loudness(0.55, 1.45), 4000);
        EXPECT_NEAR(pitch(0.6, 1.4), 440, 5);
        EXPECT_LT(loudness(1.6, 2.3), 100);
        // The movie's sound from its play on.
        EXPECT_NEAR(pitch(2.5, 3.2), 1000, 10);
        EXPECT_LT(loudness(3.5, 3.8), 100);
    }
    // A film of an unknown kind, or of an odd size, is refused.
    EXPECT_EQ(Shell(kShowpack.string() + " export " + Quoted(show) + " -o " + Quoted(m_dir / "film.avi")).status, 1);
    EXPECT_EQ(Shell(kShowpack.string() + " export " + Quoted(show) + " -o " + Quoted(m_dir / "f.mp4") + " --size 63x48")
                  .status, 1);
}

} // namespace
} // namespace showsaver::showpack
