// Embedded video against ffmpeg as the oracle: ffmpeg encodes a test
// pattern into an FLV file and decodes the same file into raw pixels; the
// FLV's video packets, wrapped in VideoFrame tags, must play back as those
// pixels, frame for frame, after seeking back, and when the root loops.

#include "tests/flash/FlashTestSupport.h"

#include "flash/video/VideoDecoder.h"
#include "flash/video/VideoPlayback.h"

#include <cstring>

namespace showsaver::flash::test {
namespace {

constexpr int kWidth = 64, kHeight = 48, kFrames = 6;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

struct Clip {
    std::vector<Bytes> packets;            // the FLV's video tags, less their first byte
    std::vector<std::vector<uint32_t>> frames;   // BGRA as ffmpeg decodes them
};

// A moving test pattern with a key frame every third frame.
Clip MakeClip(const std::string& encoder, const std::string& options = "") {
    std::string base = ::testing::TempDir() + "flash-video-" + std::to_string(getpid()) + "-" + encoder;
    std::string make = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=" + std::to_string(kWidth) + "x" +
                       std::to_string(kHeight) + ":rate=10 -frames:v " + std::to_string(kFrames) + " -c:v " + encoder +
                       " -g 3 " + options + " " + base + ".flv";
    std::string decode = "ffmpeg -hide_banner -loglevel error -y -i " + base + ".flv -f rawvideo -pix_fmt bgra " + base + ".raw";
    EXPECT_EQ(std::system(make.c_str()), 0) << make;
    EXPECT_EQ(std::system(decode.c_str()), 0) << decode;
    Clip clip;
    Bytes flv = ReadAll(base + ".flv"), raw = ReadAll(base + ".raw");
    // Header (9 bytes) and the first previous-tag size, then tags: type,
    // u24 length, timestamp (4), stream id (3), data, previous-tag size.
    for (size_t at = 13; at + 11 <= flv.size();) {
        size_t length = size_t(flv[at + 1]) << 16 | size_t(flv[at + 2]) << 8 | flv[at + 3];
        if (at + 11 + length > flv.size()) break;
        if (flv[at] == 9 && length > 1) clip.packets.emplace_back(flv.begin() + long(at + 12), flv.begin() + long(at + 11 + length));
        at += 11 + length + 4;
    }
    const size_t frameBytes = size_t(kWidth) * kHeight * 4;
    for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
        std::memcpy(pixels.data(), raw.data() + at, frameBytes);
        clip.frames.push_back(std::move(pixels));
    }
    std::remove((base + ".flv").c_str());
    std::remove((base + ".raw").c_str());
    return clip;
}

// A movie of the clip: frame f places (or moves) the video at ratio f and
// carries packet f.
Bytes VideoMovie(const Clip& clip, int codec, int scale, uint8_t flags) {
    SwfWriter swf(kWidth * scale, kHeight * scale, 10, int(clip.packets.size()));
    swf.Tag(60, VideoStream(1, int(clip.packets.size()), kWidth, kHeight, codec, flags));
    for (size_t f = 0; f < clip.packets.size(); ++f) {
        swf.Tag(26, PlaceScaled(1, f == 0 ? 1 : -1, scale, int(f), f > 0));
        swf.Tag(61, VideoFrame(1, int(f), clip.packets[f]));
        swf.ShowFrame();
    }
    swf.End();
    return swf.Fws();
}

// Pixels further than `tolerance` in some channel from the oracle's frame,
// sampled at each device pixel's nearest source pixel.
int PixelsOff(gfx::Surface& surface, const std::vector<uint32_t>& frame, int scale, int tolerance) {
    int off = 0;
    for (int y = 0; y < kHeight * scale; ++y)
        for (int x = 0; x < kWidth * scale; ++x)
            if (!Near(surface.Row(y)[x], frame[size_t(y / scale) * kWidth + size_t(x / scale)], tolerance)) ++off;
    return off;
}

struct VideoCase {
    const char* encoder;
    int codec;
    int scale;   // drawn at 1 or 2 device pixels a video pixel, unsmoothed
    int tolerance;
    // The stream's deblocking and smoothing fields. ffmpeg does not
    // deblock H.263, though its packets ask for it: with deblocking off
    // the pictures are ffmpeg's, left to the packets they are near them.
    uint8_t flags = 0;
};

class VideoPlays : public ::testing::TestWithParam<VideoCase> {};

TEST_P(VideoPlays, FrameForFrameAsFfmpegDecodesIt) {
    const VideoCase& c = GetParam();
    Clip clip = MakeClip(c.encoder);
    ASSERT_EQ(clip.packets.size(), size_t(kFrames));
    ASSERT_EQ(clip.frames.size(), size_t(kFrames));
    auto player = Open(VideoMovie(clip, c.codec, c.scale, c.flags));
    ASSERT_TRUE(player->Warnings().empty()) << player->Warnings()[0];
    auto expect = [&](int frame, const char* when) {
        gfx::Surface surface = Paint(*player, kWidth * c.scale, kHeight * c.scale);
        EXPECT_EQ(PixelsOff(surface, clip.frames[size_t(frame)], c.scale, c.tolerance), 0)
            << c.encoder << " frame " << frame << " " << when;
    };
    for (int f = 0; f < kFrames; ++f) {
        expect(f, "played on");
        player->Tick();
    }
    expect(0, "after the root looped");
    player->GotoFrame(4);
    expect(4, "after a goto past the key frame at 3");
    player->GotoFrame(1);
    expect(1, "after a goto back");
}

INSTANTIATE_TEST_SUITE_P(Codecs, VideoPlays,
                         ::testing::Values(VideoCase{"flv1", 2, 1, 2, 0x02}, VideoCase{"flv1", 2, 2, 2, 0x02}, VideoCase{"flv1", 2, 1, 16, 0x00},
                                           VideoCase{"flashsv", 3, 1, 0}, VideoCase{"flashsv2", 6, 2, 0}),
                         [](const auto& info) { return std::string(info.param.encoder) + "_x" + std::to_string(info.param.scale) + "_flags" + std::to_string(info.param.flags); });

// Key frames are found in the packets themselves, as the seeking needs.
TEST(VideoPackets, KeyFramesAreTheEncodersIntraFrames) {
    for (auto [encoder, codec] : {std::pair{"flv1", VideoCodec::H263}, std::pair{"flashsv", VideoCodec::ScreenVideo},
                                  std::pair{"flashsv2", VideoCodec::ScreenVideo2}}) {
        Clip clip = MakeClip(encoder);
        ASSERT_EQ(clip.packets.size(), size_t(kFrames));
        // A Screen Video frame that codes every block stands alone too.
        for (int f = 0; f < kFrames; ++f) {
            if (f % 3 == 0 || codec == VideoCodec::H263) {
                EXPECT_EQ(IsKeyFrame(codec, clip.packets[size_t(f)]), f % 3 == 0) << encoder << " " << f;
            }
        }
    }
    EXPECT_TRUE(IsKeyFrame(VideoCodec::Vp6, Bytes{0x00, 0x10}));
    EXPECT_FALSE(IsKeyFrame(VideoCodec::Vp6, Bytes{0x80, 0x10}));
    EXPECT_TRUE(IsKeyFrame(VideoCodec::Vp6Alpha, Bytes{0, 0, 9, 0x00}));
    EXPECT_FALSE(IsKeyFrame(VideoCodec::H263, Bytes{}));
}

// Deblocking on smooths the steps across the 8-pixel block edges of a
// coarsely quantised picture, and leaves it otherwise close; off, the
// picture is ffmpeg's (above).
TEST(VideoPackets, DeblockingSmoothsBlockEdges) {
    Clip clip = MakeClip("flv1", "-qmin 31 -qmax 31");
    ASSERT_EQ(clip.packets.size(), size_t(kFrames));
    auto edgeSteps = [&](uint8_t flags, gfx::Surface* keep) {
        auto player = Open(VideoMovie(clip, 2, 1, flags));
        player->Tick();
        gfx::Surface s = Paint(*player, kWidth, kHeight);
        long steps = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 8; x < kWidth; x += 8)
                for (int shift : {0, 8, 16}) steps += std::abs(int(s.Pixel(x - 1, y) >> shift & 0xFF) - int(s.Pixel(x, y) >> shift & 0xFF));
        if (keep) *keep = std::move(s);
        return steps;
    };
    gfx::Surface off(kWidth, kHeight), on(kWidth, kHeight);
    const long stepsOff = edgeSteps(0x02, &off), stepsOn = edgeSteps(0x04, &on);
    EXPECT_LT(stepsOn, stepsOff);
    int far = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) far += !Near(on.Pixel(x, y), off.Pixel(x, y), 48);
    EXPECT_EQ(far, 0);
}

