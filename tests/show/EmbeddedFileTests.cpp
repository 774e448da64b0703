#include "platform/sys/TempFiles.h"
#include "show/EmbeddedFile.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"
#include "support/FakePlayer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace showsaver {
namespace {

using testing::CollectingSink;

EmbeddedFile FileOf(std::vector<uint8_t> bytes, std::string name = "data") {
    EmbeddedFile file;
    auto block = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), block.get());
    file.Assign(std::move(name), std::move(block), static_cast<uint32_t>(bytes.size()));
    return file;
}

TEST(EmbeddedFile, SizeZeroIsFollowedByNothing) {
    EmbeddedFile empty;
    ShowWriter writer;
    empty.Save(writer, [](ShowWriter& w) { w.WriteInt32(99); });
    EXPECT_EQ(writer.Bytes(), (std::vector<uint8_t>{0, 0, 0, 0}));
    ShowReader reader(writer.Bytes());
    EmbeddedFile loaded;
    bool ownerRead = false;
    loaded.Load(reader, [&](ShowReader&) { ownerRead = true; });
    EXPECT_FALSE(ownerRead);
    EXPECT_TRUE(loaded.Empty());
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(EmbeddedFile, BytesAreScrambledAsOneBlock) {
    auto file = FileOf(std::vector<uint8_t>(11, 0x10), "x");
    ShowWriter writer;
    file.Save(writer);
    // size, name "x" (1 byte, shift 4), then 11 bytes lowered by 3.
    std::vector<uint8_t> expected(6 + 11, 0x0D);
    const uint8_t head[] = {11, 0, 0, 0, 1, 'x' - 4};
    std::copy(std::begin(head), std::end(head), expected.begin());
    EXPECT_EQ(writer.Bytes(), expected);
    ShowReader reader(writer.Bytes());
    EmbeddedFile loaded;
    loaded.Load(reader);
    EXPECT_EQ(loaded.Name(), "x");
    auto contents = loaded.Contents();
    ASSERT_TRUE(contents);
    EXPECT_EQ(std::vector<uint8_t>(contents->bytes.begin(), contents->bytes.end()), std::vector<uint8_t>(11, 0x10));
}

TEST(EmbeddedFile, CopyFromMakesItsOwnBlock) {
    auto original = FileOf({1, 2, 3}, "orig");
    EmbeddedFile copy;
    copy.CopyFrom(original);
    EXPECT_NE(copy.Contents()->bytes.data(), original.Contents()->bytes.data());
    EXPECT_EQ(copy.Size(), 3u);
    EXPECT_EQ(copy.Name(), "orig");
}

TEST(EmbeddedFile, ReadFromFileTakesTheDisplayName) {
    auto path = std::filesystem::temp_directory_path() / "showsaver Picture.test.jpg";
    {
        std::ofstream out(path, std::ios::binary);
        out << "JPEGDATA";
    }
    CollectingSink sink;
    EmbeddedFile file;
    ASSERT_TRUE(file.ReadFromFile(path, sink));
    EXPECT_EQ(file.Name(), "showsaver Picture.test");
    EXPECT_EQ(file.Size(), 8u);
    std::filesystem::remove(path);
    EXPECT_TRUE(sink.messages.empty());
}

TEST(EmbeddedFile, ReadFromAMissingFileSaysSoAndStaysEmpty) {
    CollectingSink sink;
    auto file = FileOf({1, 2});
    EXPECT_FALSE(file.ReadFromFile("/no/such/file.bmp", sink));
    EXPECT_TRUE(file.Empty());
    EXPECT_TRUE(file.Name().empty());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "/no/such/file.bmp\nCannot be read data.");
}

TEST(EmbeddedFile, WriteTempFileMakesAPrivateSsdFile) {
    CollectingSink sink;
    std::vector<uint8_t> bytes = {9, 8, 7, 6};
    std::filesystem::path path;
    ASSERT_TRUE(EmbeddedFile::WriteTempFile(bytes, path, sink));
    EXPECT_TRUE(std::regex_match(path.filename().string(), std::regex("Ssd[A-Za-z0-9]{6}\\.tmp")));
    EXPECT_EQ(path.parent_path(), sys::TempDirectory::ForProcess().Path());
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> read((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(read, bytes);
    std::filesystem::remove(path);
}

TEST(EmbeddedFile, AFailedWriteLeavesNoFileAndSaysSo) {
    // In a child process whose file size limit is too small for the bytes.
    sys::TempDirectory directory(std::filesystem::temp_directory_path());
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        CollectingSink sink;
        std::vector<uint8_t> bytes(100000, 1);
        std::filesystem::path path;
        bool written = EmbeddedFile::WriteTempFile(bytes, path, sink, directory);
        bool said = sink.messages.size() == 1 && sink.messages[0].text == "It cannot be made data file." &&
                    sink.messages[0].icon == ui::MessageIcon::None;
        bool empty = std::filesystem::is_empty(directory.Path());
        _exit(!written && said && empty ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
} // namespace showsaver
