// PCX reader, beyond the variants ImageMagick writes (MagickComparisonTests):
// hand-built files (1, 2 and 4-bit, 1-bit planes, padded lines, raw data,
// runs across lines), compared with ImageMagick where it reads them the
// same way, and broken files, which fail with code 22.

#include "CodecTestSupport.h"

#include <algorithm>
#include <random>
#include <string>

#include "codec/PcxRle.h"

namespace showsaver::codec {
namespace {

using testing::Bytes;
using testing::TempDir;

// --- Hand-built files -----------------------------------------------------------

struct PcxBuilder {
    int width = 1;
    int height = 1;
    int bits = 8;
    int planes = 1;
    int bytesPerLine = 0; // 0: just enough for the width
    int encoding = 1;
    Bytes headerPalette; // up to 48 bytes
    Bytes lines;         // height × planes × bytesPerLine, unencoded
    Bytes trailer;       // 768 bytes, written after 0x0C when present

    int LineBytes() const { return bytesPerLine ? bytesPerLine : (width * bits + 7) / 8; }

    // RLE: runs of equal bytes, within the whole stream (crossing lines).
    Bytes Encode() const {
        if (encoding == 0) return lines;
        Bytes out;
        for (size_t i = 0; i < lines.size();) {
            size_t run = 1;
            while (i + run < lines.size() && run < 63 && lines[i + run] == lines[i]) ++run;
            if (run > 1 || lines[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
            out.push_back(lines[i]);
            i += run;
        }
        return out;
    }

    Bytes Build() const {
        Bytes b(128, 0);
        b[0] = 0x0A;
        b[1] = 5;
        b[2] = static_cast<uint8_t>(encoding);
        b[3] = static_cast<uint8_t>(bits);
        b[8] = static_cast<uint8_t>(width - 1);
        b[9] = static_cast<uint8_t>((width - 1) >> 8);
        b[10] = static_cast<uint8_t>(height - 1);
        b[11] = static_cast<uint8_t>((height - 1) >> 8);
        std::copy(headerPalette.begin(), headerPalette.end(), b.begin() + 16);
        b[65] = static_cast<uint8_t>(planes);
        b[66] = static_cast<uint8_t>(LineBytes());
        b[67] = static_cast<uint8_t>(LineBytes() >> 8);
        b[68] = 1;
        const Bytes data = Encode();
        b.insert(b.end(), data.begin(), data.end());
        if (!trailer.empty()) {
            b.push_back(0x0C);
            b.insert(b.end(), trailer.begin(), trailer.end());
        }
        return b;
    }
};

std::optional<RgbImage> Decode(const Bytes& bytes) { return testing::ReadMemory(ReadPcx, bytes); }

// Header palette: red, green, blue, yellow, then 12 greys 16, 32, ...
Bytes HeaderPalette() {
    Bytes p{255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
    for (int i = 4; i < 16; ++i) p.insert(p.end(), 3, static_cast<uint8_t>(16 * i));
    return p;
}

// Decodes `pcx` and expects `expected`; when ImageMagick is there and reads
// such files the same way, also expects its decoding to agree.
void ExpectPixels(const PcxBuilder& pcx, const Bytes& expected, bool magickAgrees) {
    const Bytes file = pcx.Build();
    auto image = Decode(file);
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_EQ(image->Width(), pcx.width);
    EXPECT_TRUE(testing::SamePixels(*image, expected));
    if (!magickAgrees || !testing::HaveProgram("convert")) return;
    TempDir dir;
    testing::WriteBytes(dir / "hand.pcx", file);
    auto magick = testing::MagickRgb(dir / "hand.pcx");
    ASSERT_TRUE(magick);
    EXPECT_TRUE(testing::SamePixels(*image, *magick)) << "against ImageMagick";
}

const Bytes kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PcxReader, TwoBitPixelsUseTheHeaderPalette) {
    PcxBuilder pcx;
    pcx.width = 5;
    pcx.height = 2;
    pcx.bits = 2;
    pcx.bytesPerLine = 2;
    pcx.headerPalette = HeaderPalette();
    pcx.lines = {0b00011011, 0b00000000, 0b11100100, 0b11000000};
    ExpectPixels(pcx, Cat({kRed, kGreen, kBlue, kYellow, kRed, kYellow, kBlue, kGreen, kRed, kYellow}), true);
}

TEST(PcxReader, FourBitPixelsInOnePlane) {
    PcxBuilder pcx;
    pcx.width = 3;
    pcx.bits = 4;
    pcx.bytesPerLine = 2;
    pcx.headerPalette = HeaderPalette();
    pcx.lines = {0x03, 0xF0};
    ExpectPixels(pcx, Cat({kRed, kYellow, Bytes(3, 240)}), true);
}

TEST(PcxReader, OneBitPlanesFormTheIndexLowPlaneFirst) {
    for (int planes : {2, 3, 4}) {
        PcxBuilder pcx;
        pcx.width = 4;
        pcx.bits = 1;
        pcx.planes = planes;
        pcx.bytesPerLine = 2;
        pcx.headerPalette = HeaderPalette();
        // Plane 0: 1010, plane 1: 0110, planes 2 and 3: 0001.
        const Bytes planeBits[] = {{0b10100000, 0}, {0b01100000, 0}, {0b00010000, 0}, {0b00010000, 0}};
        for (int p = 0; p < planes; ++p) pcx.lines.insert(pcx.lines.end(), planeBits[p].begin(), planeBits[p].end());
        // The last pixel is index 0 (red), 4 (grey 64) or 4 + 8 (grey 192).
        const Bytes last[] = {kRed, Bytes(3, 64), Bytes(3, 192)};
        ExpectPixels(pcx, Cat({kGreen, kBlue, kYellow, last[planes - 2]}), true);
    }
}

TEST(PcxReader, SingleOneBitPlaneIsBlackAndWhiteWhateverThePalette) {
    PcxBuilder pcx;
    pcx.width = 10;
    pcx.bits = 1;
    pcx.bytesPerLine = 2;
    pcx.headerPalette = HeaderPalette(); // ignored
    pcx.lines = {0b10110000, 0b01000000};
    const Bytes k(3, 0), w(3, 255);
    // (ImageMagick shows such files inverted; 1 is white in the format.)
    ExpectPixels(pcx, Cat({w, k, w, w, k, k, k, k, k, w}), false);
}

TEST(PcxReader, EightBitsWithoutTrailerAreAGreyRamp) {
    PcxBuilder pcx;
    pcx.width = 3;
    pcx.lines = {0, 0x7F, 0xFE};
    ExpectPixels(pcx, Cat({Bytes(3, 0), Bytes(3, 0x7F), Bytes(3, 0xFE)}), false);
}

TEST(PcxReader, EightBitsWithTrailerPalette) {
    PcxBuilder pcx;
    pcx.width = 2;
    pcx.height = 2;
    pcx.lines = {0, 1, 255, 0xC5};
    pcx.trailer.assign(768, 0);
    for (int i = 0; i < 256; ++i) pcx.trailer[3 * static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    ExpectPixels(pcx, Cat({kRed, Bytes{254, 0, 0}, Bytes(3, 0), Bytes{255 - 0xC5, 0, 0}}), true);
}

TEST(PcxReader, PaddingBeyondTheWidthIsIgnored) {
    PcxBuilder pcx;
    pcx.width = 3;
    pcx.height = 2;
    pcx.planes = 3;
    pcx.bytesPerLine = 5; // odd, and two bytes of padding per plane
    pcx.lines = {
        1, 2, 3, 99, 99, 4, 5, 6, 99, 99, 7, 8, 9, 99, 99,                  // row 0: R, G, B planes
        10, 11, 12, 99, 99, 13, 14, 15, 99, 99, 16, 17, 18, 99, 99,         // row 1
    };
    ExpectPixels(pcx, {1, 4, 7, 2, 5, 8, 3, 6, 9, 10, 13, 16, 11, 14, 17, 12, 15, 18}, true);
}

TEST(PcxReader, RawDataAndRunsAcrossLines) {
    PcxBuilder pcx;
    pcx.width = 4;
    pcx.height = 3;
    pcx.lines.assign(12, 0x2A); // one run over all three lines when encoded
    pcx.lines[11] = 0xD0;       // a literal that needs the run form
    const Bytes expected = Cat({Bytes(33, 0x2A), Bytes(3, 0xD0)});
    ExpectPixels(pcx, expected, false);
    EXPECT_LT(pcx.Build().size(), 128u + 5u); // really crossed lines
    pcx.encoding = 0;
    ExpectPixels(pcx, expected, false);
}

TEST(PcxReader, ZeroLengthRunsAreSkipped) {
    PcxBuilder pcx;
    pcx.width = 2;
    Bytes file = pcx.Build();
    file.resize(128);
    file.insert(file.end(), {0xC0, 0x11, 0x21, 0x22});
    auto image = Decode(file);
    ASSERT_TRUE(image) << LastErrorDetail();
    EXPECT_TRUE(testing::SamePixels(*image, Cat({Bytes(3, 0x21), Bytes(3, 0x22)})));
}

// Lines of every width around the reader's block sizes, mixing literals,
// bytes that need the run form, runs of every length and runs that cross
// lines, decode to the pixels they were made from.
TEST(PcxReader, RandomRunsDecodeToTheirLines) {
    std::mt19937 random(24);
    for (int width : {1, 2, 15, 16, 17, 31, 63, 64, 65, 79, 80, 81, 127, 200, 333}) {
        PcxBuilder pcx;
        pcx.width = width;
        pcx.height = 5;
        pcx.planes = 3;
        const size_t total = static_cast<size_t>(width) * 3 * 5;
        while (pcx.lines.size() < total) {
            const auto value = static_cast<uint8_t>(random());
            const size_t length = random() % 4 == 0 ? 1 + random() % 70 : 1;
            pcx.lines.insert(pcx.lines.end(), std::min(length, total - pcx.lines.size()), value);
        }
        Bytes expected;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < width; ++x)
                for (int plane = 0; plane < 3; ++plane)
                    expected.push_back(pcx.lines[(static_cast<size_t>(y) * 3 + static_cast<size_t>(plane)) * width + x]);
        SCOPED_TRACE(width);
        ExpectPixels(pcx, expected, false);
    }
}

// --- Run expansion kernels ----------------------------------------------------

// A plain reading of a whole RLE stream: its bytes, and whether it ends in
// a head without its value.
struct PlainExpansion {
    Bytes bytes;
    bool cutShort = false;
};

PlainExpansion ExpandPlainly(const Bytes& stream) {
    PlainExpansion result;
    for (size_t i = 0; i < stream.size(); ++i) {
        if (stream[i] < 0xC0) {
            result.bytes.push_back(stream[i]);
        } else if (i + 1 == stream.size()) {
            result.cutShort = true;
        } else {
            result.bytes.insert(result.bytes.end(), stream[i] & 0x3Fu, stream[i + 1]);
            ++i;
        }
    }
    return result;
}

// Random streams of a given mix of run lengths; values of C0 and above
// (which need a head) make long stretches of head-like bytes.
Bytes RandomStream(std::mt19937& random, size_t tokens, int headPercent, int maxLength, int highPercent) {
    Bytes stream;
    for (size_t t = 0; t < tokens; ++t) {
        const bool high = static_cast<int>(random() % 100) < highPercent;
        const auto value = static_cast<uint8_t>(high ? 0xC0 + random() % 64 : random() % 0xC0);
        if (high || static_cast<int>(random() % 100) < headPercent)
            stream.push_back(static_cast<uint8_t>(0xC0 | random() % (maxLength + 1)));
        stream.push_back(value);
    }
    return stream;
}

// Both kernels read random streams line by line, for many line lengths and
// cut at random places, exactly as the plain reading says: the same bytes,
// runs carried across lines, and the same error where the data runs out.
// Beside them, streams whose short runs end the first or the fourth of the
// wide kernel's 64-byte blocks just before a long run.
TEST(PcxRle, KernelsReadRandomStreamsAsAPlainLoopDoes) {
    std::vector<detail::RleKernel> kernels{detail::RleKernel::Portable};
    if (detail::FastestRleKernel() != detail::RleKernel::Portable) kernels.push_back(detail::FastestRleKernel());
    auto expectPlainReading = [&](const Bytes& stream, size_t lineSize) {
        const PlainExpansion plain = ExpandPlainly(stream);
        for (auto kernel : kernels) {
            SCOPED_TRACE(::testing::Message() << "line " << lineSize << ", kernel " << static_cast<int>(kernel));
            detail::RleLineReader reader(stream, true, kernel);
            Bytes buffer(lineSize + detail::RleLineReader::kSlack);
            size_t done = 0;
            for (; done + lineSize <= plain.bytes.size(); done += lineSize) {
                ASSERT_TRUE(reader.Next(std::span(buffer.data(), lineSize)));
                ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(lineSize),
                                       plain.bytes.begin() + static_cast<ptrdiff_t>(done)))
                    << "line " << done / lineSize;
            }
            const auto status = reader.Next(std::span(buffer.data(), lineSize));
            ASSERT_FALSE(status);
            EXPECT_EQ(std::string(status.Error().what), plain.cutShort ? "an RLE run is cut short"
                                                                        : "the pixel data ends before the picture does");
        }
    };

