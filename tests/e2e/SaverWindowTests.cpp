// The packed engine on a real X server: the fullscreen show ends exactly by
// the configured inputs, asks for the password where one is demanded, hands
// the armed web link to the browser at the end, and the preview draws into
// another program's window until that window goes.

#include "app/Password.h"
#include "codec/Codec.h"
#include "codec/RgbImage.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "tests/e2e/EngineTest.h"
#include "tests/platform/TestSupport.h"
#include "tests/support/Command.h"
#include "tools/showpack/Commands.h"

#include "tests/e2e/ParentWindow.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

namespace showsaver::e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kEngine = fs::path(SHOWSAVER_BINARY_DIR) / "showsaver";
constexpr const char* kAppName = "saver";

// A show that paints the screen a known colour, then pauses for a long time.
std::string ShowWithBackground(const std::string& extraItems = "") {
    return R"({"items": [)" + extraItems +
           R"({"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
               {"class": "PauseItem", "duration": 600000}]})";
}

// A show whose picture (stored width -5) loads and validates, and fails
// only when it is shown: its box comes up over the green screen.
std::string ShowWithBrokenPicture(const fs::path& directory) {
    codec::WriteBmp(directory / "dot.bmp", codec::RgbImage::Black(4, 4));
    return ShowWithBackground(R"({"class": "BackgroundItem", "color": {"color": 65280, "fourthValue": 0}},
        {"class": "PictureItem", "file": {"path": "dot.bmp"}, "width": -5, "height": 4},
        {"class": "ShowPictureItem", "picture": 1},)");
}

// The show's message box: a viewable window of the application that is
// transient for another (the fullscreen window bears the name too).
std::optional<unsigned long> MessageBox() {
    std::istringstream windows(testing::RunCommand(std::string("xdotool search --onlyvisible --name '^") + kAppName + "$'").out);
    for (unsigned long window; windows >> window;)
        if (TransientFor(window) != 0) return window;
    return std::nullopt;
}

// The colour of one screen pixel, as 0xRRGGBB, read with ImageMagick.
std::optional<uint32_t> ScreenPixel(int x, int y) {
    auto run = testing::RunCommand("import -window root -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                                   " -depth 8 rgb:- | od -An -tx1");
    unsigned r, g, b;
    if (run.status != 0 || std::sscanf(run.out.c_str(), "%x %x %x", &r, &g, &b) != 3) return std::nullopt;
    return r << 16 | g << 8 | b;
}

class SaverWindowTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        SetEnvironment("TMPDIR", m_scratch.Path().string());
        // A browser stand-in that records the address it was given.
        fs::create_directories(m_scratch.Path() / "bin");
        {
            std::ofstream script(m_scratch.Path() / "bin" / "xdg-open");
            script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (m_scratch.Path() / "opened").string() << "'\n";
        }
        fs::permissions(m_scratch.Path() / "bin" / "xdg-open", fs::perms::owner_all);
        SetEnvironment("PATH", (m_scratch.Path() / "bin").string() + ":" + std::getenv("PATH"));
        m_store = std::make_unique<registry::Store>(registry::Store::DefaultDirectory());
        m_profile = std::make_unique<registry::Profile>(*m_store, "Tarvanix\\Screen Saver", kAppName);
        StoreCalibration();
    }
    void TearDown() override {
        m_saver.Stop();
        EngineTest::TearDown();
    }
    void Custom(std::initializer_list<const char*> inputs) {
        m_profile->WriteInt("Settings", "Standard", 0);
        for (const char* input : inputs) m_profile->WriteInt("Settings", input, 1);
    }

    // Packs the show, starts it in mode s and waits until it has painted
    // the screen green.
    bool Start(const std::string& show = ShowWithBackground()) {
        auto description = m_scratch.Path() / "show.json";
        std::ofstream(description) << show;
        auto saver = m_scratch.Path() / kAppName;
        if (auto built = showpack::BuildPacked(description, kEngine, saver); !built) {
            ADD_FAILURE() << built.Error().what;
            return false;
        }
        m_saver = ChildProcess::Spawn({saver.string(), "/s"}, (m_scratch.Path() / "saver.log").string());
        return WaitFor([] { return ScreenPixel(20, 20) == 0x00FF00u; });
    }
    bool Ends() { return m_saver.WaitForExit(30s).has_value(); }
    // Still running once the X server has handled everything sent so far and
    // the show had a moment to react.
    bool KeepsRunning() { return !m_saver.WaitForExit(1500ms).has_value(); }
    std::string Opened() {
        std::ifstream in(m_scratch.Path() / "opened");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::unique_ptr<registry::Store> m_store;
    std::unique_ptr<registry::Profile> m_profile;
    ChildProcess m_saver;
};

