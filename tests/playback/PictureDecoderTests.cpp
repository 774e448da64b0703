#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "playback/PictureDecoder.h"
#include "playback/PictureItem.h"
#include "support/FakePlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <unistd.h>

namespace showsaver {
namespace {

using testing::CollectingSink;

std::vector<uint8_t> BmpBytes(const codec::RgbImage& image) {
    auto path = std::filesystem::temp_directory_path() / ("showsaver-decoder-" + std::to_string(::getpid()) + ".bmp");
    EXPECT_TRUE(codec::WriteBmp(path, image));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(path);
    return bytes;
}

std::vector<uint8_t> BmpBytes(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    auto image = codec::RgbImage::Black(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.Row(y) + x * 3;
            p[0] = r, p[1] = g, p[2] = b;
        }
    return BmpBytes(image);
}

TEST(PictureDecoder, RefusesFormatsItDoesNotDecodeWithOneMessage) {
    CollectingSink sink;
    PictureDecoder decoder;
    std::string gif = "GIF89a\x01\x00\x01\x00";
    gfx::Size size;
    EXPECT_FALSE(decoder.MeasureImage({reinterpret_cast<const uint8_t*>(gif.data()), gif.size()}, sink, size));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, PictureDecoder::kUnsupportedFormat);
    // A broken BMP is not a format question: no message, only a failure.
    sink.messages.clear();
    std::string broken = "BM\x10\x00";
    EXPECT_FALSE(decoder.MeasureImage({reinterpret_cast<const uint8_t*>(broken.data()), broken.size()}, sink, size));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_FALSE(decoder.LastErrorText().empty());
}

TEST(PictureDecoder, DecodeToBitmapReportsTheDecodedSizeAndReleases) {
    CollectingSink sink;
    PictureDecoder decoder;
    auto bytes = BmpBytes(6, 4, 255, 0, 0);
    gfx::Size decoded;
    auto natural = decoder.DecodeToBitmap(bytes, sink, decoded, 0, 0);
    ASSERT_TRUE(natural);
    EXPECT_EQ(natural->Size(), (gfx::Size{6, 4}));
    EXPECT_EQ(decoded, (gfx::Size{6, 4}));
    EXPECT_EQ(natural->Pixel(5, 3), 0xFF0000u);
    EXPECT_TRUE(decoder.Image().Empty()) << "no pixels stay after the bitmap exists";

    auto scaled = decoder.DecodeToBitmap(bytes, sink, decoded, 12, 2);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->Size(), (gfx::Size{12, 2}));
    EXPECT_EQ(decoded, (gfx::Size{6, 4})) << "the size before resampling";

    // A photograph shown at a quarter of its size is decoded at that size,
    // but reports its own.
    auto photograph = std::filesystem::temp_directory_path() / ("showsaver-decoder-" + std::to_string(::getpid()) + ".jpg");
    ASSERT_TRUE(codec::WriteJpeg(photograph, codec::RgbImage::Black(64, 40), 90));
    std::ifstream in(photograph, std::ios::binary);
    std::vector<uint8_t> jpeg((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(photograph);
    auto quarter = decoder.DecodeToBitmap(jpeg, sink, decoded, 16, 10);
    ASSERT_TRUE(quarter);
    EXPECT_EQ(quarter->Size(), (gfx::Size{16, 10}));
    EXPECT_EQ(decoded, (gfx::Size{64, 40}));
    EXPECT_TRUE(decoder.Image().Empty());
}

// A picture of several megabytes becomes its bitmap while its decoded rows
// are given back: every pixel still arrives, the last rows as the first.
TEST(PictureDecoder, LargePictureArrivesWholeWhileItsRowsAreGivenBack) {
    constexpr int w = 1501, h = 1003;
    auto rgb = [](int x, int y) {
        return std::array<uint8_t, 3>{uint8_t(x), uint8_t(y), uint8_t(x * 7 + y * 13)};
    };
    auto image = codec::RgbImage::Black(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) std::copy_n(rgb(x, y).data(), 3, image.Row(y) + x * 3);
    CollectingSink sink;
    PictureDecoder decoder;
    gfx::Size decoded;
    auto bitmap = decoder.DecodeToBitmap(BmpBytes(image), sink, decoded, 0, 0);
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->Size(), (gfx::Size{w, h}));
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto [r, g, b] = rgb(x, y);
            wrong += bitmap->Pixel(x, y) != (uint32_t{r} << 16 | uint32_t{g} << 8 | b);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(decoder.Image().Empty());
}

TEST(PictureDecoder, TextToImageMeasuresLinesAndWidens) {
    PictureItem caption;
    caption.contentType = PictureItem::kText;
    caption.text = "One\r\nTwo lines";
    caption.font.SetFaceName("Arial");
    caption.font.height = -20;
    PictureDecoder decoder;
    ASSERT_TRUE(decoder.TextToImage(caption, {}));
    gfx::Size two = decoder.ImageSize();
    EXPECT_EQ(caption.font.quality & 3, 3) << "the quality gets 3 ORed in for good";
    ASSERT_TRUE(decoder.TextToImage(caption, "One"));
    gfx::Size one = decoder.ImageSize();
    EXPECT_EQ(two.height, 2 * one.height);
    EXPECT_GT(two.width, one.width);
    // A caption larger than any screen is refused, not allocated.
    caption.font.height = -4000;
    EXPECT_FALSE(decoder.TextToImage(caption, "Huge\r\nHuge\r\nHuge\r\nHuge\r\nHuge"));
    caption.font.height = -20;
    // Only line breaks measure nothing: no image.
    EXPECT_FALSE(decoder.TextToImage(caption, "\r\n"));
    caption.text.clear();
    EXPECT_FALSE(decoder.TextToImage(caption, {}));
}

TEST(PictureDecoder, DrawImageLeavesTheKeyColourTransparent) {
    PictureItem caption;
    caption.contentType = PictureItem::kText;
    caption.text = "X";
    caption.opaque = 0;
    caption.textColor = 0x0000FF;   // red
    caption.font.SetFaceName("Arial");
    caption.font.height = -30;
    PictureDecoder decoder;
    ASSERT_TRUE(decoder.TextToImage(caption, {}));
    auto screen = gfx::Surface::Create(60, 60);
    auto dc = gfx::SurfaceContext::ForScreen(screen);
    dc->FillSolid({0, 0, 60, 60}, 0x00FF00);
    ASSERT_TRUE(decoder.DrawImage(*dc, 5, 5, gfx::kWindowColor));
    int red = 0, green = 0, other = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            uint32_t p = screen->Pixel(x, y);
            (p == 0xFF0000u ? red : p == 0x00FF00u ? green : other)++;
        }
    EXPECT_GT(red, 20);
    EXPECT_GT(green, 3000) << "the caption's white background never shows";
    EXPECT_EQ(screen->Pixel(0, 0), 0x00FF00u);
    (void)other;
}

} // namespace
} // namespace showsaver
