#include "platform/registry/Registry.h"
#include "platform/sys/TempFiles.h"

#include "tests/platform/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace showsaver::registry;
using showsaver::test::ReadFile;
using showsaver::test::WriteFile;
namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "Software\\Tarvanix\\Screen Saver\\demo\\Settings";

class RegistryStore : public testing::Test {
protected:
    fs::path Folder() const { return m_scratch.Path() / "config" / "showsaver"; }
    fs::path UserFile() const { return Folder() / "user.reg"; }

    std::vector<std::string> FolderContents() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    showsaver::sys::TempDirectory m_scratch { fs::path(testing::TempDir()) };
    Store m_store { Folder() };
};

}

TEST_F(RegistryStore, MissingFilesReadAsEmptyHivesAndReadsCreateNothing)
{
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, kKey, "Anything"));
    EXPECT_TRUE(m_store.KeyExists(Hive::CurrentUser, ""));
    EXPECT_FALSE(m_store.KeyExists(Hive::LocalMachine, "Software"));
    EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(RegistryStore, WritesCreateAPrivateFolderAndOneFilePerHive)
{
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "Count", uint32_t { 31 }));
    ASSERT_TRUE(m_store.Set(Hive::ClassesRoot, ".scr", "", std::string("scrfile")));
    EXPECT_EQ(showsaver::test::ModeOf(Folder()), 0700u);
    EXPECT_EQ(ReadFile(UserFile()),
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Tarvanix\\Screen Saver\\demo\\Settings]\n"
        "\"Count\"=dword:0000001f\n\n");
    EXPECT_EQ(ReadFile(Folder() / "classes.reg"),
        "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.scr]\n@=\"scrfile\"\n\n");
    EXPECT_FALSE(m_store.Get(Hive::LocalMachine, ".scr", ""));
    // No temporary files are left behind; the lock files stay on purpose.
    EXPECT_EQ(FolderContents(), (std::vector<std::string> { "classes.reg", "classes.reg.lock", "user.reg", "user.reg.lock" }));
}

TEST_F(RegistryStore, ValuesRoundTripThroughTheFileWithTheirKind)
{
    const std::string password = "p\x01\x02\x1f\"\\q\x7f é";
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "Password", password));
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "Count", uint32_t { 0xfffffffe }));

    Store other(Folder());   // reads parse the file, so a second store sees the writes
    EXPECT_EQ(other.GetString(Hive::CurrentUser, kKey, "Password"), password);
    EXPECT_EQ(other.GetDword(Hive::CurrentUser, kKey, "Count"), 0xfffffffeu);
    EXPECT_FALSE(other.GetDword(Hive::CurrentUser, kKey, "Password"));
    EXPECT_FALSE(other.GetString(Hive::CurrentUser, kKey, "Count"));

}

TEST_F(RegistryStore, LookupsIgnoreCaseAndTheFileKeepsTheFirstSpelling)
{
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, "Software\\Tarvanix", "ShowName", std::string("a")));
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, "SOFTWARE\\TARVANIX", "showname", std::string("b")));
    EXPECT_EQ(m_store.GetString(Hive::CurrentUser, "software\\tarvanix", "SHOWNAME"), "b");
    EXPECT_TRUE(m_store.KeyExists(Hive::CurrentUser, "SOFTWARE"));
    EXPECT_FALSE(m_store.KeyExists(Hive::CurrentUser, "Soft")) << "a prefix of a name is not a parent key";
    EXPECT_FALSE(m_store.KeyExists(Hive::CurrentUser, "Software\\Tarvanix\\Missing"));
    std::string text = ReadFile(UserFile());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Tarvanix]\n\"ShowName\"=\"b\"\n"), std::string::npos) << text;
}

TEST_F(RegistryStore, DeleteRemovesOnlyThatValue)
{
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "A", std::string("1")));
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "B", std::string("2")));
    EXPECT_TRUE(m_store.Delete(Hive::CurrentUser, kKey, "a"));
    EXPECT_FALSE(m_store.Delete(Hive::CurrentUser, kKey, "A"));
    EXPECT_FALSE(m_store.Delete(Hive::CurrentUser, "Software\\Nowhere", "A"));
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, kKey, "A"));
    EXPECT_EQ(m_store.GetString(Hive::CurrentUser, kKey, "B"), "2");
    EXPECT_TRUE(m_store.KeyExists(Hive::CurrentUser, kKey));
}

TEST_F(RegistryStore, CorruptFilesAreKeptAsideReportedAndReadAsEmpty)
{
    fs::create_directories(Folder());
    const std::string corrupt = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"a\"=oops\n";
    WriteFile(UserFile(), corrupt);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, "K", "a"));
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, "K", "a"));
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
    EXPECT_NE(report.find(UserFile().string() + ":3:"), std::string::npos) << report;
    EXPECT_EQ(ReadFile(Folder() / "user.reg.bad"), corrupt);
    EXPECT_FALSE(fs::exists(UserFile()));

    // A second bad file does not replace the first one kept aside.
    WriteFile(UserFile(), "garbage\n");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(m_store.Set(Hive::CurrentUser, "K", "a", std::string("fresh")));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(Folder() / "user.reg.bad"), corrupt);
    EXPECT_EQ(ReadFile(Folder() / "user.reg.bad.1"), "garbage\n");
    EXPECT_EQ(m_store.GetString(Hive::CurrentUser, "K", "a"), "fresh");
}

