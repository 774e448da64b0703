#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace showsaver {
namespace {

CommandLine Parse(std::vector<const char*> args) { return ParseCommandLine(args); }

TEST(CommandLine, ModeWordsIgnoreOneSeparatorAndCase) {
    for (const char* word : {"/s", "-s", "s", "S", "/S", "-S"}) EXPECT_EQ(Parse({word}).mode, RunMode::Show) << word;
    EXPECT_EQ(Parse({"/c:1234"}).mode, RunMode::SettingsWithParent);
    EXPECT_EQ(Parse({"-C"}).mode, RunMode::SettingsWithParent);
    EXPECT_EQ(Parse({}).mode, RunMode::Settings);
    for (const char* word : {"x", "/x", "//s", "-", "", "sx", "/", "--s"})
        EXPECT_EQ(Parse({word}).mode, RunMode::None) << word;
}

TEST(CommandLine, WindowIdIsReadLikeAtol) {
    auto preview = Parse({"/p", "12345"});
    EXPECT_EQ(preview.mode, RunMode::Preview);
    EXPECT_TRUE(preview.hasWindow);
    EXPECT_EQ(preview.window, 12345);
    EXPECT_EQ(Parse({"/a", "77abc"}).window, 77);
    EXPECT_EQ(Parse({"/a", "abc"}).window, 0);
    EXPECT_FALSE(Parse({"/p"}).hasWindow);
    EXPECT_EQ(Parse({"/a"}).mode, RunMode::Password);
}

} // namespace
} // namespace showsaver
