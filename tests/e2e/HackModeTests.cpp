// The packed engine as an X screensaver daemon runs it: inside the daemon's
// window, without taking the keyboard or the pointer, deaf to input, until
// a signal or the window's end; and every mode ends on SIGTERM and SIGINT
// the clean way, its private temporary folder gone.

#include "tests/e2e/EngineTest.h"
#include "tests/e2e/ParentWindow.h"
#include "tests/support/Command.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace showsaver::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kEngine = fs::path(SHOWSAVER_BINARY_DIR) / "showsaver";

std::optional<uint32_t> ScreenPixel(int x, int y) {
    auto run = testing::RunCommand("import -window root -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                                   " -depth 8 rgb:- | od -An -tx1");
    unsigned r, g, b;
    if (run.status != 0 || std::sscanf(run.out.c_str(), "%x %x %x", &r, &g, &b) != 3) return std::nullopt;
    return r << 16 | g << 8 | b;
}

class HackModeTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        SetEnvironment("TMPDIR", m_scratch.Path().string());
        StoreCalibration();
        // Green, then a long pause.
        auto description = m_scratch.Path() / "show.json";
        std::ofstream(description) << R"({"items": [
            {"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
            {"class": "PauseItem", "duration": 600000}]})";
        auto built = showpack::BuildPacked(description, kEngine, m_scratch.Path() / "saver");
        ASSERT_TRUE(built) << built.Error().what;
    }
    void TearDown() override {
        m_saver.Stop();
        EngineTest::TearDown();
    }
    void Start(std::vector<std::string> args) {
        args.insert(args.begin(), (m_scratch.Path() / "saver").string());
        m_saver = ChildProcess::Spawn(args, (m_scratch.Path() / "saver.log").string());
    }
    bool TempFolderLeft() {
        for (auto& entry : fs::directory_iterator(m_scratch.Path()))
            if (entry.path().filename().string().rfind("showsaver-", 0) == 0) return true;
        return false;
    }
    bool IsGreen(int x, int y) { return ScreenPixel(x, y) == 0x00FF00u; }

    ChildProcess m_saver;
};

TEST_F(HackModeTest, EveryModeEndsCleanlyOnSigtermAndSigint) {
    struct Case {
        std::vector<std::string> args;
        int signal;
    } cases[] = {
        // The root window keeps what was drawn on it: that case comes last.
        {{"/s"}, SIGTERM}, {{"/s"}, SIGINT}, {{"-window"}, SIGINT}, {{"--root"}, SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.signal));
        Start(c.args);
        ASSERT_TRUE(WaitFor([&] { return IsGreen(500, 400); }));
        // The show's captures live in its temporary folder while it runs.
        EXPECT_TRUE(TempFolderLeft());
        ASSERT_EQ(kill(m_saver.Pid(), c.signal), 0);
        EXPECT_EQ(m_saver.WaitForExit(30s), 0);
        EXPECT_FALSE(TempFolderLeft());
        if (c.args[0] != "--root") {
            EXPECT_FALSE(IsGreen(500, 400));
        }
    }
}

TEST_F(HackModeTest, PlayRunsASaverOfAnotherEngineFullscreenAndLeavesNothing) {
    // Another program in front of the show, padded to the show's offset.
    std::ifstream in(m_scratch.Path() / "saver", std::ios::binary);
    std::string saver((std::istreambuf_iterator<char>(in)), {});
    std::ifstream other("/bin/true", std::ios::binary);
    std::string old((std::istreambuf_iterator<char>(other)), {});
    ASSERT_LT(old.size(), showpack::kEngineSize);
    old.resize(showpack::kEngineSize, '\0');
    std::ofstream(m_scratch.Path() / "old.scr", std::ios::binary) << old << saver.substr(showpack::kEngineSize);

    m_saver = ChildProcess::Spawn({(fs::path(SHOWSAVER_BINARY_DIR) / "showpack").string(), "play",
                                   (m_scratch.Path() / "old.scr").string()},
                                  (m_scratch.Path() / "play.log").string());
    ASSERT_TRUE(WaitFor([&] { return IsGreen(500, 400); }));
    EXPECT_TRUE(TempFolderLeft());
    // showpack passes the signal on and waits for the engine's clean end.
    ASSERT_EQ(kill(m_saver.Pid(), SIGTERM), 0);
    EXPECT_EQ(m_saver.WaitForExit(30s), 0);
    EXPECT_FALSE(TempFolderLeft());
    EXPECT_FALSE(IsGreen(500, 400));
}

TEST_F(HackModeTest, RootPlaysInTheDaemonsWindowTakesNoInputAndEndsOnSigterm) {
    ParentWindow daemon(100, 100, 320, 240);
    ASSERT_NE(daemon.Id(), 0u);
    SetEnvironment("XSCREENSAVER_WINDOW", "0x" + [&] {
        char hex[32];
        std::snprintf(hex, sizeof hex, "%lx", daemon.Id());
        return std::string(hex);
    }());
    Start({"-root"});
    // Inside the window, to its far corner, and nowhere else.
    ASSERT_TRUE(WaitFor([&] { return IsGreen(101, 101) && IsGreen(419, 339); }));
    EXPECT_FALSE(IsGreen(420, 340));
    EXPECT_FALSE(IsGreen(600, 600));
    EXPECT_TRUE(daemon.CanGrabInput());
    // Input is the daemon's business.
    ASSERT_TRUE(Xdo("mousemove 300 300 key a key Escape click 1"));
    EXPECT_FALSE(m_saver.WaitForExit(1500ms).has_value());
    ASSERT_EQ(kill(m_saver.Pid(), SIGTERM), 0);
    EXPECT_EQ(m_saver.WaitForExit(30s), 0);
    EXPECT_FALSE(TempFolderLeft());
}

TEST_F(HackModeTest, WindowIdPlaysInsideThatWindowUntilItGoes) {
    ParentWindow preview(500, 300, 200, 150);
    ASSERT_NE(preview.Id(), 0u);
    Start({"--window-id", std::to_string(preview.Id())});
    ASSERT_TRUE(WaitFor([&] { return IsGreen(501, 301) && IsGreen(699, 449); }));
    EXPECT_FALSE(IsGreen(499, 299));
    preview.Destroy();
    EXPECT_EQ(m_saver.WaitForExit(30s), 0);
    EXPECT_FALSE(TempFolderLeft());
}

} // namespace
} // namespace showsaver::e2e