// Opening reads the headers only: a broken value line is found when its key is
// read, or before any write, and is then handled as a file that fails to open,
// reported with the file's first error.
TEST_F(RegistryStore, ABrokenValueLineIsFoundWhenItsKeyIsReadOrTheHiveWritten)
{
    fs::create_directories(Folder());
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Good]\n\"a\"=dword:00000001\n\n"
                             "[HKEY_CURRENT_USER\\Bad1]\n\"b\"=oops\n\n"
                             "[HKEY_CURRENT_USER\\Bad2]\n\"c\"=\"open\n";
    for (bool write : { false, true }) {
        fs::remove(Folder() / "user.reg.bad");
        WriteFile(UserFile(), text);
        Store store(Folder());
        testing::internal::CaptureStderr();
        EXPECT_EQ(store.GetDword(Hive::CurrentUser, "good", "A"), 1u);
        EXPECT_TRUE(store.KeyExists(Hive::CurrentUser, "Bad2"));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(fs::exists(UserFile()));

        testing::internal::CaptureStderr();
        if (write)
            EXPECT_TRUE(store.Set(Hive::CurrentUser, "Good", "x", uint32_t { 2 }));
        else
            EXPECT_FALSE(store.Get(Hive::CurrentUser, "Bad2", "c"));
        std::string report = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
        EXPECT_NE(report.find(UserFile().string() + ":7: unsupported value type"), std::string::npos) << report;
        EXPECT_EQ(ReadFile(Folder() / "user.reg.bad"), text);
        EXPECT_FALSE(store.Get(Hive::CurrentUser, "Good", "a")) << "the hive starts empty";
        EXPECT_EQ(store.GetDword(Hive::CurrentUser, "Good", "x"), write ? std::optional<uint32_t>(2) : std::nullopt);
    }
}

TEST_F(RegistryStore, AFileThatCannotBeReadIsNeverReplaced)
{
    fs::create_directories(UserFile());   // a folder where the file should be
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_store.Set(Hive::CurrentUser, "K", "a", std::string("x")));
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, "K", "a"));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_TRUE(fs::is_directory(UserFile()));
}

TEST_F(RegistryStore, AHiveIsParsedOnceAndAgainOnlyWhenItsFileChanges)
{
    ASSERT_TRUE(Store(Folder()).Set(Hive::CurrentUser, kKey, "Count", uint32_t { 1 }));
    // Start-up reads its settings one by one.
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "Count"), 1u);
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, kKey, "Other"));
    EXPECT_EQ(m_store.ParseCount(), 1u);

    // Another process's write is seen at the next read.
    ASSERT_TRUE(Store(Folder()).Set(Hive::CurrentUser, kKey, "Count", uint32_t { 2 }));
    EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "Count"), 2u);
    EXPECT_EQ(m_store.ParseCount(), 2u);

    // Its own writes start from what it holds and are read back without a parse.
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "Count", uint32_t { 3 }));
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "Name", std::string("x")));
    EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "Count"), 3u);
    EXPECT_EQ(m_store.GetString(Hive::CurrentUser, kKey, "Name"), "x");
    EXPECT_EQ(m_store.ParseCount(), 2u);
    EXPECT_EQ(Store(Folder()).GetString(Hive::CurrentUser, kKey, "Name"), "x");

    // A file that goes away is an empty hive again.
    fs::remove(UserFile());
    EXPECT_FALSE(m_store.Get(Hive::CurrentUser, kKey, "Count"));
}

TEST_F(RegistryStore, APathThatIsNoRegularFileReadsAsEmptyAndIsLeftAlone)
{
    fs::create_directories(Folder());
    const std::function<void()> makers[] = {
        [&] { ASSERT_EQ(::mkfifo(UserFile().c_str(), 0600), 0); },
        [&] { fs::create_symlink("/dev/zero", UserFile()); },
    };
    for (const auto& make : makers) {
        fs::remove(UserFile());
        make();
        auto before = fs::symlink_status(UserFile()).type();
        Store store(Folder());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.Get(Hive::CurrentUser, kKey, "Count"));
        EXPECT_FALSE(store.KeyExists(Hive::CurrentUser, kKey));
        std::string report = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1) << report;
        EXPECT_NE(report.find("is not a regular file"), std::string::npos) << report;

        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.Set(Hive::CurrentUser, kKey, "Count", uint32_t { 1 }));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(fs::symlink_status(UserFile()).type(), before);
        EXPECT_EQ(FolderContents(), (std::vector<std::string> { "user.reg", "user.reg.lock" }));
    }
}

