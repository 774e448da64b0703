// The password and settings dialogs on a real X server: a forked child runs
// one dialog against a private registry folder, xdotool types into it, and
// the tests read what was stored and which message boxes were shown (the
// message journal answers every box at once, so nothing waits on a box).

#include "app/ExitSettings.h"
#include "app/Password.h"
#include "app/PasswordDialogs.h"
#include "app/SettingsDialog.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "tests/e2e/EngineTest.h"
#include "tests/support/Command.h"
#include "tests/platform/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <memory>

namespace showsaver::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAppName = "demo";
constexpr const char* kRegistryKey = "Tarvanix\\Screen Saver";

struct JournalEntry {
    std::string caption, text, icon;
    bool operator==(const JournalEntry&) const = default;
};

void PrintTo(const JournalEntry& entry, std::ostream* out) {
    *out << "{" << entry.caption << ", " << entry.text << ", " << entry.icon << "}";
}

const JournalEntry kNotCorrect{kAppName, "The password is not correct.", "exclamation"};
const JournalEntry kDoNotMatch{kAppName, "The new and confirmed passwords do not match.", "exclamation"};
const JournalEntry kChanged{kAppName, "The password has been successfully changed.", "information"};

enum class Dialog { Settings, Check, NewPassword, Road };

class DialogTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        m_store = std::make_unique<registry::Store>(registry::Store::DefaultDirectory());
        m_profile = std::make_unique<registry::Profile>(*m_store, kRegistryKey, kAppName);
    }

    // Children first, then the X server and the environment.
    void TearDown() override {
        m_dialog.Stop();
        m_foreignWindow.Stop();
        EngineTest::TearDown();
    }

    fs::path JournalPath() const { return m_scratch.Path() / "messages.jsonl"; }
    fs::path UserFile() const { return m_store->FilePath(registry::Hive::CurrentUser); }

    // Starts the dialog in a child with its own store and profile, as the
    // run modes will, and waits until its window shows.
    std::optional<unsigned long> Open(Dialog dialog, const std::string& title,
                                      DialogParent parent = DialogParent()) {
        m_dialog = ChildProcess::Fork([dialog, parent] {
            registry::Store store(registry::Store::DefaultDirectory());
            registry::Profile profile(store, kRegistryKey, kAppName);
            switch (dialog) {
            case Dialog::Settings: return RunSettingsDialog(profile, parent) ? 0 : 1;
            case Dialog::Check: return RunPasswordCheckDialog(profile, parent, kAppName) ? 0 : 1;
            case Dialog::NewPassword: return RunNewPasswordDialog(profile, parent, kAppName) ? 0 : 1;
            case Dialog::Road: return RunPasswordRoad(profile, parent, kAppName) ? 0 : 1;
            }
            return 2;
        });
        return FocusWindow(title);
    }

    std::optional<unsigned long> FocusWindow(const std::string& title) {
        auto window = WaitForWindow(title);
        if (window && !Focus(*window)) return std::nullopt;
        return window;
    }

    // The dialog's result: 0 for OK, 1 for Cancel.
    std::optional<int> Result() { return m_dialog.WaitForExit(30s); }

    std::vector<JournalEntry> Journal() const {
        std::vector<JournalEntry> entries;
        std::ifstream in(JournalPath());
        for (std::string line; std::getline(in, line);) {
            auto json = nlohmann::json::parse(line);
            entries.push_back({json.at("caption"), json.at("text"), json.at("icon")});
        }
        return entries;
    }

    bool WaitForJournalLines(std::size_t count) {
        return WaitFor([&] { return Journal().size() >= count; });
    }

    ExitSettings StoredSettings() const { return ExitSettings::Read(*m_profile); }

    bool AllSevenSettingsStored() const {
        std::string key = m_profile->SectionKey("Settings");
        for (const char* name : {"Standard", "MouseMove", "ButtonDown", "DoubleClick", "KeyDown", "Escape", "Mute"})
            if (!m_store->GetDword(registry::Hive::CurrentUser, key, name)) return false;
        return true;
    }

    std::unique_ptr<registry::Store> m_store;
    std::unique_ptr<registry::Profile> m_profile;
    ChildProcess m_dialog;
    ChildProcess m_foreignWindow;
};

ExitSettings Custom(std::initializer_list<ExitInput> on, int mute = 0) {
    ExitSettings settings;
    settings.standard = 0;
    for (ExitInput input : on) settings.Input(input) = 1;
    settings.mute = mute;
    return settings;
}

ExitSettings Standard(int mute = 0) {
    ExitSettings settings;
    settings.mute = mute;
    return settings;
}

TEST_F(DialogTest, SettingsWithNothingStoredStoreTheStandardExit) {
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    SaveScreenshot("settings-nothing-stored");
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_TRUE(AllSevenSettingsStored());
    EXPECT_EQ(StoredSettings(), Standard());
    EXPECT_TRUE(Journal().empty());
}