    struct Mix {
        int headPercent, maxLength, highPercent;
    };
    // Among them: runs of at most 5 (the odd long one amid short ones), and
    // nothing but heads (a stretch of head-like bytes longer than a block).
    const Mix mixes[] = {{5, 2, 25}, {10, 4, 20}, {30, 4, 5}, {3, 63, 10}, {40, 63, 40},
                         {0, 1, 90}, {2, 3, 0},   {50, 5, 30}, {0, 4, 100}};
    std::mt19937 random(31);
    for (const Mix& mix : mixes)
        for (size_t lineSize : {1, 3, 62, 63, 64, 65, 129, 700, 5760}) {
            Bytes stream = RandomStream(random, 3000, mix.headPercent, mix.maxLength, mix.highPercent);
            if (random() % 2) stream.resize(random() % stream.size());
            SCOPED_TRACE(::testing::Message() << "mix " << (&mix - mixes));
            expectPlainReading(stream, lineSize);
        }

    for (size_t literals = 56; literals <= 264; literals += literals == 72 ? 176 : 1)
        for (uint8_t length = 0; length <= 4; ++length)
            for (size_t gap : {0, 20, 70}) {
                Bytes stream(literals, 0x11);
                stream.insert(stream.end(), {static_cast<uint8_t>(0xC0 | length), 0x22});
                stream.insert(stream.end(), gap, 0x33);
                stream.insert(stream.end(), {0xC5, 0x44});
                stream.insert(stream.end(), 600, 0x55);
                SCOPED_TRACE(::testing::Message() << literals << " literals, a run of " << int{length} << ", " << gap);
                for (size_t lineSize : {1, 64, 200, 700}) expectPlainReading(stream, lineSize);
            }
}

// --- Broken files -------------------------------------------------------------

void ExpectFails(const Bytes& bytes, const char* what) {
    EXPECT_FALSE(Decode(bytes)) << what;
    EXPECT_EQ(LastError(), static_cast<int>(ErrorCode::BadPcx)) << what;
}

PcxBuilder Small() {
    PcxBuilder pcx;
    pcx.width = 8;
    pcx.height = 8;
    pcx.planes = 3;
    for (int i = 0; i < 8 * 8 * 3; ++i) pcx.lines.push_back(static_cast<uint8_t>(i % 50));
    return pcx;
}

TEST(PcxReaderRefuses, TruncatedFiles) {
    const Bytes whole = Small().Build();
    for (size_t size : {size_t{0}, size_t{64}, size_t{127}, size_t{128}, whole.size() - 1})
        ExpectFails(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size)), "truncated");
    PcxBuilder pcx;
    pcx.width = 2;
    Bytes cutRun = pcx.Build();
    cutRun.insert(cutRun.end(), {0x21, 0xC3}); // a run without its value
    ExpectFails(cutRun, "a run cut short");
}

