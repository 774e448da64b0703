// showpack install into a scratch data folder: what it writes, that the
// daemons' files read as they must, and that it never overwrites what is
// not this saver's without --force.

#include "support/Command.h"
#include "tools/showpack/Commands.h"
#include "tools/showpack/Install.h"
#include "tools/showpack/StartLines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace showsaver::showpack {
namespace {

namespace fs = std::filesystem;

const fs::path kShowpack = fs::path(SHOWSAVER_BINARY_DIR) / "showpack";
const fs::path kEngine = fs::path(SHOWSAVER_BINARY_DIR) / "showsaver";

using testing::Quoted;

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("install-test-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        std::ofstream(m_dir / "show.json") << R"({"items": [
            {"class": "NoteItem", "text": "Tides & <harbours>\r\nat dawn"},
            {"class": "BackgroundItem", "color": {"color": 255, "fourthValue": 0}}]})";
        auto built = BuildPacked(m_dir / "show.json", kEngine, m_dir / "harbour");
        ASSERT_TRUE(built) << built.Error().what;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    testing::CommandResult Install(const std::string& extra) {
        auto run = testing::RunCommand("XDG_DATA_HOME=" + Quoted((m_dir / "data").string()) + " " +
                                       Quoted(kShowpack.string()) + " install " +
                                       Quoted((m_dir / "harbour").string()) + " --user " + extra);
        run.out += run.err;
        return run;
    }
    std::string Xpath(const fs::path& file, const std::string& expression) {
        std::string value = testing::RunCommand("xmllint --xpath " + Quoted(expression) + " " + Quoted(file.string())).out;
        if (!value.empty() && value.back() == '\n') value.pop_back();
        return value;
    }
    fs::path m_dir;
};

TEST_F(InstallTest, UserInstallWritesTheSaverItsSettingsAndItsEntry) {
    auto dry = Install("--dry-run");
    ASSERT_EQ(dry.status, 0) << dry.out;
    EXPECT_NE(dry.out.find("would write"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir / "data"));

    auto run = Install("");
    ASSERT_EQ(run.status, 0) << run.out;
    fs::path savers = m_dir / "data" / "showsaver" / "savers";
    fs::path saver = savers / "harbour", xml = savers / "harbour.xml";
    fs::path entry = m_dir / "data" / "applications" / "screensavers" / "harbour.desktop";
    EXPECT_NE(run.out.find("\"harbour\"  " + saver.string() + " --root"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::status(saver).permissions() != fs::perms::none &&
                (fs::status(saver).permissions() & fs::perms::owner_exec) != fs::perms::none);
    // The saver finds its engine where it was put.
    auto ldd = testing::RunCommand("ldd " + Quoted(saver.string()));
    EXPECT_NE(ldd.out.find((savers / "libshowsaver_core.so").string()), std::string::npos) << ldd.out;

    EXPECT_EQ(testing::RunCommand("xmllint --noout " + Quoted(xml.string())).status, 0);
    EXPECT_EQ(Xpath(xml, "string(/screensaver/@name)"), "harbour");
    EXPECT_EQ(Xpath(xml, "string(/screensaver/@_label)"), "harbour");
    EXPECT_EQ(Xpath(xml, "string(/screensaver/command/@arg)"), "--root");
    EXPECT_EQ(Xpath(xml, "normalize-space(/screensaver/_description)"), "Tides & <harbours> at dawn");

    if (testing::RunCommand("command -v desktop-file-validate").status == 0) {
        auto valid = testing::RunCommand("desktop-file-validate " + Quoted(entry.string()));
        valid.out += valid.err;
        EXPECT_EQ(valid.status, 0) << valid.out;
        EXPECT_EQ(valid.out.find("error:"), std::string::npos) << valid.out;
    }
    std::ifstream in(entry);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    for (const std::string& line : {"Exec=" + saver.string() + " -root\n", "TryExec=" + saver.string() + "\n",
                                    std::string("Categories=Screensaver;\n")})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;

    // The same again changes nothing.
    auto again = Install("");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(again.out.find("wrote"), std::string::npos) << again.out;
}

TEST_F(InstallTest, AFileOfAnotherSaverStaysWithoutForce) {
    fs::path settings = m_dir / "data" / "showsaver" / "savers" / "harbour.xml";
    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << "<screensaver name=\"harbour\" _label=\"Someone else's\"/>\n";
    auto refused = Install("");
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.out.find("--force"), std::string::npos) << refused.out;
    EXPECT_FALSE(fs::exists(m_dir / "data" / "showsaver" / "savers" / "harbour"));
    auto forced = Install("--force");
    EXPECT_EQ(forced.status, 0) << forced.out;
    EXPECT_NE(Xpath(settings, "string(/screensaver/command/@arg)"), "");
}

// The idle daemons' lines, run through the shells that run them (sway's
// exec, then swayidle's; hypridle's), start the saver at any path with /s.
TEST(StartLines, EveryPathReachesTheSaverWithModeS) {
    fs::path dir = fs::temp_directory_path() / ("start-lines-" + std::to_string(::getpid()));
    for (const char* folder : {"plain", "with space", "it's $HOME", "back\\slash \"quoted\""}) {
        fs::path saver = dir / folder / "harbour";
        fs::create_directories(saver.parent_path());
        std::ofstream(saver) << "#!/bin/sh\necho \"ran $*\"\n";
        fs::permissions(saver, fs::perms::owner_all);
        std::string sway = SwayidleLine(saver, 600);
        ASSERT_EQ(sway.rfind("exec swayidle -w timeout 600 ", 0), 0u) << sway;
        // swayidle's fourth argument is the timeout's command.
        auto swayRun = testing::RunCommand("sh -c " + ShellWord("swayidle() { sh -c \"$4\"; }; " + sway.substr(5)));
        EXPECT_EQ(swayRun.out, "ran /s\n") << sway << swayRun.err;
        std::string hypr = HypridleListener(saver, 600);
        auto at = hypr.find("on-timeout = ");
        ASSERT_NE(at, std::string::npos) << hypr;
        std::string command = hypr.substr(at + 13, hypr.find('\n', at) - at - 13);
        EXPECT_EQ(testing::RunCommand("sh -c " + ShellWord(command)).out, "ran /s\n") << hypr;
    }
    fs::remove_all(dir);
}

TEST(InstallNames, OnlyPlainFileNamesAreSaverNames) {
    for (const char* good : {"harbour", "Harbour-2", "a_b.c", "x"}) EXPECT_TRUE(IsValidSaverName(good)) << good;
    for (const char* bad : {"", ".hidden", "-root", "a/b", "..", "a b", "a\nb", "é", "a\"b"})
        EXPECT_FALSE(IsValidSaverName(bad)) << bad;
    EXPECT_FALSE(IsValidSaverName(std::string(65, 'a')));
}

} // namespace
} // namespace showsaver::showpack
