// The fixed error texts, the per-thread last error, and the two kinds of
// source.

#include <thread>

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

TEST(CodecErrorText, KnownCodesHaveTheirFixedTextsPunctuationAndCaseIncluded) {
    EXPECT_EQ(ErrorText(1), "out of memory");
    EXPECT_EQ(ErrorText(29), "a call to BitBlt failed.");
    EXPECT_EQ(ErrorText(32), "Invalid TGA File");
    EXPECT_EQ(ErrorText(34), "reserved value "); // its own text, trailing space and all
    EXPECT_EQ(ErrorText(57), "no EXIF string was found with the given ID");
}

TEST(CodecErrorText, UnlistedCodesInRangeAreReserved) {
    for (int code : {8, 12, 43, 44, 52}) EXPECT_EQ(ErrorText(code), "reserved value") << code;
}

TEST(CodecErrorText, CodesOutsideTheRangeAreUnknown) {
    for (int code : {0, -1, 58, 1000}) EXPECT_EQ(ErrorText(code), "Unknown error") << code;
}

TEST(CodecLastError, IsKeptPerThreadAndOnlyWrittenByFailures) {
    auto empty = OpenMemorySource({});
    ASSERT_TRUE(empty);
    EXPECT_EQ(GuessFormat(*empty), Format::Unknown);
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::FileRead));
    EXPECT_FALSE(LastErrorDetail().empty());

    int otherThreadsError = -1;
    std::thread([&] { otherThreadsError = LastError(); }).join();
    EXPECT_EQ(otherThreadsError, 0);

    // A success afterwards leaves the last failure in place.
    const Bytes gif{'G', 'I', 'F', '8', '9', 'a'};
    auto gifSource = OpenMemorySource(gif);
    EXPECT_EQ(GuessFormat(*gifSource), Format::Gif);
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::FileRead));
}

TEST(CodecSource, MemorySourceReadsSeeksAndRewinds) {
    const Bytes bytes{1, 2, 3, 4, 5};
    auto source = OpenMemorySource(bytes);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->FilePath(), nullptr);
    uint8_t buffer[3];
    EXPECT_EQ(source->Read(buffer), 3u);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(source->Read(buffer), 2u);
    EXPECT_EQ(source->Read(buffer), 0u);
    EXPECT_FALSE(source->Seek(6));
    EXPECT_TRUE(source->Seek(5));
    EXPECT_TRUE(Rewind(*source));
    EXPECT_EQ(source->TakeRemainder().size(), 5u);
    EXPECT_EQ(source->Position(), 5u);
}

TEST(CodecSource, MemorySourceWithoutDataFailsWithBadParameter) {
    EXPECT_FALSE(OpenMemorySource(std::span<const uint8_t>(static_cast<const uint8_t*>(nullptr), 4)));
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadParameter));
}

TEST(CodecSource, FileSourceHoldsTheWholeFileAndItsPath) {
    TempDir dir;
    testing::WriteBytes(dir / "x.bin", {9, 8, 7});
    auto source = OpenFileSource(dir / "x.bin");
    ASSERT_TRUE(source);
    ASSERT_NE(source->FilePath(), nullptr);
    EXPECT_EQ(*source->FilePath(), dir / "x.bin");
    EXPECT_EQ(Bytes(source->Bytes().begin(), source->Bytes().end()), (Bytes{9, 8, 7}));
    CloseSource(source);
    EXPECT_FALSE(source);
}

TEST(CodecSource, FileSourceRefusesMissingFilesFoldersAndDevices) {
    TempDir dir;
    for (const auto& path : {dir / "missing.bmp", dir.Path(), std::filesystem::path("/dev/zero"), std::filesystem::path()}) {
        EXPECT_FALSE(OpenFileSource(path)) << path;
        EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::FileOpen)) << path;
    }
}

} // namespace
} // namespace showsaver::codec
