// Decoding real AVI files made by ffmpeg: sizes, picture counts and colours
// for every codec the shows carry, the timestamp rules, and bad input.

#include "VideoFixtures.h"

#include "platform/video/PlaybackClock.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoPlayer.h"

#include <cstring>
#include <random>

namespace showsaver::testing {
namespace {

using video::VideoFile;

class VideoDecode : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_fixtures = new VideoFixtures; }
    static void TearDownTestSuite() { delete s_fixtures; }
    static VideoFixtures* s_fixtures;
};
VideoFixtures* VideoDecode::s_fixtures = nullptr;

struct Decoded {
    std::vector<uint32_t> centres;
    size_t soundFrames = 0;
};

Decoded DecodeAll(VideoFile& file) {
    Decoded decoded;
    for (;;) {
        const auto step = file.Next();
        if (step == VideoFile::Step::End) return decoded;
        if (step == VideoFile::Step::Sound) {
            decoded.soundFrames += file.Sound().size() / 2;
        } else if (file.ConvertPicture()) {
            const auto size = file.Size();
            const auto* row = reinterpret_cast<const uint8_t*>(file.Pixels()) + size_t(size.height / 2) * file.Stride();
            decoded.centres.push_back(reinterpret_cast<const uint32_t*>(row)[size.width / 2]);
        }
    }
}

TEST_F(VideoDecode, EveryCodecGivesItsSizeFramesColoursAndSound) {
    std::vector<VideoRecipe> recipes;
    for (const char* codec : {"mjpeg", "mpeg4", "msvideo1", "cinepak", "libx264"}) {
        recipes.push_back({.codec = codec});
        recipes.push_back({.codec = codec, .sound = true});
    }
    recipes.push_back({.codec = "msvideo1", .sound = true, .soundCodec = "adpcm_ms"});
    recipes.push_back({.codec = "mpeg4", .sound = true, .soundCodec = "libmp3lame"});
    for (const VideoRecipe& recipe : recipes) {
        const bool sound = recipe.sound;
        SCOPED_TRACE(recipe.codec + (sound ? " with " + recipe.soundCodec : ""));
        const auto path = s_fixtures->Make(recipe);
        std::string error;
        const auto file = VideoFile::Open(path, &error);
        ASSERT_TRUE(file) << error;
        EXPECT_EQ(file->Size(), (gfx::Size {64, 48}));
        EXPECT_DOUBLE_EQ(file->FramePeriod(), 0.1);
        EXPECT_EQ(file->HasSound(), sound);
        const Decoded decoded = DecodeAll(*file);
        ASSERT_EQ(decoded.centres.size(), 10u);
        for (size_t i = 0; i < decoded.centres.size(); ++i)
            EXPECT_TRUE(Near(decoded.centres[i], kFrameColours[i])) << "frame " << i << std::hex << " is "
                                                                     << decoded.centres[i];
        // One second of 44,100 Hz sound, give or take a block.
        EXPECT_NEAR(double(decoded.soundFrames), sound ? 44100.0 : 0.0, 2048.0);
        // Rewinding gives the same pictures again, and so does reading from memory.
        ASSERT_TRUE(file->Rewind());
        EXPECT_EQ(DecodeAll(*file).centres, decoded.centres);
        const auto bytes = VideoFixtures::Bytes(path);
        const auto inMemory = VideoFile::OpenMemory(bytes);
        ASSERT_TRUE(inMemory);
        EXPECT_EQ(DecodeAll(*inMemory).centres, decoded.centres);
    }
}

// Writes `value` as a little-endian 32-bit number at the offset of a chunk's field.
void Poke32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    ASSERT_LE(offset + 4, bytes.size());
    for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

size_t Find(const std::vector<uint8_t>& bytes, const char* tag) {
    const auto it = std::search(bytes.begin(), bytes.end(), tag, tag + std::strlen(tag));
    return it == bytes.end() ? 0 : size_t(it - bytes.begin());
}

// The first video stream's strh handler and strf header of an AVI.
struct StreamHeaders {
    size_t strh, strf;
};

StreamHeaders Headers(const std::vector<uint8_t>& bytes) {
    return {Find(bytes, "strh"), Find(bytes, "strf")};
}

std::vector<uint8_t> WithPictureSize(std::vector<uint8_t> bytes, uint32_t width, uint32_t height) {
    const auto at = Headers(bytes);
    Poke32(bytes, at.strf + 12, width);    // BITMAPINFOHEADER biWidth
    Poke32(bytes, at.strf + 16, height);   // biHeight
    const size_t avih = Find(bytes, "avih");
    Poke32(bytes, avih + 8 + 32, width);   // dwWidth
    Poke32(bytes, avih + 8 + 36, height);  // dwHeight
    return bytes;
}