TEST_F(SaverWindowTest, DefaultsEndOnTheFirstRealMoveNotOnTheWindowAppearing) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(KeepsRunning());
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    EXPECT_TRUE(Ends());
    EXPECT_EQ(m_saver.WaitForExit(1s), 0);
    // Nothing is left in the private temporary folder's place.
    for (auto& entry : fs::directory_iterator(m_scratch.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("showsaver-", 0), std::string::npos) << entry.path();
}

TEST_F(SaverWindowTest, DefaultsEndOnAKey) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Xdo("key a"));
    EXPECT_TRUE(Ends());
}

TEST_F(SaverWindowTest, CustomDoubleClickOnly) {
    Custom({"DoubleClick"});
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Xdo("click 1"));
    ASSERT_TRUE(Xdo("mousemove_relative 40 40 key a"));
    EXPECT_TRUE(KeepsRunning());
    ASSERT_TRUE(Xdo("click --repeat 2 --delay 50 1"));
    EXPECT_TRUE(Ends());
}

TEST_F(SaverWindowTest, CustomEscapeOnlyAndAltF4NeverEnds) {
    Custom({"Escape"});
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Xdo("key a key Return key alt+F4"));
    ASSERT_TRUE(Xdo("mousemove_relative 40 40 click 3"));
    EXPECT_TRUE(KeepsRunning());
    ASSERT_TRUE(Xdo("key Escape"));
    EXPECT_TRUE(Ends());
}

