// The records of older shows: fields present or absent by version.

#include "media/MediaItem.h"
#include "media/MediaPlayItem.h"
#include "playback/PictureItem.h"
#include "playback/PicturePlacement.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

// Reads `fill` with the given versions and checks every byte was used.
template <typename Read>
void ReadAll(const std::vector<uint8_t>& bytes, float format, float signatureB, Read read) {
    ShowReader reader(bytes);
    reader.SetVersions(format, signatureB);
    read(reader);
    EXPECT_FALSE(reader.Failed()) << reader.Error().what;
    EXPECT_EQ(reader.Remaining(), 0u) << "format " << format << ", B " << signatureB;
}

std::vector<uint8_t> Int32s(std::initializer_list<int32_t> values) {
    ShowWriter writer;
    for (int32_t v : values) writer.WriteInt32(v);
    return writer.TakeBytes();
}

std::vector<uint8_t> Sequence(int count, int32_t first = 100) {
    ShowWriter writer;
    for (int i = 0; i < count; ++i) writer.WriteInt32(first + i);
    return writer.TakeBytes();
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(PlacementLayout, CurrentLayoutIs24Values) {
    PicturePlacement p;
    ReadAll(Sequence(24), 4.5f, 0.0f, [&](ShowReader& r) { p.Load(r); });
    EXPECT_EQ(p.startXMode, 100);
    EXPECT_EQ(p.startX, 104);
    EXPECT_EQ(p.typewriter, 119);
    EXPECT_EQ(p.transitionDelayValue, 123);
    ReadAll(Sequence(24), 4.5f, 3.5f, [&](ShowReader& r) { p.Load(r); });
}

TEST(PlacementLayout, OldestLayoutTakesModesFromRandomFlags) {
    // Random flags for start x and end y, then the 16 common values.
    PicturePlacement p;
    p.effectNumber = 9;
    ReadAll(Concat(Int32s({1, 0, 0, 1}), Sequence(16)), 4.5f, 1.0f, [&](ShowReader& r) { p.Load(r); });
    EXPECT_EQ(p.startXMode, 3);
    EXPECT_EQ(p.startYMode, 5);
    EXPECT_EQ(p.endXMode, 5);
    EXPECT_EQ(p.endYMode, 3);
    EXPECT_EQ(p.startX, 100);
    EXPECT_EQ(p.typewriter, 115);
    // Fields the old layout lacks are reset before reading.
    EXPECT_EQ(p.effectNumber, 0);
    EXPECT_EQ(p.transitionDelayValue, 100);
}

TEST(PlacementLayout, CentredFlagWinsOverRandom) {
    PicturePlacement p;
    auto block = Concat(Concat(Int32s({1, 1, 0, 0}), Int32s({1, 0, 1, 0})), Concat(Sequence(16), Int32s({1, 1})));
    ReadAll(block, 4.5f, 1.5f, [&](ShowReader& r) { p.Load(r); });
    EXPECT_EQ(p.startXMode, 1);
    EXPECT_EQ(p.startYMode, 3);
    EXPECT_EQ(p.endXMode, 1);
    EXPECT_EQ(p.endYMode, 5);
    EXPECT_EQ(p.keepScreenBehind, 1);
    EXPECT_EQ(p.saveBackground, 1);
}

TEST(PlacementLayout, OverlappingVersionRangesReadEveryMatchingBlock) {
    // 104 bytes, then 108 bytes for a version in both ranges.
    PicturePlacement p;
    auto second = Concat(Int32s({0, 0, 0, 0, 0, 0, 0, 0}), Concat(Sequence(16), Int32s({0, 0})));
    auto third = Concat(Int32s({0, 0, 0, 0, 0, 0, 0, 0}), Concat(Sequence(16, 200), Int32s({0, 1, 42})));
    ReadAll(Concat(second, third), 4.5f, 2.05f, [&](ShowReader& r) { p.Load(r); });
    EXPECT_EQ(p.startX, 200);
    EXPECT_EQ(p.effectNumber, 42);
    EXPECT_EQ(p.saveBackground, 1);

    // 112 bytes at 3.1: effect number and transition delay value.
    auto fourth = Concat(Int32s({0, 0, 0, 0, 0, 0, 0, 0}), Concat(Sequence(16), Int32s({0, 0, 17, 300})));
    ReadAll(fourth, 4.5f, 3.1f, [&](ShowReader& r) { p.Load(r); });
    EXPECT_EQ(p.effectNumber, 17);
    EXPECT_EQ(p.transitionDelayValue, 300);
}

TEST(PictureLayout, DisplayOptionsFollowTheVersions) {
    ShowWriter base;
    base.WriteScrambledText("pic");
    base.WriteInt32(0);
    base.WriteInt32(0);
    auto image = Int32s({0});   // an embedded file of size 0
    struct Case {
        float format, b;
        std::vector<int32_t> options;
        int32_t source, width, fit, keepAspect;
    } cases[] = {
        {4.5f, 1.0f, {0, 1, 7, 8, 1, 1}, 1, 7, 1, 1},          // content, opaque; size and fit; keep aspect
        {4.0f, 1.5f, {0, 1, 1}, 2, 0, 0, 0},                   // desktop flag -> source 2
        {4.1f, 2.5f, {0, 1, 3, 9, 9, 0}, 3, 9, 0, 0},          // source stored; format above 4.01 adds size
        {4.11f, 0.0f, {0, 1, 3}, 3, 0, 0, 0},                  // the single-precision 4.11 is not above 4.11
        {4.2f, 0.0f, {0, 1, 1, 5, 6, 1}, 1, 5, 1, 0},
    };
    for (const auto& c : cases) {
        ShowWriter writer;
        writer.WriteBytes(base.Bytes());
        for (int32_t v : c.options) writer.WriteInt32(v);
        writer.WriteBytes(image);
        PictureItem picture;
        ReadAll(writer.Bytes(), c.format, c.b, [&](ShowReader& r) { picture.Load(r); });
        EXPECT_EQ(picture.source, c.source) << c.format << "/" << c.b;
        EXPECT_EQ(picture.width, c.width) << c.format << "/" << c.b;
        EXPECT_EQ(picture.fitToScreen, c.fit) << c.format << "/" << c.b;
        EXPECT_EQ(picture.keepAspect, c.keepAspect) << c.format << "/" << c.b;
    }
}

TEST(PictureLayout, CaptionAlignmentAndScrambledFont) {
    PictureItem caption;
    caption.contentType = PictureItem::kText;
    caption.text = "Line one\r\nLine two";
    caption.textAlignment = 2;
    caption.font.height = -30;
    caption.font.weight = 700;
    caption.font.italic = 1;
    caption.font.SetFaceName("Arial");
    ShowWriter writer;
    caption.Save(writer);
    PictureItem loaded;
    ReadAll(writer.Bytes(), 4.5f, 0.0f, [&](ShowReader& r) { loaded.Load(r); });
    EXPECT_EQ(loaded.text, caption.text);
    EXPECT_EQ(loaded.textAlignment, 2u);
    EXPECT_EQ(loaded.font.height, -30);
    EXPECT_EQ(loaded.font.weight, 700);
    EXPECT_EQ(loaded.font.italic, 1);
    EXPECT_EQ(loaded.font.FaceName(), "Arial");
    // The 60-byte font record is scrambled with the shift of 60 bytes (8).
    const auto& bytes = writer.Bytes();
    EXPECT_EQ(bytes[bytes.size() - 60], static_cast<uint8_t>((-30 & 0xFF) - 8));
}

TEST(MediaLayout, OldShowsCarryNoMediaType) {
    ShowWriter writer;
    writer.WriteScrambledText("song");
    writer.WriteInt32(0);
    writer.WriteInt32(0);
    std::vector<uint8_t> midi = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    writer.WriteUInt32(static_cast<uint32_t>(midi.size()));
    writer.WriteScrambledText("song");
    writer.WriteScrambledBytes(midi);
    MediaItem media;
    ReadAll(writer.Bytes(), 4.5f, 1.5f, [&](ShowReader& r) { media.Load(r); });
    EXPECT_EQ(media.mediaType, static_cast<int32_t>(MediaType::Midi));
    auto contents = media.file.Contents();
    ASSERT_TRUE(contents);
    EXPECT_EQ(std::vector<uint8_t>(contents->bytes.begin(), contents->bytes.end()), midi);
}

TEST(MediaLayout, PlaybackFieldsByVersion) {
    auto head = Int32s({3, 0});
    {
        // Signature A above 4.11 in double precision: timed and time follow.
        MediaPlayItem play;
        auto bytes = Concat(head, Int32s({1, 1, 10, 20, 30, 40, 1, 1, 1, 1, 2500}));
        ReadAll(bytes, 4.11f, 0.0f, [&](ShowReader& r) { play.playback.Load(r); });
        EXPECT_EQ(play.playback.repeatCount, 3);
        EXPECT_EQ(play.playback.width, 30);
        EXPECT_EQ(play.playback.fullScreen, 1);
        EXPECT_EQ(play.playback.time, 2500);
    }
    {
        MediaPlayItem play;
        ReadAll(Concat(head, Int32s({1, 1, 10, 20, 30, 40, 1, 1, 1})), 4.1f, 0.0f,
                [&](ShowReader& r) { play.playback.Load(r); });
        EXPECT_EQ(play.playback.time, 1000);
    }
    {
        MediaPlayItem play;
        ReadAll(Concat(head, Int32s({1, 0})), 4.5f, 2.0f, [&](ShowReader& r) { play.playback.Load(r); });
        EXPECT_EQ(play.playback.wait, 1);
    }
    {
        MediaPlayItem play;
        ReadAll(Concat(head, Int32s({1, 0, 5, 6})), 4.5f, 2.1f, [&](ShowReader& r) { play.playback.Load(r); });
        EXPECT_EQ(play.playback.y, 6);
    }
}

TEST(MediaItem, MovieSizeReadsTheFrameRectangle) {
    // nbits = 15: Xmin 0, Xmax 11000, Ymin 0, Ymax 8000 twips -> 550 x 400.
    std::vector<uint8_t> header = {'F', 'W', 'S', 6, 0, 0, 0, 0};
    uint64_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            bits = (bits << 1) | ((value >> i) & 1);
            if (++count % 8 == 0) header.push_back(static_cast<uint8_t>(bits & 0xFF));
        }
    };
    put(15, 5);
    for (uint32_t v : {0u, 11000u, 0u, 8000u}) put(v, 15);
    while (count % 8) put(0, 1);
    MediaItem movie;
    auto copy = std::make_unique<uint8_t[]>(header.size());
    std::copy(header.begin(), header.end(), copy.get());
    movie.file.Assign("movie", std::move(copy), static_cast<uint32_t>(header.size()));
    auto size = movie.MovieSize();
    ASSERT_TRUE(size);
    EXPECT_EQ(size->first, 550);
    EXPECT_EQ(size->second, 400);

    MediaItem truncated;
    truncated.file.Assign("t", std::make_unique<uint8_t[]>(9), 9);
    EXPECT_FALSE(truncated.MovieSize().has_value() && truncated.MovieSize()->first != 0);
}

} // namespace
} // namespace showsaver
