// The saver as it runs unattended for hours, over every way it can end and
// every environment that fights it: what each run leaves in the temporary
// and settings folders, what it says on stderr, its exit status, and the
// share of a core it takes while it runs.

#include "audio/SoundFixtures.h"
#include "tests/e2e/EngineTest.h"
#include "tests/support/Command.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <thread>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <unistd.h>

namespace showsaver::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kEngine = fs::path(SHOWSAVER_BINARY_DIR) / "showsaver";

// Green, then a pause longer than any row.
constexpr const char* kGreenShow = R"({"items": [
    {"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
    {"class": "PauseItem", "duration": 600000}]})";

// The process's user and system time so far, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields 3 to 13 come before utime (14) and stime (15).
    for (int i = 3; i <= 13; ++i) fields >> field;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A folder of `size` on its own tmpfs, or read-only: the full temporary
// folder and the settings that cannot be written. Unmounted on destruction.
class ScopedMount {
public:
    ScopedMount(const fs::path& where, const std::string& options) : m_where(where) {
        fs::create_directories(where);
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ScopedMount(const fs::path& where, unsigned long flags) : m_where(where) {
        // A bind mount of the folder onto itself, then made read-only.
        m_mounted = ::mount(where.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) == 0;
        if (m_mounted && ::mount(nullptr, where.c_str(), nullptr, MS_REMOUNT | MS_BIND | flags, nullptr) != 0) {
            ::umount(where.c_str());
            m_mounted = false;
        }
    }
    ~ScopedMount() {
        if (m_mounted) ::umount2(m_where.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }

private:
    fs::path m_where;
    bool m_mounted = false;
};

class UnattendedEndTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        fs::create_directories(Temp());
        SetEnvironment("TMPDIR", Temp().string());
        SetEnvironment("SDL_AUDIODRIVER", "dummy");
        StoreCalibration();
    }
    void TearDown() override {
        m_saver.Stop();
        EngineTest::TearDown();
    }

    fs::path Temp() const { return m_scratch.Path() / "tmp"; }
    fs::path Settings() const { return m_scratch.Path() / "config" / "showsaver"; }
    fs::path Log() const { return m_scratch.Path() / "saver.log"; }