TEST(PcxReaderRefuses, MalformedHeaders) {
    auto expect = [](auto&& change, const char* what) {
        Bytes b = Small().Build();
        change(b);
        ExpectFails(b, what);
    };
    expect([](Bytes& b) { b[0] = 0x0B; }, "manufacturer");
    expect([](Bytes& b) { b[2] = 2; }, "encoding");
    expect([](Bytes& b) { b[3] = 3; }, "three bits");
    expect([](Bytes& b) { b[65] = 2; }, "two 8-bit planes");
    expect([](Bytes& b) { b[65] = 0; }, "no planes");
    expect([](Bytes& b) { b[65] = 5; }, "five planes");
    expect([](Bytes& b) { b[66] = 7; }, "bytes per line below the width");
    expect([](Bytes& b) { b[4] = 9; }, "xMin beyond xMax");
    expect([](Bytes& b) { b[6] = 9; }, "yMin beyond yMax");
}

TEST(PcxReaderRefuses, HugeWindowInASmallFile) {
    Bytes b = Small().Build();
    b[8] = 0xFE; // 65535 × 65536
    b[9] = b[10] = b[11] = 0xFF;
    b[66] = b[67] = 0xFF;
    ExpectFails(b, "65535 x 65536");
}

} // namespace
} // namespace showsaver::codec