TEST_F(SaverWindowTest, LinkKeyStoresTheAddressOpenedAtTheEnd) {
    Custom({"MouseMove"});
    ASSERT_TRUE(Start(ShowWithBackground(
        R"({"class": "WebLinkItem", "keyMode": 1, "address": "https://example.org/a b?c=\"d\"&e"},)")));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_TRUE(Xdo("key F12"));
    EXPECT_TRUE(KeepsRunning());
    ASSERT_TRUE(Xdo("mousemove_relative 9 9"));
    EXPECT_TRUE(Ends());
    EXPECT_TRUE(WaitFor([&] { return !Opened().empty(); }));
    EXPECT_EQ(Opened(), "https://example.org/a b?c=\"d\"&e");
}

TEST_F(SaverWindowTest, WithoutTheLinkKeyNothingIsOpened) {
    ASSERT_TRUE(Start(ShowWithBackground(R"({"class": "WebLinkItem", "keyMode": 2, "address": "https://x.org/"},)")));
    ASSERT_TRUE(Xdo("key Return"));
    EXPECT_TRUE(Ends());
    EXPECT_FALSE(fs::exists(m_scratch.Path() / "opened"));
}

TEST_F(SaverWindowTest, PasswordRoad) {
    WriteStoredPassword(*m_profile, EncodeTypedPassword("sesame"));
    m_store->Set(registry::Hive::CurrentUser, "Control Panel\\Desktop", "ScreenSaveUsePassword", uint32_t{1});
    ASSERT_TRUE(Start());
    // A wrong password keeps the show running.
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    auto dialog = WaitForWindow("Password");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(Focus(*dialog));
    ASSERT_TRUE(Xdo("type --delay 20 wrong"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_TRUE(WaitFor([&] {
        std::ifstream in(m_scratch.Path() / "messages.jsonl");
        return std::string(std::istreambuf_iterator<char>(in), {}).find("The password is not correct.") != std::string::npos;
    }));
    // Cancel returns to the show.
    ASSERT_TRUE(Xdo("key Escape"));
    EXPECT_TRUE(KeepsRunning());
    // The right password ends it.
    ASSERT_TRUE(Xdo("mousemove_relative 7 7"));
    dialog = WaitForWindow("Password");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(Focus(*dialog));
    ASSERT_TRUE(Xdo("type --delay 20 sesame"));
    ASSERT_TRUE(Xdo("key Return"));
    EXPECT_TRUE(Ends()) << [&] {
        std::ifstream log(m_scratch.Path() / "saver.log");
        std::ifstream journal(m_scratch.Path() / "messages.jsonl");
        return std::string(std::istreambuf_iterator<char>(log), {}) + "\n--\n" +
               std::string(std::istreambuf_iterator<char>(journal), {});
    }();
}

TEST_F(SaverWindowTest, PasswordSwitchOffClosesAtOnce) {
    WriteStoredPassword(*m_profile, EncodeTypedPassword("sesame"));
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    EXPECT_TRUE(Ends());
}

TEST_F(SaverWindowTest, AMessageBoxOfTheShowGoesWithTheShowOnAMove) {
    SetEnvironment("SHOWSAVER_MESSAGE_LOG", "");
    ASSERT_TRUE(Start(ShowWithBrokenPicture(m_scratch.Path())));
    ASSERT_TRUE(WaitFor([] { return MessageBox().has_value(); }));
    SaveScreenshot("message-box");
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    EXPECT_TRUE(Ends());
    EXPECT_EQ(m_saver.WaitForExit(1s), 0);
    for (auto& entry : fs::directory_iterator(m_scratch.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("showsaver-", 0), std::string::npos) << entry.path();
}

TEST_F(SaverWindowTest, AMessageBoxOfTheShowHasTheKeyboard) {
    SetEnvironment("SHOWSAVER_MESSAGE_LOG", "");
    Custom({"MouseMove"});
    ASSERT_TRUE(Start(ShowWithBrokenPicture(m_scratch.Path())));
    ASSERT_TRUE(WaitFor([] { return MessageBox().has_value(); }));
    // Return answers the box, and the show goes on to its pause.
    ASSERT_TRUE(Xdo("key Return"));
    EXPECT_TRUE(WaitFor([] { return !MessageBox(); }));
    EXPECT_TRUE(KeepsRunning());
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    EXPECT_TRUE(Ends());
    EXPECT_EQ(m_saver.WaitForExit(1s), 0);
}

TEST_F(SaverWindowTest, StartsWithAFifoInPlaceOfTheSettingsFile) {
    fs::path settings = m_store->FilePath(registry::Hive::CurrentUser);
    fs::remove(settings);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    EXPECT_TRUE(Ends());
    EXPECT_EQ(fs::symlink_status(settings).type(), fs::file_type::fifo);
    std::ifstream log(m_scratch.Path() / "saver.log");
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(log), {}).find(settings.string() + " is not a regular file"),
              std::string::npos);
}

// The show's first picture is the desktop as it was before the window came
// up: the capture is taken beside the window's making, and the picture
// waits for it. A skipped or early read would leave the screen black.
TEST_F(SaverWindowTest, ADesktopPictureShowsTheDesktopFromBeforeTheWindow) {
    auto white = std::make_unique<ParentWindow>(100, 50, 200, 120);
    codec::WriteBmp(m_scratch.Path() / "dot.bmp", codec::RgbImage::Black(4, 4));
    std::ofstream(m_scratch.Path() / "show.json") << R"({"items": [
        {"class": "PictureItem", "file": {"path": "dot.bmp"}, "source": 2, "fitToScreen": 1},
        {"class": "ShowPictureItem", "picture": 0},
        {"class": "PauseItem", "duration": 600000}]})";
    auto saver = m_scratch.Path() / kAppName;
    auto built = showpack::BuildPacked(m_scratch.Path() / "show.json", kEngine, saver);
    ASSERT_TRUE(built) << built.Error().what;
    m_saver = ChildProcess::Spawn({saver.string(), "/s"}, (m_scratch.Path() / "saver.log").string());
    // The saver's window holds the input once it shows.
    ASSERT_TRUE(WaitFor([&] { return !white->CanGrabInput(); }));
    white.reset();
    EXPECT_TRUE(WaitFor([] { return ScreenPixel(150, 100) == 0xFFFFFFu && ScreenPixel(20, 20) == 0u; }))
        << "the desktop's white window is not in the show's picture";
    EXPECT_TRUE(KeepsRunning());
}

TEST_F(SaverWindowTest, UnknownModeLeavesNoProcessAndNoWindow) {
    auto before = testing::RunCommand("xdotool search --onlyvisible --name '.*'").out;
    auto run = testing::RunCommand(testing::Quoted(kEngine) + " /x");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(testing::RunCommand("xdotool search --onlyvisible --name '.*'").out, before);
}

TEST_F(SaverWindowTest, AWindowThatGoesFromAboveTheShowLeavesTheShowBehind) {
    ASSERT_TRUE(Start());
    // Mapped last, the white window covers the show; going, it exposes it.
    ParentWindow above(100, 50, 200, 120);
    ASSERT_NE(above.Id(), 0u);
    ASSERT_TRUE(WaitFor([] { return ScreenPixel(150, 100) == 0xFFFFFFu; }));
    above.Destroy();
    EXPECT_TRUE(WaitFor([] { return ScreenPixel(150, 100) == 0x00FF00u && ScreenPixel(299, 169) == 0x00FF00u; }));
    EXPECT_TRUE(KeepsRunning());
}

TEST_F(SaverWindowTest, PreviewDrawsIntoItsParentUntilTheParentGoes) {
    ParentWindow parent(100, 100, 152, 112);
    ASSERT_NE(parent.Id(), 0u);
    auto preview = ChildProcess::Spawn({kEngine.string(), "/p", std::to_string(parent.Id())},
                                       (m_scratch.Path() / "preview.log").string());
    // Our picture at the parent's top-left: no longer the parent's white.
    EXPECT_TRUE(WaitFor([] {
        auto pixel = ScreenPixel(100 + 48, 100 + 20);
        return pixel && *pixel != 0xFFFFFFu;
    }));
    SaveScreenshot("preview");
    parent.Destroy();
    EXPECT_TRUE(preview.WaitForExit(30s).has_value());

    // A window id that names no window ends at once without a window.
    auto bad = testing::RunCommand(testing::Quoted(kEngine) + " /p 12345");
    EXPECT_EQ(bad.status, 1);
}

} // namespace
} // namespace showsaver::e2e