std::vector<uint8_t> WithUnknownCodec(std::vector<uint8_t> bytes) {
    const auto at = Headers(bytes);
    std::memcpy(&bytes[at.strh + 12], "ZQZQ", 4);   // fccHandler
    std::memcpy(&bytes[at.strf + 24], "ZQZQ", 4);   // biCompression
    return bytes;
}

std::vector<uint8_t> WithChunkSize(std::vector<uint8_t> bytes, const char* tag, uint32_t size) {
    Poke32(bytes, Find(bytes, tag) + 4, size);
    return bytes;
}

std::vector<uint8_t> RandomBytes(size_t size) {
    std::mt19937 random(12);
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes) byte = uint8_t(random());
    return bytes;
}

std::vector<uint8_t> RiffThenRandom() {
    auto bytes = RandomBytes(20000);
    std::memcpy(bytes.data(), "RIFF\x10\x4e\0\0AVI LIST", 16);
    return bytes;
}

// Bad files never crash or hang. Those that cannot be played are refused at
// open; a truncated file plays the pictures it still holds and then ends.
TEST_F(VideoDecode, BadInputIsRefusedOrEndsWithoutHanging) {
    const auto good = VideoFixtures::Bytes(s_fixtures->Make({.codec = "msvideo1", .sound = true}));
    ASSERT_GT(good.size(), 2000u);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool opens;
        const char* refusal = "";   // a part of the reason an open is refused
    };
    std::vector<Case> cases {
        {"empty", {}, false, "not an AVI"},
        {"random", RandomBytes(20000), false, "not an AVI"},
        {"RIFF then random", RiffThenRandom(), false, ""},
        {"cut in the header", {good.begin(), good.begin() + 100}, false, ""},
        {"unknown codec", WithUnknownCodec(good), false, "decoder"},
        {"side over 16384", WithPictureSize(good, 16400, 48), false, "out of bounds"},
        {"over 64 megapixels", WithPictureSize(good, 8200, 8200), false, "out of bounds"},
        {"a header chunk larger than the file", WithChunkSize(good, "strf", 0x40000000), false, "does not fit"},
        {"cut in the middle", {good.begin(), good.begin() + long(good.size() / 2)}, true},
        {"cut before the index", {good.begin(), good.end() - 200}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = s_fixtures->Write(std::string("bad-") + c.name + ".avi", c.bytes);
        std::string error;
        const auto file = VideoFile::Open(path, &error);
        ASSERT_EQ(file != nullptr, c.opens) << error;
        if (!file) {
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
            continue;
        }
        RecordingTarget target;
        video::VideoPlayer player(*file, target, nullptr);
        player.Play(false);
        sys::Event never;
        EXPECT_TRUE(player.WaitForEnd(never));
        EXPECT_LE(target.Centres().size(), 10u);
        EXPECT_EQ(player.Counts().dropped, 0u);
    }
}

// Presentation times from the timestamps a file gives (nullopt: none).
TEST(PictureTimeline, TimesAlwaysGoForwardByTheFilesStampsOrOnePeriod) {
    constexpr auto none = std::nullopt;
    struct Case {
        const char* name;
        std::vector<std::optional<double>> stamps;
        std::vector<double> times;
    };
    const std::vector<Case> cases {
        {"regular, from an offset", {4.0, 4.1, 4.2}, {0.0, 0.1, 0.2}},
        {"missing stamps", {none, none, 0.2, none}, {0.0, 0.1, 0.2, 0.3}},
        {"a skipped picture keeps its gap", {0.0, 0.3, 0.4}, {0.0, 0.3, 0.4}},
        {"going backwards", {0.0, 0.1, 0.2, 0.05, 0.3}, {0.0, 0.1, 0.2, 0.3, 0.4}},
        {"a repeated stamp", {1.0, 1.0, 1.1}, {0.0, 0.1, 0.2}},
        {"a leap far ahead", {0.0, 1e9, 0.2}, {0.0, 0.1, 0.2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        video::PictureTimeline timeline(0.1);
        for (size_t i = 0; i < c.stamps.size(); ++i) EXPECT_NEAR(timeline.Place(c.stamps[i]), c.times[i], 1e-9) << i;
    }
    // A second round starts after the first one, or later when asked.
    video::PictureTimeline timeline(0.1);
    for (double stamp : {0.0, 0.1}) timeline.Place(stamp);
    timeline.Restart(0.0);
    EXPECT_NEAR(timeline.Place(0.0), 0.2, 1e-9);
    timeline.Restart(1.0);
    EXPECT_NEAR(timeline.Place(7.0), 1.0, 1e-9);
    EXPECT_NEAR(timeline.Place(7.1), 1.1, 1e-9);
}

} // namespace
} // namespace showsaver::testing