    void Build(const std::string& show) {
        auto description = m_scratch.Path() / "show.json";
        std::ofstream(description) << show;
        auto built = showpack::BuildPacked(description, kEngine, m_scratch.Path() / "saver");
        ASSERT_TRUE(built) << built.Error().what;
    }
    void Start(const std::vector<std::string>& args) {
        std::vector<std::string> argv{(m_scratch.Path() / "saver").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        fs::remove(Log());
        m_saver = ChildProcess::Spawn(argv, Log().string());
    }
    std::string Stderr() const {
        std::ifstream in(Log());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<fs::path> TempFolders(const fs::path& parent) const {
        std::vector<fs::path> folders;
        std::error_code ignored;
        for (auto& entry : fs::directory_iterator(parent, ignored))
            if (entry.path().filename().string().starts_with("showsaver-")) folders.push_back(entry.path());
        return folders;
    }
    // Settings files other than the hives and their lock: what a write left behind.
    std::vector<std::string> SettingsLeftovers() const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (auto& entry : fs::directory_iterator(Settings(), ignored)) {
            auto name = entry.path().filename().string();
            if (!name.ends_with(".reg") && !name.ends_with(".reg.lock")) names.push_back(name);
        }
        return names;
    }
    bool ShowsGreen() {
        auto run = testing::RunCommand("import -window root -crop 1x1+500+400 -depth 8 rgb:- | od -An -tx1");
        unsigned r = 0, g = 0, b = 0;
        return run.status == 0 && std::sscanf(run.out.c_str(), "%x %x %x", &r, &g, &b) == 3 && r == 0 && g == 255 &&
               b == 0;
    }
    // The share of one core the saver takes over a second of running.
    double CoreShare() {
        double before = CpuSeconds(m_saver.Pid());
        auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(1s);
        double after = CpuSeconds(m_saver.Pid());
        return (after - before) / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    size_t JournalLines() const {
        std::ifstream in(m_scratch.Path() / "messages.jsonl");
        size_t lines = 0;
        for (std::string line; std::getline(in, line);) ++lines;
        return lines;
    }

    ChildProcess m_saver;
};

// Each row: the show, how the saver runs and how it ends, then what must be
// true afterwards. The rows share one X server; the one that takes it away
// comes last.
TEST_F(UnattendedEndTest, EveryEndLeavesNothingBehindAndNothingSpins) {
    if (geteuid() != 0) GTEST_SKIP() << "the full and read-only folders are mounted, which needs root";
    test::WriteBytes(m_scratch.Path() / "beep.wav", test::S16Wave(test::Sine(440, 0.05, 8000, 1), 8000, 1));
    // A MIDI file of 300 KiB, more than the full temporary folder has room
    // for: it plays from the show's bytes, and nothing tries to copy it.
    auto midi = test::MidiNote(80, 76, 960 * 40);
    midi.resize(300 * 1024, 0);
    test::WriteBytes(m_scratch.Path() / "big.mid", midi);
    test::WriteBytes(m_scratch.Path() / "empty.mp3", {});

    struct Row {
        std::string name;
        std::string show;
        std::vector<std::string> args;
        std::function<void()> before;           // sets the environment up; may start more
        std::function<bool()> ready;            // true once it runs steadily; null: not waited for
        double maxCores = 0.2;                  // while it runs; < 0 when it does not run long
        std::function<void()> end;              // ends the saver
        std::optional<int> status;              // -1: killed by a signal
        std::vector<std::pair<std::string, size_t>> said;   // stderr parts and how often
        std::function<void()> after;            // further checks
    };
    auto green = [&] { return ShowsGreen(); };
    auto settingsOpen = [&] { return WaitForWindow("Settings", 100ms).has_value(); };
    std::unique_ptr<ScopedMount> mount;
    fs::path killedFolder;
    auto signal = [&](int number) { return [&, number] { ::kill(m_saver.Pid(), number); }; };
    const std::string loopAroundNothing = R"({"items": [
        {"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
        {"class": "LoopStartItem"}, {"class": "LoopEndItem", "forever": 1}]})";