TEST_F(RegistryStore, KeysThatCannotBeWrittenOnOneLineAreRefused)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_store.Set(Hive::CurrentUser, "Soft\nware", "a", std::string("x")));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(m_store.Set(static_cast<Hive>(7), "K", "a", std::string("x")));
    EXPECT_FALSE(fs::exists(UserFile()));
}

TEST_F(RegistryStore, ConcurrentWritersFromTwoProcessesLoseNothing)
{
    constexpr int kWriters = 2;
    constexpr int kValuesEach = 200;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Store store(Folder());
            bool ok = true;
            for (int i = 0; i < kValuesEach; ++i)
                ok &= store.Set(Hive::CurrentUser, "Software\\Race", "w" + std::to_string(writer) + "_" + std::to_string(i),
                    static_cast<uint32_t>(i));
            _exit(ok ? 0 : 1);   // skip the test framework's and the parent's exit handlers
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kValuesEach; ++i) {
            auto name = "w" + std::to_string(writer) + "_" + std::to_string(i);
            EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, "Software\\Race", name), static_cast<uint32_t>(i)) << name;
        }
    }
    EXPECT_FALSE(fs::exists(Folder() / "user.reg.bad"));
}

// Several values go in one replacement of the file: a write that fails
// stores none of them and says why. A writer that died left its temporary
// file; the next writer removes it, and nothing else.
TEST_F(RegistryStore, SeveralValuesAreWrittenTogetherOrNotAtAll)
{
    ASSERT_TRUE(m_store.Set(Hive::CurrentUser, kKey, "A", uint32_t { 1 }));
    WriteFile(Folder() / "user.reg.tmp-Ab12Cd", "half a hive");
    WriteFile(Folder() / "user.reg.tmp-unrelated", "not ours");
    const Store::NamedValue values[] = { { "A", uint32_t { 2 } }, { "B", uint32_t { 3 } }, { "C", std::string("four") } };
    ASSERT_TRUE(m_store.SetValues(Hive::CurrentUser, kKey, values));
    EXPECT_EQ(FolderContents(), (std::vector<std::string> { "user.reg", "user.reg.lock", "user.reg.tmp-unrelated" }));
    EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "B"), 3u);
    EXPECT_EQ(m_store.GetString(Hive::CurrentUser, kKey, "C"), "four");

    // The lock cannot be had: nothing is written, and the reason names it.
    fs::remove(Folder() / "user.reg.lock");
    fs::create_directory(Folder() / "user.reg.lock");
    const Store::NamedValue changed[] = { { "A", uint32_t { 9 } }, { "B", uint32_t { 9 } } };
    auto failed = m_store.SetValues(Hive::CurrentUser, kKey, changed);
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.Error().what.find("user.reg.lock"), std::string::npos) << failed.Error().what;
    EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "A"), 2u);
    EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "B"), 3u);
}

TEST(RegistryDefaultDirectory, FollowsXdgConfigHomeThenHome)
{
    using showsaver::test::ScopedEnvironment;
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(Store::DefaultDirectory(), "/cfg/showsaver");
    }
    {
        ScopedEnvironment config("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(Store::DefaultDirectory(), "/home/someone/.config/showsaver");
    }
    ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(Store::DefaultDirectory(), "/home/someone/.config/showsaver");
}

TEST_F(RegistryStore, ProfileReadsAndWritesUnderTheApplicationKey)
{
    Profile profile(m_store, "Tarvanix\\Screen Saver", "demo");
    EXPECT_EQ(profile.SectionKey("Settings"), kKey);

    EXPECT_EQ(profile.GetInt("Settings", "Speed", 7), 7);
    EXPECT_EQ(profile.GetString("Settings", "Title", "none"), "none");
    EXPECT_FALSE(fs::exists(UserFile()));

    ASSERT_TRUE(profile.WriteInt("Settings", "Speed", -3));
    ASSERT_TRUE(profile.WriteString("Settings", "Title", "My Show"));
    EXPECT_EQ(profile.GetInt("Settings", "Speed", 7), -3);
    EXPECT_EQ(m_store.GetDword(Hive::CurrentUser, kKey, "Speed"), 0xfffffffdu);
    EXPECT_EQ(profile.GetString("Settings", "Title", "none"), "My Show");
    EXPECT_EQ(profile.GetString("Settings", "Speed", "none"), "none") << "a dword is not a string";
}

TEST_F(RegistryStore, ProfileReadsDecimalTextAsANumberAndNothingElse)
{
    Profile profile(m_store, "Tarvanix\\Screen Saver", "demo");
    const std::vector<std::pair<std::string, int>> cases {
        { "42", 42 }, { "-17", -17 }, { " 8 ", 8 }, { "+5", 5 },
        { "", 99 }, { "12abc", 99 }, { "0x10", 99 }, { "99999999999", 99 }, { "- 1", 99 },
    };
    for (const auto& [text, expected] : cases) {
        ASSERT_TRUE(profile.WriteString("Settings", "N", text));
        EXPECT_EQ(profile.GetInt("Settings", "N", 99), expected) << '"' << text << '"';
    }
}
