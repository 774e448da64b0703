// BMP reader, beyond the variants ImageMagick writes (MagickComparisonTests):
// hand-built files for what it does not write (RLE4, top-down, 2-bit,
// BI_RGB 16 and 32 bits, masks after a 40-byte header, RLE escapes), and
// broken files, which must fail with code 6 or 7.

#include "CodecTestSupport.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}

// Builds a BMP with a 40-byte info header (or the 12-byte OS/2 one).
struct BmpBuilder {
    int32_t width = 1;
    int32_t height = 1;
    int bits = 24;
    uint32_t compression = 0;
    Bytes extra;   // masks after the header
    Bytes palette; // 4 bytes per entry (3 for OS/2)
    Bytes pixels;
    bool core = false;
    uint32_t colorsUsed = 0;

    Bytes Build() const {
        const size_t headerSize = core ? 12 : 40;
        const size_t offset = 14 + headerSize + extra.size() + palette.size();
        Bytes b(offset);
        b[0] = 'B';
        b[1] = 'M';
        Put32(b, 2, static_cast<uint32_t>(offset + pixels.size()));
        Put32(b, 10, static_cast<uint32_t>(offset));
        Put32(b, 14, static_cast<uint32_t>(headerSize));
        if (core) {
            Put16(b, 18, static_cast<uint32_t>(width));
            Put16(b, 20, static_cast<uint32_t>(height));
            Put16(b, 22, 1);
            Put16(b, 24, static_cast<uint32_t>(bits));
        } else {
            Put32(b, 18, static_cast<uint32_t>(width));
            Put32(b, 22, static_cast<uint32_t>(height));
            Put16(b, 26, 1);
            Put16(b, 28, static_cast<uint32_t>(bits));
            Put32(b, 30, compression);
            Put32(b, 34, static_cast<uint32_t>(pixels.size()));
            Put32(b, 46, colorsUsed);
        }
        std::copy(extra.begin(), extra.end(), b.begin() + 14 + static_cast<ptrdiff_t>(headerSize));
        std::copy(palette.begin(), palette.end(), b.end() - static_cast<ptrdiff_t>(palette.size()));
        b.insert(b.end(), pixels.begin(), pixels.end());
        return b;
    }
};

// Palette entries are stored B, G, R, 0.
const Bytes kFourColours = {0, 0, 0, 0, /*red*/ 0, 0, 255, 0, /*green*/ 0, 255, 0, 0, /*blue*/ 255, 0, 0, 0};
constexpr uint8_t K = 0, R = 1, G = 2, B = 3;
// Expected pixels by palette index.
Bytes Expect(std::initializer_list<uint8_t> indexes) {
    static const uint8_t rgb[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    Bytes out;
    for (uint8_t i : indexes) out.insert(out.end(), rgb[i], rgb[i] + 3);
    return out;
}

std::optional<RgbImage> Decode(const Bytes& bytes) { return testing::ReadMemory(ReadBmp, bytes); }

void ExpectFails(const Bytes& bytes, ErrorCode code, const char* what) {
    EXPECT_FALSE(Decode(bytes)) << what;
    EXPECT_EQ(LastError(), static_cast<int>(code)) << what;
}

// --- Hand-built variants ----------------------------------------------------

TEST(BmpReader, RowsAreBottomUpUnlessTheHeightIsNegative) {
    BmpBuilder bmp;
    bmp.width = 1;
    bmp.height = 2;
    bmp.pixels = {255, 0, 0, 0, /*second row*/ 0, 0, 255, 0}; // blue, then red
    auto bottomUp = Decode(bmp.Build());
    ASSERT_TRUE(bottomUp);
    EXPECT_TRUE(testing::SamePixels(*bottomUp, Bytes{255, 0, 0, 0, 0, 255}));
    bmp.height = -2;
    auto topDown = Decode(bmp.Build());
    ASSERT_TRUE(topDown);
    EXPECT_TRUE(testing::SamePixels(*topDown, Bytes{0, 0, 255, 255, 0, 0}));
}

TEST(BmpReader, RowsArePaddedToFourBytes) {
    BmpBuilder bmp;
    bmp.width = 3;
    bmp.height = 2;
    bmp.bits = 8;
    bmp.palette = kFourColours;
    bmp.pixels = {R, G, B, 0xEE, /*top row*/ B, K, R, 0xEE};
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image);
    EXPECT_TRUE(testing::SamePixels(*image, Expect({B, K, R, R, G, B})));
}

