#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

struct Reading {
    explicit Reading(std::vector<uint8_t> data) : bytes(std::move(data)), reader(bytes) {}
    std::vector<uint8_t> bytes;
    ShowReader reader;
};

TEST(ShowReader, ReadsLittleEndianNumbers) {
    Reading r(Bytes({0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x90, 0x40}));
    EXPECT_EQ(r.reader.ReadUInt32(), 0x12345678u);
    EXPECT_EQ(r.reader.ReadInt32(), -2);
    EXPECT_FLOAT_EQ(r.reader.ReadFloat(), 4.5f);
    EXPECT_FALSE(r.reader.Failed());
    EXPECT_EQ(r.reader.Offset(), 12u);
}

TEST(ShowReader, DataEndingEarlyFailsWithItsOffsetAndStaysFailed) {
    Reading r(Bytes({1, 0, 0, 0, 7, 7}));
    EXPECT_EQ(r.reader.ReadInt32(), 1);
    EXPECT_EQ(r.reader.ReadInt32(), 0);
    ASSERT_TRUE(r.reader.Failed());
    EXPECT_EQ(r.reader.Error().offset, 6u);
    // Once failed, reads yield zero and the first error is kept.
    EXPECT_EQ(r.reader.ReadInt32(), 0);
    EXPECT_EQ(r.reader.Error().offset, 6u);
}

TEST(ShowReader, ReadsEveryLengthPrefixForm) {
    // One byte, 16-bit and 32-bit lengths of the text "ab".
    Reading r(Bytes({2, 'a', 'b', 0xFF, 2, 0, 'a', 'b', 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 'a', 'b'}));
    EXPECT_EQ(r.reader.ReadText(), "ab");
    EXPECT_EQ(r.reader.ReadText(), "ab");
    EXPECT_EQ(r.reader.ReadText(), "ab");
    EXPECT_FALSE(r.reader.Failed());
}

TEST(ShowReader, ConvertsWideTextsToWindows1252) {
    // Marker 0xFF 0xFE 0xFF, then 3 UTF-16 characters: 'A', the euro sign, and a CJK character.
    Reading r(Bytes({0xFF, 0xFE, 0xFF, 3, 'A', 0, 0xAC, 0x20, 0x2D, 0x4E}));
    EXPECT_EQ(r.reader.ReadText(), "A\x80?");
    EXPECT_FALSE(r.reader.Failed());
}

TEST(ShowReader, RefusesLengthsBeyondTheDataBeforeAllocating) {
    Reading text(Bytes({0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'x'}));
    EXPECT_EQ(text.reader.ReadText(), "");
    ASSERT_TRUE(text.reader.Failed());
    EXPECT_NE(text.reader.Error().what.find("exceeds"), std::string::npos);

    Reading wide(Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0}));
    EXPECT_EQ(wide.reader.ReadText(), "");
    EXPECT_TRUE(wide.reader.Failed());

    Reading block(Bytes({1, 2, 3}));
    EXPECT_EQ(block.reader.ReadBlock(0xFFFFFFFF), nullptr);
    EXPECT_TRUE(block.reader.Failed());
}

TEST(Scramble, ShiftDependsOnLengthOnly) {
    ShowWriter writer;
    writer.WriteScrambledText("abc");
    EXPECT_EQ(writer.Bytes(), Bytes({3, 0x5B, 0x5C, 0x5D}));
    EXPECT_EQ(ScrambleShift(11), 3);
    EXPECT_EQ(ScrambleShift(10), 13);
    EXPECT_EQ(ScrambleShift(1000), 13);

    std::vector<uint8_t> eleven(11, 0x00);
    Scramble(eleven, ScrambleDirection::Reading);
    EXPECT_EQ(eleven, std::vector<uint8_t>(11, 0x03));
    std::vector<uint8_t> ten(10, 0x02);
    Scramble(ten, ScrambleDirection::Writing);   // wraps modulo 256
    EXPECT_EQ(ten, std::vector<uint8_t>(10, 0xF5));
}

TEST(ShowWriter, WritesTheShortestPrefixThatReadsBack) {
    for (size_t length : {0u, 1u, 15u, 16u, 254u, 255u, 0xFFFDu, 0xFFFEu, 0xFFFFu, 70000u}) {
        ShowWriter writer;
        std::string text(length, 'q');
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
        writer.WriteScrambledText(text);
        size_t prefix = writer.Bytes().size() - length;
        EXPECT_EQ(prefix, length < 0xFF ? 1u : length < 0xFFFE ? 3u : 7u) << length;
        ShowReader reader(writer.Bytes());
        std::string read;
        reader.ReadScrambledText(read);
        EXPECT_EQ(read, text) << length;
        EXPECT_FALSE(reader.Failed()) << length;
        EXPECT_EQ(reader.Remaining(), 0u);

        // With more of the show after it, and into a string that held a
        // longer text: only the text's own bytes are taken and kept.
        writer.WriteScrambledText(std::string(40, 'z'));
        ShowReader followed(writer.Bytes());
        std::string into(100, 'x');
        followed.ReadScrambledText(into);
        EXPECT_EQ(into, text) << length;
        EXPECT_EQ(followed.Remaining(), 41u) << length;
    }
}

TEST(ShowReader, ReportsFileOffsetsFromItsBase) {
    Reading r(Bytes({1, 2}));
    ShowReader based(r.bytes, 581632);
    based.ReadInt32();
    ASSERT_TRUE(based.Failed());
    EXPECT_EQ(based.Error().offset, 581634u);
}

} // namespace
} // namespace showsaver
