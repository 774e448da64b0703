// Format recognition: each signature, the table's order where signatures
// overlap, and the file-name rule that tells TGA from WBMP.

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

Bytes Padded(Bytes start, size_t size = 64) {
    start.resize(std::max(size, start.size()), 0x55);
    return start;
}

Format GuessMemory(const Bytes& bytes) {
    auto source = OpenMemorySource(bytes);
    return GuessFormat(*source);
}

Format GuessFile(const TempDir& dir, const std::string& name, const Bytes& bytes) {
    testing::WriteBytes(dir / name, bytes);
    auto source = OpenFileSource(dir / name);
    return source ? GuessFormat(*source) : Format::Unknown;
}

TEST(GuessFormat, RecognisesEverySignature) {
    struct Case {
        Bytes start;
        Format format;
    };
    const Case cases[] = {
        {{'B', 'M'}, Format::Bmp},
        {{'G', 'I', 'F', '8', '9', 'a'}, Format::Gif},
        {{'G', 'I', 'F', '8', '7', 'a'}, Format::Gif},
        {{0xFF, 0xD8, 0xFF, 0xE0}, Format::Jpeg},
        {{0x0A, 0x00}, Format::Pcx},
        {{0x0A, 0x02}, Format::Pcx},
        {{0x0A, 0x03}, Format::Pcx},
        {{0x0A, 0x05}, Format::Pcx},
        {{'M', 'M'}, Format::Tiff},
        {{'I', 'I'}, Format::Tiff},
        {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, Format::Png},
        {{0x01, 0x00, 0x09, 0x00, 0x00}, Format::WindowsMetafile},
        {{0xD7, 0xCD, 0xC6, 0x9A}, Format::WindowsMetafile},
        {{'8', 'B', 'P', 'S'}, Format::Photoshop},
        {{0x00, 0x00}, Format::WbmpOrTga},
    };
    for (const auto& c : cases) EXPECT_EQ(GuessMemory(Padded(c.start)), c.format) << int{c.start[0]};
}

TEST(GuessFormat, NearMissesAreUnknown) {
    for (const Bytes& start : {Bytes{'G', 'I', 'F', '8', '8', 'a'}, Bytes{0x0A, 0x01}, Bytes{0x0A, 0x04},
                               Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x00}, Bytes{0x01, 0x00, 0x09, 0x00, 0x01},
                               Bytes{0x00, 0x01}, Bytes{'B', 'm'}})
        EXPECT_EQ(GuessMemory(Padded(start)), Format::Unknown) << int{start[0]} << ' ' << int{start[1]};
}

TEST(GuessFormat, JpegWithoutJfifMarkerIsRecognisedByTheSecondSignature) {
    EXPECT_EQ(GuessMemory(Padded({0xFF, 0xD8, 0xFF, 0xE1})), Format::Jpeg);
    EXPECT_EQ(GuessMemory(Padded({0xFF, 0xD8, 0xFF, 0xDB})), Format::Jpeg);
}

TEST(GuessFormat, EnhancedMetafileTagAtOffsetFortyIsCheckedInTableOrder) {
    Bytes emf = Padded({0x01, 0x00, 0x00, 0x00});
    std::copy_n(" EMF", 4, emf.begin() + 40);
    EXPECT_EQ(GuessMemory(emf), Format::EnhancedMetafile);
    // Signatures earlier in the table win over the tag...
    emf[0] = 'B';
    emf[1] = 'M';
    EXPECT_EQ(GuessMemory(emf), Format::Bmp);
    // ...and the tag wins over 00 00, which comes last.
    emf[0] = emf[1] = 0;
    EXPECT_EQ(GuessMemory(emf), Format::EnhancedMetafile);
}

TEST(GuessFormat, ShortSourcesMatchWhatFitsAndEmptyOnesFail) {
    EXPECT_EQ(GuessMemory({'B', 'M'}), Format::Bmp);
    EXPECT_EQ(GuessMemory({'B'}), Format::Unknown);
    EXPECT_EQ(GuessMemory({}), Format::Unknown);
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::FileRead));
}

TEST(GuessFormat, LooksAtTheStartWhateverThePositionAndLeavesItAlone) {
    const Bytes bmp = Padded({'B', 'M'});
    auto source = OpenMemorySource(bmp);
    source->Seek(10);
    EXPECT_EQ(GuessFormat(*source), Format::Bmp);
    EXPECT_EQ(source->Position(), 10u);
}

TEST(GuessFormat, FileNamedTgaTurnsCodeThirteenIntoTga) {
    TempDir dir;
    const Bytes zeroZero = Padded({0x00, 0x00});
    EXPECT_EQ(GuessFile(dir, "x.tga", zeroZero), Format::Tga);
    EXPECT_EQ(GuessFile(dir, "Y.TgA", zeroZero), Format::Tga);
    EXPECT_EQ(GuessFile(dir, "x.wbmp", zeroZero), Format::WbmpOrTga);
    EXPECT_EQ(GuessFile(dir, "x.wbm", zeroZero), Format::WbmpOrTga);
    EXPECT_EQ(GuessFile(dir, "x.bmp", zeroZero), Format::WbmpOrTga);
    EXPECT_EQ(GuessFile(dir, "tga", zeroZero), Format::WbmpOrTga);
    // Only code 13 looks at the name.
    EXPECT_EQ(GuessFile(dir, "z.tga", Padded({'B', 'M'})), Format::Bmp);
}

} // namespace
} // namespace showsaver::codec