TEST_F(DialogTest, SettingsExitBoxesIgnoreInputUntilCustomIsChosen) {
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    // Key Pressed and Escape are disabled in standard mode: their mnemonics do nothing.
    ASSERT_TRUE(Xdo("key alt+k alt+p"));
    // Custom (Mouse Click shares its mnemonic, but is disabled still), then Double Click.
    ASSERT_TRUE(Xdo("key alt+c alt+d"));
    SaveScreenshot("settings-custom-double-click");
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(StoredSettings(), Custom({ExitInput::DoubleClick}));
}

TEST_F(DialogTest, SettingsCustomWithoutAnExitBoxFallBackToStandard) {
    ASSERT_TRUE(Custom({ExitInput::MouseMove}).Write(*m_profile));
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    SaveScreenshot("settings-custom-stored");
    // Mouse Move and Mute share a mnemonic: the first press focuses Mouse Move.
    ASSERT_TRUE(Xdo("key alt+m space Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_TRUE(AllSevenSettingsStored());
    EXPECT_EQ(StoredSettings(), Standard());
}

TEST_F(DialogTest, SettingsStandardClearsTheFiveExitValuesAndKeepsMute) {
    ASSERT_TRUE(Custom({ExitInput::ButtonDown, ExitInput::KeyDown, ExitInput::Escape}, 1).Write(*m_profile));
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    ASSERT_TRUE(Xdo("key alt+s Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(StoredSettings(), Standard(1));
}

TEST_F(DialogTest, SettingsStoreMuteInBothModes) {
    // Standard: Mouse Move is disabled, so Alt+M reaches Mute alone and toggles it.
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    ASSERT_TRUE(Xdo("key alt+m Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(StoredSettings(), Standard(1));

    // Custom: the second Alt+M focuses Mute; Space unchecks it.
    ASSERT_TRUE(Custom({ExitInput::KeyDown}, 1).Write(*m_profile));
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    ASSERT_TRUE(Xdo("key alt+m alt+m space Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(StoredSettings(), Custom({ExitInput::KeyDown}, 0));
}

TEST_F(DialogTest, SettingsCancelWritesNothing) {
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    ASSERT_TRUE(Xdo("key alt+c alt+d alt+m Escape"));
    ASSERT_EQ(Result(), 1);
    EXPECT_FALSE(fs::exists(UserFile()));

    ASSERT_TRUE(Custom({ExitInput::Escape}).Write(*m_profile));
    std::string before = test::ReadFile(UserFile());
    ASSERT_TRUE(Open(Dialog::Settings, "Settings"));
    ASSERT_TRUE(Xdo("key alt+s Escape"));
    ASSERT_EQ(Result(), 1);
    EXPECT_EQ(test::ReadFile(UserFile()), before);
}

TEST_F(DialogTest, NewPasswordStoresTheEncodingOfTheTypedText) {
    ASSERT_TRUE(Open(Dialog::NewPassword, "New password"));
    // "é" reaches the encoding as Windows-1252 byte 0xE9. It is typed as GTK's
    // Ctrl+Shift+U code entry: xdotool would map a spare key for it, which
    // races with the dialog reading the keyboard map.
    auto typeSesame = [] {
        return Xdo("type S") && Xdo("key ctrl+shift+u") && Xdo("type e9") && Xdo("key space") &&
               Xdo("type --delay 30 same");
    };
    ASSERT_TRUE(typeSesame());
    ASSERT_TRUE(Xdo("key Tab"));
    ASSERT_TRUE(typeSesame());
    SaveScreenshot("new-password");
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(ReadStoredPassword(*m_profile), EncodeTypedPassword("S\xC3\xA9same"));
    EXPECT_EQ(Journal(), std::vector<JournalEntry>{kChanged});
}

TEST_F(DialogTest, NewPasswordMismatchShowsTheMessageAndStaysOpen) {
    ASSERT_TRUE(Open(Dialog::NewPassword, "New password"));
    ASSERT_TRUE(Xdo("type --delay 30 secret"));
    ASSERT_TRUE(Xdo("key Tab"));
    ASSERT_TRUE(Xdo("type --delay 30 secreT"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_TRUE(WaitForJournalLines(1));
    EXPECT_EQ(ReadStoredPassword(*m_profile), "");
    // Still open, with both texts kept: correct the confirmation.
    ASSERT_TRUE(Xdo("key ctrl+a"));
    ASSERT_TRUE(Xdo("type --delay 30 secret"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(Journal(), (std::vector<JournalEntry>{kDoNotMatch, kChanged}));
    EXPECT_EQ(ReadStoredPassword(*m_profile), EncodeTypedPassword("secret"));
}

TEST_F(DialogTest, NewPasswordEditsTakeAtMost51Characters) {
    const std::string typed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    ASSERT_TRUE(Open(Dialog::NewPassword, "New password"));
    ASSERT_TRUE(Xdo("type --delay 10 " + typed));
    ASSERT_TRUE(Xdo("key Tab"));
    ASSERT_TRUE(Xdo("type --delay 10 " + typed.substr(0, 51) + "different"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(ReadStoredPassword(*m_profile), EncodeTypedPassword(typed.substr(0, 51)));
}

TEST_F(DialogTest, EmptyNewPasswordRemovesTheProtection) {
    ASSERT_TRUE(WriteStoredPassword(*m_profile, EncodeTypedPassword("secret")));
    ASSERT_TRUE(Open(Dialog::NewPassword, "New password"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(ReadStoredPassword(*m_profile), "");
    EXPECT_EQ(Journal(), std::vector<JournalEntry>{kChanged});
}

TEST_F(DialogTest, PasswordCheckRefusesAWrongPasswordAndEmptiesTheEdit) {
    ASSERT_TRUE(WriteStoredPassword(*m_profile, EncodeTypedPassword("secret")));
    ASSERT_TRUE(Open(Dialog::Check, "Password"));
    ASSERT_TRUE(Xdo("type --delay 30 Secret"));
    SaveScreenshot("password-check");
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_TRUE(WaitForJournalLines(1));
    // Focusing the edit again selects its text; End drops the selection, so
    // were the edit not emptied, this would make "Secretsecret".
    ASSERT_TRUE(Xdo("key End"));
    ASSERT_TRUE(Xdo("type --delay 30 secret"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(Journal(), std::vector<JournalEntry>{kNotCorrect});
}

TEST_F(DialogTest, PasswordCheckCancelEndsWithoutOk) {
    ASSERT_TRUE(WriteStoredPassword(*m_profile, EncodeTypedPassword("secret")));
    ASSERT_TRUE(Open(Dialog::Check, "Password"));
    ASSERT_TRUE(Xdo("type --delay 30 secret"));
    ASSERT_TRUE(Xdo("key Escape"));
    ASSERT_EQ(Result(), 1);
    EXPECT_TRUE(Journal().empty());
}

TEST_F(DialogTest, PasswordRoadChecksTheStoredPasswordFirst) {
    ASSERT_TRUE(WriteStoredPassword(*m_profile, EncodeTypedPassword("old")));
    ASSERT_TRUE(Open(Dialog::Road, "Password"));
    ASSERT_TRUE(Xdo("type --delay 30 old"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_TRUE(FocusWindow("New password"));
    ASSERT_TRUE(Xdo("type --delay 30 new"));
    ASSERT_TRUE(Xdo("key Tab"));
    ASSERT_TRUE(Xdo("type --delay 30 new"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_EQ(Result(), 0);
    EXPECT_EQ(ReadStoredPassword(*m_profile), EncodeTypedPassword("new"));
    EXPECT_EQ(Journal(), std::vector<JournalEntry>{kChanged});
}

TEST_F(DialogTest, PasswordRoadEndsWhenTheCheckIsCancelled) {
    ASSERT_TRUE(WriteStoredPassword(*m_profile, EncodeTypedPassword("old")));
    ASSERT_TRUE(Open(Dialog::Road, "Password"));
    ASSERT_TRUE(Xdo("key Escape"));
    // The road ends at once; were the change dialog shown, it would wait for input.
    ASSERT_EQ(Result(), 1);
    EXPECT_EQ(ReadStoredPassword(*m_profile), EncodeTypedPassword("old"));
}

TEST_F(DialogTest, PasswordRoadWithoutAStoredPasswordAsksOnlyForTheNewOne) {
    ASSERT_TRUE(Open(Dialog::Road, "New password"));
    ASSERT_TRUE(Xdo("key Escape"));
    ASSERT_EQ(Result(), 1);
    EXPECT_FALSE(fs::exists(UserFile()));
}

TEST_F(DialogTest, DialogsBecomeTransientForAForeignOrActiveWindow) {
    m_foreignWindow = ChildProcess::Spawn({"xmessage", "-name", "foreign-parent", "a window of another program"},
                                          (m_scratch.Path() / "xmessage.log").string());
    auto foreign = WaitForWindow("foreign-parent");
    ASSERT_TRUE(foreign);

    auto dialog = Open(Dialog::Road, "New password", DialogParent::Foreign(*foreign));
    ASSERT_TRUE(dialog);
    EXPECT_EQ(TransientFor(*dialog), *foreign);
    ASSERT_TRUE(Xdo("key Escape"));
    ASSERT_EQ(Result(), 1);

    // No window manager runs here, so the test names the active window itself.
    ASSERT_EQ(testing::RunCommand("xprop -root -f _NET_ACTIVE_WINDOW 32c -set _NET_ACTIVE_WINDOW " +
                                  std::to_string(*foreign))
                  .status,
              0);
    dialog = Open(Dialog::Settings, "Settings", DialogParent::Active());
    ASSERT_TRUE(dialog);
    EXPECT_EQ(TransientFor(*dialog), *foreign);
    ASSERT_TRUE(Xdo("key Escape"));
    ASSERT_EQ(Result(), 1);
}

} // namespace
} // namespace showsaver::e2e
