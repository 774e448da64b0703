// TGA reader, beyond the variants ImageMagick writes (MagickComparisonTests):
// hand-built files for colour maps of 15 and 32 bits, 16-bit indexes, all
// origin corners, grey with alpha and RLE packets across rows (compared
// with ImageMagick's -auto-orient decoding where it reads them the same
// way), and broken files, which fail with code 32.

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

const std::vector<std::string> kAutoOrient{"-auto-orient"};

// --- Hand-built files -----------------------------------------------------------

struct TgaBuilder {
    uint8_t type = 2;
    int width = 1;
    int height = 1;
    int bits = 24;
    uint8_t descriptor = 0;
    Bytes id;
    bool hasMap = false;
    int mapFirst = 0;
    int mapBits = 24;
    Bytes map; // entries as stored
    Bytes data;

    Bytes Build() const {
        const int entryBytes = (mapBits + 7) / 8;
        const int mapLength = hasMap ? static_cast<int>(map.size()) / entryBytes : 0;
        Bytes b{static_cast<uint8_t>(id.size()), static_cast<uint8_t>(hasMap ? 1 : 0), type,
                static_cast<uint8_t>(mapFirst), static_cast<uint8_t>(mapFirst >> 8),
                static_cast<uint8_t>(mapLength), static_cast<uint8_t>(mapLength >> 8),
                static_cast<uint8_t>(hasMap ? mapBits : 0), 0, 0, 0, 0,
                static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                static_cast<uint8_t>(bits), descriptor};
        b.insert(b.end(), id.begin(), id.end());
        b.insert(b.end(), map.begin(), map.end());
        b.insert(b.end(), data.begin(), data.end());
        return b;
    }
};

std::optional<RgbImage> Decode(const Bytes& bytes) { return testing::ReadMemory(ReadTga, bytes); }

void ExpectPixels(const TgaBuilder& tga, const Bytes& expected, bool magickAgrees, int magickTolerance = 0) {
    const Bytes file = tga.Build();
    auto image = Decode(file);
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_EQ(image->Width(), tga.width);
    EXPECT_EQ(image->Height(), tga.height);
    EXPECT_TRUE(testing::SamePixels(*image, expected));
    if (!magickAgrees || !testing::HaveProgram("convert")) return;
    TempDir dir;
    testing::WriteBytes(dir / "hand.tga", file);
    auto magick = testing::MagickRgb(dir / "hand.tga", kAutoOrient);
    ASSERT_TRUE(magick);
    EXPECT_TRUE(testing::SamePixels(*image, *magick, magickTolerance)) << "against ImageMagick";
}

// 15-bit A RRRRR GGGGG BBBBB, little-endian.
Bytes Pixel555(int r, int g, int b) {
    const int v = r << 10 | g << 5 | b;
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(TgaReader, FifteenBitColourMap) {
    TgaBuilder tga;
    tga.type = 1;
    tga.width = 4;
    tga.bits = 8;
    tga.hasMap = true;
    tga.mapBits = 15;
    tga.map = Cat({Pixel555(31, 0, 0), Pixel555(0, 31, 0), Pixel555(16, 8, 1), Pixel555(0, 0, 0)});
    tga.data = {0, 1, 2, 3};
    ExpectPixels(tga, {255, 0, 0, 0, 255, 0, 132, 66, 8, 0, 0, 0}, true, 1);
}

TEST(TgaReader, SixteenBitIndexesFromAMapNotStartingAtZero) {
    TgaBuilder tga;
    tga.type = 1;
    tga.width = 4;
    tga.bits = 16;
    tga.hasMap = true;
    tga.mapFirst = 300;
    tga.mapBits = 32;
    tga.map = {1, 2, 3, 0, /*301*/ 4, 5, 6, 255};
    tga.data = {0x2C, 0x01, 0x2D, 0x01, /*below*/ 0x2B, 0x01, /*past*/ 0x2E, 0x01};
    ExpectPixels(tga, {3, 2, 1, 6, 5, 4, 0, 0, 0, 0, 0, 0}, false);
}

TEST(TgaReader, SixteenBitTrueColourIgnoresTheAttributeBit) {
    TgaBuilder tga;
    tga.width = 2;
    tga.bits = 16;
    Bytes withAttribute = Pixel555(31, 31, 31);
    withAttribute[1] |= 0x80;
    tga.data = Cat({withAttribute, Pixel555(1, 2, 3)});
    ExpectPixels(tga, {255, 255, 255, 8, 16, 24}, false);
}

TEST(TgaReader, OriginCornersFlipRowsAndColumns) {
    TgaBuilder tga;
    tga.width = 2;
    tga.height = 2;
    tga.data = {1, 1, 1, 2, 2, 2, /*second row in the file*/ 3, 3, 3, 4, 4, 4};
    const Bytes bottomLeft{3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2};
    const Bytes bottomRight{4, 4, 4, 3, 3, 3, 2, 2, 2, 1, 1, 1};
    const Bytes topLeft{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    const Bytes topRight{2, 2, 2, 1, 1, 1, 4, 4, 4, 3, 3, 3};
    ExpectPixels(tga, bottomLeft, true);
    tga.descriptor = 0x10;
    ExpectPixels(tga, bottomRight, true);
    tga.descriptor = 0x20;
    ExpectPixels(tga, topLeft, true);
    tga.descriptor = 0x30;
    ExpectPixels(tga, topRight, true);
}

TEST(TgaReader, RlePacketsCrossRowsAndMixRunsWithLiterals) {
    TgaBuilder tga;
    tga.type = 10;
    tga.width = 3;
    tga.height = 2;
    tga.descriptor = 0x20;
    tga.id = {'h', 'i'};
    tga.data = {0x83, 9, 8, 7, /*literal of 2*/ 0x01, 1, 2, 3, 4, 5, 6};
    ExpectPixels(tga, {7, 8, 9, 7, 8, 9, 7, 8, 9, 7, 8, 9, 3, 2, 1, 6, 5, 4}, true);
}

TEST(TgaReader, GreyWithAlphaDropsTheAlpha) {
    TgaBuilder tga;
    tga.type = 3;
    tga.width = 2;
    tga.bits = 16;
    tga.data = {10, 0, 200, 255};
    ExpectPixels(tga, {10, 10, 10, 200, 200, 200}, false);
}

TEST(TgaReader, MemoryBytesStartingWithZeroZeroAreRecognisedAndDecoded) {
    TgaBuilder tga;
    tga.width = 1;
    tga.data = {30, 20, 10};
    const Bytes file = tga.Build();
    ASSERT_EQ(file[0], 0);
    ASSERT_EQ(file[1], 0);
    auto source = OpenMemorySource(file);
    EXPECT_EQ(GuessFormat(*source), Format::WbmpOrTga);
    EXPECT_TRUE(Rewind(*source));
    auto image = ReadTga(*source);
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Bytes{10, 20, 30}));

    TempDir dir;
    testing::WriteBytes(dir / "x.wbmp", file);
    EXPECT_EQ(GuessFormat(*OpenFileSource(dir / "x.wbmp")), Format::WbmpOrTga);
    testing::WriteBytes(dir / "x.tga", file);
    EXPECT_EQ(GuessFormat(*OpenFileSource(dir / "x.tga")), Format::Tga);
}

