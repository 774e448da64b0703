#include "platform/sys/Clock.h"
#include "platform/sys/TempFiles.h"

#include "tests/platform/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cctype>

using showsaver::sys::TempDirectory;
using showsaver::test::ModeOf;
using showsaver::test::ScopedEnvironment;
namespace fs = std::filesystem;

namespace {

// PREFIX + six letters or digits + SUFFIX.
bool MatchesUniqueName(const std::string& name, std::string_view prefix, std::string_view suffix)
{
    if (name.size() != prefix.size() + 6 + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return false;
    auto unique = std::string_view(name).substr(prefix.size(), 6);
    return std::all_of(unique.begin(), unique.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}

TEST(TempDirectory, ProcessDirectoryIsPrivateAndStable)
{
    auto& directory = TempDirectory::ForProcess();
    ASSERT_FALSE(directory.Path().empty()) << directory.Error();
    EXPECT_TRUE(fs::is_directory(directory.Path()));
    EXPECT_EQ(ModeOf(directory.Path()), 0700u);
    EXPECT_TRUE(directory.Path().filename().string().starts_with("showsaver-"));
    EXPECT_EQ(&TempDirectory::ForProcess(), &directory);
}

TEST(TempDirectory, UniqueFilesAreNewEmptyAndNamedByPattern)
{
    auto& directory = TempDirectory::ForProcess();
    auto first = directory.CreateUniqueFile();
    auto second = directory.CreateUniqueFile();
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    for (const auto& file : { *first, *second }) {
        EXPECT_EQ(file.parent_path(), directory.Path());
        EXPECT_TRUE(MatchesUniqueName(file.filename().string(), "Ssd", ".tmp")) << file;
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_EQ(fs::file_size(file), 0u);
        EXPECT_EQ(ModeOf(file), 0600u);
    }
    auto custom = directory.CreateUniqueFile("wav", "");
    ASSERT_TRUE(custom);
    EXPECT_TRUE(MatchesUniqueName(custom->filename().string(), "wav", ""));
}

TEST(TempDirectory, RejectsNamesThatWouldLeaveTheDirectory)
{
    TempDirectory directory { fs::path(testing::TempDir()) };
    auto refused = directory.CreateUniqueFile("../Ssd", ".tmp");
    ASSERT_FALSE(refused);
    EXPECT_FALSE(refused.Error().what.empty());
    EXPECT_FALSE(directory.CreateUniqueFile("Ssd", "/x"));
}

TEST(TempDirectory, DestructorRemovesTheDirectoryWithItsFiles)
{
    fs::path path;
    {
        TempDirectory directory { fs::path(testing::TempDir()) };
        path = directory.Path();
        ASSERT_TRUE(fs::is_directory(path));
        EXPECT_EQ(ModeOf(path), 0700u);
        ASSERT_TRUE(directory.CreateUniqueFile());
        fs::create_directory(path / "nested");
        showsaver::test::WriteFile(path / "nested" / "file", "data");
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(TempDirectory, MissingTmpdirFallsBackToTmp)
{
    ScopedEnvironment tmpdir("TMPDIR", "/nonexistent/showsaver-test-folder");
    auto parents = TempDirectory::DefaultParents();
    ASSERT_EQ(parents.size(), 2u);
    EXPECT_EQ(parents.front(), "/nonexistent/showsaver-test-folder");
    TempDirectory directory(parents);
    ASSERT_FALSE(directory.Path().empty()) << directory.Error();
    EXPECT_EQ(directory.Path().parent_path(), "/tmp");
    EXPECT_TRUE(directory.CreateUniqueFile());
}

TEST(TempDirectory, WithoutAnyUsableParentFileCreationFailsWithAReason)
{
    std::vector<fs::path> parents { "/nonexistent/a", "/nonexistent/b" };
    TempDirectory directory(parents);
    EXPECT_TRUE(directory.Path().empty());
    auto none = directory.CreateUniqueFile("Ssd", ".tmp");
    ASSERT_FALSE(none);
    EXPECT_NE(none.Error().what.find("/nonexistent/b"), std::string::npos) << none.Error().what;
}

TEST(Clock, LocalSystemTimeFieldsAreConsistent)
{
    auto now = showsaver::sys::LocalSystemTime();
    EXPECT_GE(now.year, 2020);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
    EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
    EXPECT_TRUE(now.second >= 0 && now.second <= 60);
    EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds <= 999);
    std::chrono::year_month_day date { std::chrono::year(now.year), std::chrono::month(static_cast<unsigned>(now.month)),
        std::chrono::day(static_cast<unsigned>(now.day)) };
    ASSERT_TRUE(date.ok());
    EXPECT_EQ(std::chrono::weekday(std::chrono::sys_days(date)).c_encoding(), static_cast<unsigned>(now.dayOfWeek));
}

// A start sweeps the folders of savers that ended without cleaning up, and
// only those: a folder whose lock a live owner holds stays, and so does
// anything that is not such a folder of this user.
TEST(TempDirectory, SweepRemovesOnlyFoldersWhoseOwnerIsGone)
{
    TempDirectory parent { fs::path(testing::TempDir()) };
    const fs::path& at = parent.Path();
    TempDirectory live(at, TempDirectory::Owner::Locked);
    auto make = [&](const std::string& name, bool withLock) {
        fs::create_directory(at / name);
        showsaver::test::WriteFile(at / name / "desktop.bmp", "pixels");
        if (withLock)
            showsaver::test::WriteFile(at / name / ".lock", "");
        return at / name;
    };
    const struct {
        fs::path path;
        bool swept;
    } cases[] = {
        { live.Path(), false },                          // its owner holds the lock
        { make("showsaver-dead01", true), true },        // the lock is there, no one holds it
        { make("showsaver-old001", false), true },       // from before the lock, untouched for days
        { make("showsaver-new001", false), false },      // made a moment ago, not locked yet
        { make("showsaver-longer-name", true), false },  // not a name we make
        { make("other-abcdef", true), false },
    };
    fs::last_write_time(at / "showsaver-old001", fs::file_time_type::clock::now() - std::chrono::hours(48));
    // A link with our name leads elsewhere: neither it nor its target goes.
    auto target = make("target", true);
    fs::create_directory_symlink(target, at / "showsaver-link01");

    EXPECT_EQ(TempDirectory::SweepAbandoned(at), 2);
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(c.path), !c.swept) << c.path;
    EXPECT_TRUE(fs::exists(target / "desktop.bmp"));
    EXPECT_TRUE(fs::is_symlink(at / "showsaver-link01"));
    // The live folder is still usable.
    EXPECT_TRUE(live.CreateUniqueFile());
}
