#include "platform/shell/Shell.h"
#include "platform/sys/TempFiles.h"

#include "tests/platform/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using showsaver::test::ScopedEnvironment;
namespace fs = std::filesystem;
namespace shell = showsaver::shell;

TEST(ShellDisplayName, DropsFolderAndLastExtensionOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "/a/b/My Show.scr", "My Show" },
        { "a.b.c", "a.b" },
        { ".hidden", ".hidden" },
        { "/x/.hidden.txt", ".hidden" },
        { "..", ".." },
        { "noext", "noext" },
        { "trailing.", "trailing" },
        { "/a/b.d/file", "file" },
        { "/a/b/show.scr/", "show" },
        { "", "" },
        { "/", "" },
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(shell::DisplayName(path), expected) << path;
}

TEST(ShellSelfExecutablePath, PointsAtThisTestProgram)
{
    auto self = shell::SelfExecutablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(self.is_absolute());
    EXPECT_TRUE(fs::is_regular_file(self));
    EXPECT_EQ(self.filename(), "test_platform");
}

namespace {

// A folder holding a fake xdg-open that records its arguments, one per line, with the
// count first, then marks itself done. Only shell built-ins are used, as PATH is the
// folder itself.
class FakeXdgOpen : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.Path().empty());
        auto script = m_folder.Path() / "xdg-open";
        showsaver::test::WriteFile(script,
            "#!/bin/sh\n"
            "{ echo \"$#\"; for argument in \"$@\"; do printf '%s\\n' \"$argument\"; done; } > '"
                + Output().string() + "'\n"
                                      ": > '"
                + Done().string() + "'\n");
        fs::permissions(script, fs::perms::owner_all);
    }

    fs::path Output() const { return m_folder.Path() / "arguments"; }
    fs::path Done() const { return m_folder.Path() / "done"; }

    // Waits for the script to finish; the limit only keeps a broken run from hanging.
    bool WaitForScript() const
    {
        for (int i = 0; i < 6000 && !fs::exists(Done()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return fs::exists(Done());
    }

    showsaver::sys::TempDirectory m_folder { fs::path(testing::TempDir()) };
};

}

TEST_F(FakeXdgOpen, AddressArrivesAsExactlyOneArgument)
{
    ScopedEnvironment path("PATH", m_folder.Path().string());
    const std::string address = "https://example.com/a b?q=\"x\"&y='z'; touch /tmp/pwned $(id) `id` | cat";
    ASSERT_TRUE(shell::OpenAddress(address));
    ASSERT_TRUE(WaitForScript());
    EXPECT_EQ(showsaver::test::ReadFile(Output()), "1\n" + address + "\n");
}

TEST_F(FakeXdgOpen, ReportsWhenNothingCouldBeStarted)
{
    ScopedEnvironment path("PATH", (m_folder.Path() / "empty").string());
    EXPECT_FALSE(shell::OpenAddress("https://example.com/"));
    ScopedEnvironment realPath("PATH", m_folder.Path().string());
    EXPECT_FALSE(shell::OpenAddress(""));
    EXPECT_FALSE(shell::OpenAddress("--help"));
    EXPECT_FALSE(shell::OpenAddress(std::string("https://a\0b", 11)));
    EXPECT_FALSE(fs::exists(Output())) << "the script must not have run";
}
