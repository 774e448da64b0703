#include "media/MediaItem.h"
#include "media/MediaPlayItem.h"

#include "gfx/SurfaceContext.h"
#include "support/FakePlayer.h"
#include "flash/SwfWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace showsaver {
namespace {

using testing::FakePlayer;

// The first bytes of an uncompressed movie whose stage is width × height
// pixels: "FWS", version, length, then the stage rectangle in 16-bit fields.
std::vector<uint8_t> MovieHeader(uint32_t width, uint32_t height) {
    std::vector<uint8_t> bytes = {'F', 'W', 'S', 6, 0, 0, 0, 0};
    std::vector<bool> bits;
    auto put = [&](uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back((value >> i) & 1);
    };
    put(16, 5);
    for (uint32_t field : {0u, width * 20, 0u, height * 20}) put(field, 16);
    for (size_t i = 0; i < bits.size(); i += 8) {
        uint8_t byte = 0;
        for (size_t b = 0; b < 8; ++b) byte = static_cast<uint8_t>(byte << 1 | (i + b < bits.size() && bits[i + b]));
        bytes.push_back(byte);
    }
    return bytes;
}

struct Stage {
    MediaItem media;
    MediaPlayItem play;
    FakePlayer player;
    std::shared_ptr<gfx::Surface> screen = std::make_shared<gfx::Surface>(800, 600);
    std::unique_ptr<gfx::SurfaceContext> dc = gfx::SurfaceContext::ForScreen(screen);

    explicit Stage(MediaType type, std::vector<uint8_t> bytes = {1, 2, 3}) {
        media.mediaType = static_cast<int32_t>(type);
        auto copy = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        media.file.Assign("m", std::move(copy), static_cast<uint32_t>(bytes.size()));
        play.SetSource(&media);
    }
    const std::vector<std::pair<std::string, MediaPlay>>& Play() {
        int index = 0;
        EXPECT_EQ(play.Play(*dc, index, player), 1);
        return player.media.plays;
    }
};

TEST(MediaPlayItem, WaitingPlaysRepeatTheirCountUnlessStopped) {
    struct Case {
        int32_t repeat, forever;
        bool stopped;
        size_t plays;
    };
    for (Case c : {Case{3, 0, false, 3}, Case{0, 0, false, 0}, Case{1, 0, false, 1}, Case{5, 1, true, 0}}) {
        Stage stage(MediaType::Midi);
        stage.play.playback.wait = 1;
        stage.play.playback.loop = 1;
        stage.play.playback.repeatCount = c.repeat;
        stage.play.playback.forever = c.forever;
        stage.player.stopRequested = c.stopped;
        const auto& plays = stage.Play();
        ASSERT_EQ(plays.size(), c.plays) << c.repeat;
        for (const auto& [name, request] : plays) {
            EXPECT_TRUE(request.wait);
            EXPECT_FALSE(request.loop) << "a waiting play never loops";
        }
    }
}

TEST(MediaPlayItem, APlayWithoutWaitPlaysOnceWithItsLoopAtItsRectangle) {
    Stage stage(MediaType::Video);
    auto& p = stage.play.playback;
    p.loop = 1, p.x = 10, p.y = 20, p.width = 64, p.height = 48, p.repeatCount = 4, p.centreHorizontally = 1;
    const auto& plays = stage.Play();
    ASSERT_EQ(plays.size(), 1u);
    EXPECT_EQ(plays[0].first, "video");
    EXPECT_TRUE(plays[0].second.loop);
    EXPECT_FALSE(plays[0].second.wait);
    EXPECT_EQ(plays[0].second.area, (gfx::Rect{10, 20, 74, 68})) << "only Flash movies are centred";
    EXPECT_EQ(plays[0].second.timeLimit, -1);
}

TEST(MediaPlayItem, FlashMoviesAreSizedFromTheirHeaderOnceCentredAndTimed) {
    Stage stage(MediaType::Flash, MovieHeader(200, 100));
    auto& p = stage.play.playback;
    p.wait = 1, p.repeatCount = 3, p.timed = 1, p.time = 2500, p.centreHorizontally = 1, p.x = 7, p.y = 9;
    const auto& plays = stage.Play();
    ASSERT_EQ(plays.size(), 1u) << "a timed movie plays once, whatever the count";
    EXPECT_EQ(plays[0].second.area, (gfx::Rect{300, 9, 500, 109}));
    EXPECT_EQ(plays[0].second.timeLimit, 2500);
    EXPECT_EQ(p.width, 200);
    EXPECT_EQ(p.height, 100);

    // The stored size is kept: a later play does not read the header again.
    p.width = 1, p.height = 1, p.centreVertically = 1, p.timed = 0;
    stage.Play();
    ASSERT_EQ(stage.player.media.plays.size(), 4u);
    EXPECT_EQ(stage.player.media.plays.back().second.area, (gfx::Rect{399, 299, 400, 300}))
        << "a half width of 0 counts as 1";

    p.fullScreen = 1;
    stage.Play();
    EXPECT_EQ(stage.player.media.plays.back().second.area, (gfx::Rect{0, 0, 800, 600}));
}

TEST(MediaItem, MovieSizeReadsCompressedMoviesAsPlainOnes) {
    flash::test::SwfWriter writer(550, 400, 12, 1);
    writer.ShowFrame();
    writer.End();
    auto sizeOf = [](const std::vector<uint8_t>& bytes) {
        MediaItem movie;
        auto copy = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        movie.file.Assign("movie", std::move(copy), static_cast<uint32_t>(bytes.size()));
        return movie.MovieSize();
    };
    for (const auto& bytes : {writer.Fws(), writer.Cws(), writer.Zws()}) {
        auto size = sizeOf(bytes);
        ASSERT_TRUE(size) << bytes[0];
        EXPECT_EQ(*size, (std::pair<int32_t, int32_t>{550, 400})) << bytes[0];
        // Cut inside the compressed rectangle: no size, and no read past the end.
        EXPECT_FALSE(sizeOf({bytes.begin(), bytes.begin() + 10})) << bytes[0];
    }
}

} // namespace
} // namespace showsaver