TEST(BmpReader, TwoBitPixelsAndIndexesPastTheUsedColoursAreBlack) {
    BmpBuilder bmp;
    bmp.width = 5;
    bmp.bits = 2;
    bmp.colorsUsed = 3;
    bmp.palette = Bytes(kFourColours.begin(), kFourColours.begin() + 12);
    bmp.pixels = {0b01101100, 0b01000000, 0, 0}; // 1 2 3 0 1
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image);
    EXPECT_TRUE(testing::SamePixels(*image, Expect({R, G, K, K, R})));
}

TEST(BmpReader, SixteenAndThirtyTwoBitsWithoutMasksAre555And888) {
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.bits = 16;
    bmp.pixels = {0x00, 0x7C, 0xEF, 0x3D}; // 31,0,0 and 15,15,15
    auto sixteen = Decode(bmp.Build());
    ASSERT_TRUE(sixteen);
    EXPECT_TRUE(testing::SamePixels(*sixteen, Bytes{255, 0, 0, 123, 123, 123}));

    bmp.bits = 32;
    bmp.pixels = {1, 2, 3, 99, 4, 5, 6, 0};
    auto thirtyTwo = Decode(bmp.Build());
    ASSERT_TRUE(thirtyTwo);
    EXPECT_TRUE(testing::SamePixels(*thirtyTwo, Bytes{3, 2, 1, 6, 5, 4}));
}

TEST(BmpReader, MasksAfterAFortyByteHeaderAreHonoured) {
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.bits = 32;
    bmp.compression = 3;
    // Red in the low byte, green next, blue in bits 16..25 (10 bits wide).
    bmp.extra = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0x03};
    bmp.pixels = {10, 20, 0xFF, 0x03, 1, 2, 0, 0x02};
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Bytes{10, 20, 255, 1, 2, 128}));
}

TEST(BmpReader, CoreHeaderWithThreeBytePaletteEntries) {
    BmpBuilder bmp;
    bmp.core = true;
    bmp.width = 2;
    bmp.height = 1;
    bmp.bits = 8;
    bmp.palette = {0, 0, 0, 0, 0, 255, 0, 255, 0}; // black, red, green
    bmp.pixels = {2, 1, 0, 0};
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Expect({G, R})));
}

TEST(BmpReader, Rle8RunsLiteralsDeltaEndOfLineAndEndOfBitmap) {
    BmpBuilder bmp;
    bmp.width = 6;
    bmp.height = 4;
    bmp.bits = 8;
    bmp.compression = 1;
    bmp.palette = kFourColours;
    bmp.pixels = {
        3, R, 0, 3, G, B, G, 0, // bottom row: R R R, literal G B G (padded)
        0, 0,                   // end of line
        2, B, 0, 2, 2, 1,       // B B, then move 2 right and 1 up
        2, G, 9, R,             // G G at x 4 of the third row, and a run past the end (clipped)
        0, 1,                   // end of bitmap: the top row stays black
    };
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Expect({K, K, K, K, K, K,  //
                                                    K, K, K, K, G, G,  //
                                                    B, B, K, K, K, K,  //
                                                    R, R, R, G, B, G})));
}

TEST(BmpReader, Rle4AlternatesNibblesInRunsAndLiterals) {
    BmpBuilder bmp;
    bmp.width = 7;
    bmp.height = 2;
    bmp.bits = 4;
    bmp.compression = 2;
    bmp.palette = kFourColours;
    bmp.pixels = {
        5, 0x12, 0, 0,          // bottom row: R G R G R
        0, 3, 0x31, 0x20,       // top row: literal B R G (2 bytes, already a whole word)
        4, 0x33,                // B B B B
        0, 1,
    };
    // ImageMagick refuses RLE data shorter than the rows it would hold
    // uncompressed; bytes after the end marker are ignored by both readers.
    bmp.pixels.resize(bmp.pixels.size() + 64, 0);
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Expect({B, R, G, B, B, B, B,  //
                                                    R, G, R, G, R, K, K})));
    if (!testing::HaveProgram("convert")) return;
    TempDir dir;
    testing::WriteBytes(dir / "rle4.bmp", bmp.Build());
    auto magick = testing::MagickRgb(dir / "rle4.bmp");
    ASSERT_TRUE(magick);
    EXPECT_TRUE(testing::SamePixels(*image, *magick));
}