    std::vector<Row> rows = {
        {"SIGKILL leaves a folder that the next start sweeps", kGreenShow, {"/s"}, {}, green, 0.2,
         [&] {
             auto folders = TempFolders(Temp());
             ASSERT_EQ(folders.size(), 1u);
             killedFolder = folders[0];
             ::kill(m_saver.Pid(), SIGKILL);
             ASSERT_EQ(m_saver.WaitForExit(10s), -1);
             ASSERT_TRUE(fs::exists(killedFolder));
             // The next saver's start removes what the killed one left.
             Start({"-window"});
             ASSERT_TRUE(WaitFor([&] { return TempFolders(Temp()).size() == 1 && !fs::exists(killedFolder); }));
             ::kill(m_saver.Pid(), SIGTERM);
         },
         0, {}, {}},
        {"SIGHUP ends the show as SIGTERM does", kGreenShow, {"/s"}, {}, green, 0.2, signal(SIGHUP), 0, {}, {}},
        {"no sound device: one line, then silence", R"({"items": [
            {"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
            {"class": "MediaItem", "name": "Beep", "file": {"path": "beep.wav"}, "mediaType": 0},
            {"class": "LoopStartItem"},
            {"class": "MediaPlayItem", "media": 1, "wait": 1},
            {"class": "LoopEndItem", "forever": 1}]})",
         {"-window"}, [&] { setenv("SDL_AUDIODRIVER", "alsa", 1); }, green, 0.2,
         [&] {
             std::this_thread::sleep_for(1s);
             ::kill(m_saver.Pid(), SIGTERM);
         },
         0, {{"no sound device", 1}, {"ALSA lib", 0}}, [] { setenv("SDL_AUDIODRIVER", "dummy", 1); }},
        {"full temporary folder: the show plays what it can, no box", R"({"items": [
            {"class": "MediaItem", "name": "Tune", "file": {"path": "big.mid"}, "mediaType": 4},
            {"class": "MediaPlayItem", "media": 0},
            {"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
            {"class": "PauseItem", "duration": 600000}]})",
         {"/s"},
         [&] {
             auto full = m_scratch.Path() / "full";
             mount = std::make_unique<ScopedMount>(full, "size=1m,mode=1777");
             ASSERT_TRUE(mount->Mounted());
             // Room for the folder, not for the captures.
             test::WriteBytes(full / "filler", std::vector<uint8_t>(900 * 1024, 1));
             setenv("TMPDIR", full.c_str(), 1);
         },
         green, 0.2,
         [&] {
             // The saver's folder is in the full one, not somewhere with room.
             EXPECT_EQ(TempFolders(m_scratch.Path() / "full").size(), 1u);
             ::kill(m_saver.Pid(), SIGTERM);
         },
         0, {{"cannot write the desktop captures", 1}, {"cannot write", 1}},
         [&] {
             EXPECT_EQ(JournalLines(), 0u) << "a box came up";
             EXPECT_TRUE(TempFolders(m_scratch.Path() / "full").empty());
             mount.reset();
             setenv("TMPDIR", Temp().c_str(), 1);
         }},
        {"read-only settings: OK says why and the dialog stays", kGreenShow, {"/c"},
         [&] { mount = std::make_unique<ScopedMount>(Settings(), MS_RDONLY); }, settingsOpen, 0.2,
         [&] {
             ASSERT_TRUE(mount->Mounted());
             auto dialog = WaitForWindow("Settings");
             ASSERT_TRUE(dialog && Focus(*dialog));
             ASSERT_TRUE(Xdo("key Return"));
             ASSERT_TRUE(WaitFor([&] { return JournalLines() == 1; }));
             // The dialog is still open after the box.
             EXPECT_TRUE(WaitForWindow("Settings", 2s));
             ::kill(m_saver.Pid(), SIGTERM);
         },
         0, {},
         [&] {
             std::ifstream in(m_scratch.Path() / "messages.jsonl");
             std::string line;
             std::getline(in, line);
             EXPECT_NE(line.find("The settings cannot be saved"), std::string::npos) << line;
             EXPECT_NE(line.find("Read-only file system"), std::string::npos) << line;
             mount.reset();
             fs::remove(m_scratch.Path() / "messages.jsonl");
         }},
        {"daemon mode with a refused show: stderr, status 1", R"({"items": [
            {"class": "MediaItem", "name": "Empty", "file": {"path": "empty.mp3"}, "mediaType": 2}]})",
         {"-root"}, {}, nullptr, -1, [] {}, 1, {{"the show cannot be loaded", 1}},
         [&] { EXPECT_EQ(JournalLines(), 0u) << "a box came up"; }},
        {"a forever loop around nothing costs close to nothing", loopAroundNothing, {"-window"}, {}, green, 0.2,
         signal(SIGTERM), 0, {}, {}},
        {"the X server going away cleans up before the exit", kGreenShow, {"-window"}, {}, green, 0.2,
         [&] { m_display.reset(); }, 1, {{"lost the connection to the display", 1}}, {}},
    };

    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        Build(row.show);
        if (HasFatalFailure()) return;
        if (row.before) row.before();
        if (HasFatalFailure()) return;
        Start(row.args);
        if (row.ready) {
            ASSERT_TRUE(WaitFor(row.ready)) << Stderr();
        }
        if (row.maxCores >= 0) {
            std::this_thread::sleep_for(300ms);   // past the start-up
            EXPECT_LT(CoreShare(), row.maxCores);
        }
        row.end();
        if (HasFatalFailure()) return;
        EXPECT_EQ(m_saver.WaitForExit(20s), row.status);
        auto said = Stderr();
        for (const auto& [part, count] : row.said) EXPECT_EQ(CountOf(said, part), count) << part << " in\n" << said;
        EXPECT_TRUE(TempFolders(Temp()).empty()) << said;
        EXPECT_TRUE(SettingsLeftovers().empty());
        if (row.after) row.after();
    }
}

} // namespace
} // namespace showsaver::e2e
