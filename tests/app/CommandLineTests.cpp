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

TEST(CommandLine, HackOptionsTakeOneOrTwoDashesAndMayComeAfterOthers) {
    struct Case {
        std::vector<const char*> args;
        RunMode mode;
        int64_t window;
    } cases[] = {
        {{"-root"}, RunMode::HackRoot, 0},
        {{"--root"}, RunMode::HackRoot, 0},
        {{"-window"}, RunMode::HackWindow, 0},
        {{"--window"}, RunMode::HackWindow, 0},
        {{"-window-id", "0x2a00007"}, RunMode::HackWindowId, 0x2a00007},
        {{"--window-id", "4194311"}, RunMode::HackWindowId, 4194311},
        {{"-geometry", "800x600", "--root"}, RunMode::HackRoot, 0},
        {{"--window-id"}, RunMode::BadArguments, 0},
        {{"--window-id", "0"}, RunMode::BadArguments, 0},
        {{"--window-id", "12abc"}, RunMode::BadArguments, 0},
        {{"---root"}, RunMode::None, 0},
        {{"-rooted"}, RunMode::None, 0},
    };
    for (const auto& c : cases) {
        auto line = Parse(c.args);
        EXPECT_EQ(line.mode, c.mode) << c.args.back();
        EXPECT_EQ(line.window, c.window) << c.args.back();
    }
}

TEST(CommandLine, WindowIdsAreDecimalOrHexAndFitAnXId) {
    EXPECT_EQ(ParseWindowId("0X1F"), 31u);
    EXPECT_EQ(ParseWindowId("536870911"), 0x1FFFFFFFu);
    for (const char* bad : {"", "0x", "536870912", "0x20000000", "-5", "+5", " 5", "5 ", "0x1g", "99999999999999999999"})
        EXPECT_EQ(ParseWindowId(bad), 0u) << bad;
}

} // namespace
} // namespace showsaver
