// The engine executable with a show appended to it.

#include "show/ShowLoader.h"
#include "support/Command.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <fstream>

namespace showsaver {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::RunCommand;

const fs::path kEngine = fs::path(SHOWSAVER_BINARY_DIR) / "showsaver";

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("showsaver-engine-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        m_journal = m_dir / "messages.jsonl";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Packs a show built from a JSON description.
    fs::path Pack(const std::string& description, const std::string& name = "saver") {
        {
            std::ofstream out(m_dir / "show.json");
            out << description;
        }
        auto built = showpack::BuildPacked(m_dir / "show.json", kEngine, m_dir / name);
        EXPECT_TRUE(built) << built.Error().what;
        return m_dir / name;
    }
    testing::CommandResult Start(const fs::path& saver, const std::string& args) {
        // Without a display: the show loads, and then no window can open.
        return RunCommand("env -u DISPLAY TMPDIR=" + Quoted(m_dir) + " SHOWSAVER_MESSAGE_LOG=" + Quoted(m_journal) +
                          " XDG_CONFIG_HOME=" + Quoted(m_dir / "config") + " " + Quoted(saver) + " " + args);
    }
    std::string Journal() {
        std::ifstream in(m_journal);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir, m_journal;
};

TEST(EngineSize, StaysBelowTheShowOffset) { EXPECT_LT(fs::file_size(kEngine), kShowOffset); }

TEST_F(EngineTest, LoadsItsOwnShowInEverySpellingOfModeS) {
    auto saver = Pack(R"({"items": [{"class": "NoteItem", "text": "hi"}]})");
    for (const char* word : {"/s", "-s", "s", "S"}) {
        auto run = Start(saver, word);
        EXPECT_EQ(run.err.find("cannot be loaded"), std::string::npos) << word << ": " << run.err;
    }
    EXPECT_TRUE(Journal().empty());
}

TEST_F(EngineTest, RefusedShowEndsWithFailure) {
    // Without a payload.
    fs::copy_file(kEngine, m_dir / "bare-engine");
    auto bare = Start(m_dir / "bare-engine", "/s");
    EXPECT_EQ(bare.status, 1);
    EXPECT_NE(bare.err.find("cannot be loaded"), std::string::npos);
    EXPECT_TRUE(Journal().empty()) << "a load failure shows no message";

    // A show whose validation refuses an item says so in a message box.
    auto refused = Pack(R"({"items": [{"class": "MediaStopItem"}]})", "refused");
    EXPECT_EQ(Start(refused, "/s").status, 1);
    auto journal = Journal();
    EXPECT_NE(journal.find("\"text\":\"You have to choose the media.\""), std::string::npos) << journal;
    EXPECT_NE(journal.find("\"icon\":\"stop\""), std::string::npos);
    EXPECT_NE(journal.find("\"caption\":\"refused\""), std::string::npos) << "the caption is the display name";
}

TEST_F(EngineTest, UnknownModesEndSilently) {
    auto saver = Pack(R"({"items": []})");
    for (const char* word : {"/x", "x"}) {
        auto run = Start(saver, word);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(run.err.empty());
    }
    EXPECT_TRUE(Journal().empty());
}

TEST_F(EngineTest, LeavesNoTemporaryFiles) {
    auto saver = Pack(R"({"items": []})");
    Start(saver, "/s");
    for (auto& entry : fs::directory_iterator(m_dir))
        EXPECT_TRUE(entry.path() == saver || entry.path().filename() == "show.json" ||
                    entry.path().filename() == "config")
            << "left behind: " << entry.path();
}

} // namespace
} // namespace showsaver