TEST(BmpReader, RleWithoutEndMarkerIsAcceptedOnceTheLastRowIsReached) {
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.bits = 8;
    bmp.compression = 1;
    bmp.palette = kFourColours;
    bmp.pixels = {2, R, 0, 0, 1, G};
    auto image = Decode(bmp.Build());
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Expect({G, K, R, R})));
}

// --- Broken files -----------------------------------------------------------

BmpBuilder Small24() {
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.pixels = Bytes(16, 0x40);
    return bmp;
}

TEST(BmpReaderRefuses, TruncatedFiles) {
    const Bytes whole = Small24().Build();
    for (size_t size : {size_t{0}, size_t{2}, size_t{17}, size_t{30}, size_t{54}, whole.size() - 3})
        ExpectFails(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size)), ErrorCode::BadBmp, "truncated");
}

TEST(BmpReaderRefuses, HugeSizesAnnouncedByASmallFile) {
    BmpBuilder bmp = Small24();
    bmp.width = 100000;
    bmp.height = 100000;
    bmp.pixels.resize(1000);
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "uncompressed");
    bmp.bits = 8;
    bmp.compression = 1;
    bmp.palette = kFourColours;
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "RLE8");
    bmp.height = -2147483647;
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "most negative height");
}

TEST(BmpReaderRefuses, MalformedHeaders) {
    auto expect = [](BmpBuilder bmp, auto&& change, ErrorCode code, const char* what) {
        Bytes b = bmp.Build();
        change(b);
        ExpectFails(b, code, what);
    };
    const BmpBuilder bmp = Small24();
    expect(bmp, [](Bytes& b) { b[1] = 'X'; }, ErrorCode::BadBmp, "signature");
    expect(bmp, [](Bytes& b) { Put32(b, 14, 20); }, ErrorCode::BadBmp, "header size 20");
    expect(bmp, [](Bytes& b) { Put32(b, 14, 0xFFFFFFF0); }, ErrorCode::BadBmp, "header size past the end");
    expect(bmp, [](Bytes& b) { Put16(b, 26, 2); }, ErrorCode::BadBmp, "two planes");
    expect(bmp, [](Bytes& b) { Put16(b, 28, 7); }, ErrorCode::BadBmp, "seven bits");
    expect(bmp, [](Bytes& b) { Put32(b, 18, 0); }, ErrorCode::BadBmp, "zero width");
    expect(bmp, [](Bytes& b) { Put32(b, 18, 0x80000000); }, ErrorCode::BadBmp, "negative width");
    expect(bmp, [](Bytes& b) { Put32(b, 10, 5000); }, ErrorCode::BadBmp, "pixels past the end");
    expect(bmp, [](Bytes& b) { Put32(b, 30, 1); }, ErrorCode::BadBmp, "RLE8 with 24 bits");
    expect(bmp, [](Bytes& b) { Put32(b, 30, 4); }, ErrorCode::UnsupportedCompression, "JPEG inside");
    expect(bmp, [](Bytes& b) { Put32(b, 30, 5); }, ErrorCode::UnsupportedCompression, "PNG inside");
    expect(bmp, [](Bytes& b) { Put32(b, 30, 77); }, ErrorCode::UnsupportedCompression, "unknown compression");
}

TEST(BmpReaderRefuses, NonContiguousMasks) {
    BmpBuilder bmp;
    bmp.bits = 16;
    bmp.compression = 3;
    bmp.extra = {0x0F, 0xF0, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    bmp.pixels = {0, 0, 0, 0};
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "gap in the red mask");
}

TEST(BmpReaderRefuses, RleDataThatEndsEarly) {
    BmpBuilder bmp;
    bmp.width = 4;
    bmp.height = 3;
    bmp.bits = 8;
    bmp.compression = 1;
    bmp.palette = kFourColours;
    bmp.pixels = {4, R, 0, 0};
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "two rows missing");
    bmp.pixels = {0, 5, R, G};
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "literal run cut short");
    bmp.pixels = {0, 2, 1};
    ExpectFails(bmp.Build(), ErrorCode::BadBmp, "delta cut short");
}

} // namespace
} // namespace showsaver::codec