// Seeking decodes no more than it must: on from the frame shown, or from
// the key frame before the one asked for (the clip's are 0 and 3); a frame
// number past the last stored shows the last.
TEST(VideoPackets, SeekingStartsAtTheKeyFrameBefore) {
    Clip clip = MakeClip("flv1");
    ASSERT_EQ(clip.packets.size(), size_t(kFrames));
    VideoCharacter video;
    video.width = kWidth, video.height = kHeight;
    for (size_t f = 0; f < clip.packets.size(); ++f) video.frames.emplace(uint16_t(f), clip.packets[f]);
    auto playback = VideoPlayback::Make(video);
    ASSERT_TRUE(playback);
    const std::pair<int, size_t> steps[] = {{2, 3}, {2, 3}, {5, 6}, {1, 8}, {4, 10}, {40, 11}, {0, 12}};
    for (auto [frame, decoded] : steps) {
        ASSERT_TRUE(playback->Picture(frame)) << frame;
        EXPECT_EQ(playback->PacketsDecoded(), decoded) << "after frame " << frame;
    }
}

// Streams the loader refuses, and frames of no stream, leave a warning and
// nothing drawn; a damaged packet draws nothing, and nothing crashes.
TEST(VideoPackets, BrokenStreamsAreDroppedOrDrawNothing) {
    SwfWriter swf(32, 32, 10, 1);
    swf.Tag(60, VideoStream(1, 1, 9000, 16, 2));   // too large
    swf.Tag(60, VideoStream(2, 1, 16, 16, 9));     // no such codec
    swf.Tag(61, VideoFrame(7, 0, {1, 2, 3}));      // no such stream
    swf.Tag(60, VideoStream(3, 1, 16, 16, 2));
    swf.Tag(61, VideoFrame(3, 0, Bytes(40, 0xA5)));
    swf.Tag(26, PlaceScaled(1, 3, 1, 0));
    swf.ShowFrame();
    swf.End();
    auto player = Open(swf.Fws());
    EXPECT_EQ(player->Warnings().size(), 3u);
    gfx::Surface surface = Paint(*player, 32, 32);
    EXPECT_TRUE(Near(surface.Row(8)[8], 0xFFFFFF, 0));
}

} // namespace
} // namespace showsaver::flash::test