// --- Broken files -------------------------------------------------------------

void ExpectFails(const Bytes& bytes, const char* what) {
    EXPECT_FALSE(Decode(bytes)) << what;
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadTga)) << what;
}

TgaBuilder Small(uint8_t type) {
    TgaBuilder tga;
    tga.type = type;
    tga.width = tga.height = 4;
    if (type == 10)
        tga.data = {0x8F, 1, 2, 3};
    else
        tga.data.assign(48, 7);
    return tga;
}

TEST(TgaReaderRefuses, TruncatedFiles) {
    for (uint8_t type : {uint8_t{2}, uint8_t{10}}) {
        const Bytes whole = Small(type).Build();
        ASSERT_TRUE(Decode(whole));
        for (size_t size : {size_t{0}, size_t{17}, size_t{18}, whole.size() - 1})
            ExpectFails(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size)), "truncated");
    }
    TgaBuilder rle = Small(10);
    rle.data = {0x07, 1, 2, 3, 4, 5, 6}; // a literal of 8 pixels with 2 present
    ExpectFails(rle.Build(), "literal packet cut short");
    TgaBuilder mapped = Small(1);
    mapped.bits = 8;
    mapped.hasMap = true;
    mapped.map = Bytes(30, 1);
    Bytes cutMap = mapped.Build();
    cutMap.resize(18 + 20);
    ExpectFails(cutMap, "colour map cut short");
}

TEST(TgaReaderRefuses, MalformedHeaders) {
    auto expect = [](TgaBuilder tga, auto&& change, const char* what) {
        change(tga);
        ExpectFails(tga.Build(), what);
    };
    const TgaBuilder raw = Small(2);
    expect(raw, [](TgaBuilder& t) { t.type = 0; }, "no image data");
    expect(raw, [](TgaBuilder& t) { t.type = 4; }, "type 4");
    expect(raw, [](TgaBuilder& t) { t.type = 32; }, "Huffman-coded type 32");
    expect(raw, [](TgaBuilder& t) { t.bits = 8; }, "8-bit true colour");
    expect(raw, [](TgaBuilder& t) { t.type = 3; t.bits = 24; }, "24-bit grey");
    expect(raw, [](TgaBuilder& t) { t.type = 1; t.bits = 8; }, "colour-mapped without a map");
    expect(raw, [](TgaBuilder& t) { t.hasMap = true; t.mapBits = 20; t.map = Bytes(6, 0); }, "20-bit map entries");
    expect(raw, [](TgaBuilder& t) { t.width = 0; }, "zero width");
}

TEST(TgaReaderRefuses, HugeSizesAnnouncedByASmallFile) {
    TgaBuilder tga = Small(2);
    tga.width = tga.height = 65535;
    ExpectFails(tga.Build(), "raw 65535 x 65535");
    tga = Small(10);
    tga.width = tga.height = 65535;
    ExpectFails(tga.Build(), "RLE 65535 x 65535");
}

} // namespace
} // namespace showsaver::codec
