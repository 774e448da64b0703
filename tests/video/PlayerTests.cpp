// Playing videos on the player's own thread: pacing, repeats, stopping, and
// the sound heard through SDL's disk driver.

#include "SdlSink.h"
#include "VideoFixtures.h"

#include "platform/video/VideoPlayer.h"

#include <cmath>
#include <numbers>

namespace showsaver::testing {
namespace {

using video::VideoFile;
using video::VideoPlayer;

class VideoPlay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_fixtures = new VideoFixtures; }
    static void TearDownTestSuite() { delete s_fixtures; }
    static std::unique_ptr<VideoFile> OpenVideo(const VideoRecipe& recipe) {
        auto file = VideoFile::Open(s_fixtures->Make(recipe));
        EXPECT_TRUE(file);
        return file;
    }
    static VideoFixtures* s_fixtures;
};
VideoFixtures* VideoPlay::s_fixtures = nullptr;

// Every picture is shown once at its time or, when the machine falls behind,
// dropped, and those shown come in order, on the monotonic clock and on the
// clock of the sound played. (On an idle machine none is dropped; a loaded
// one may drop a few, which is the player's job, not a fault.)
TEST_F(VideoPlay, PlaysEveryPictureOnceInOrderOnEitherClock) {
    DiskAudio audio(s_fixtures->Dir() / "pacing.raw");
    ASSERT_TRUE(audio.Ok()) << SDL_GetError();
    for (bool withSound : {false, true}) {
        SCOPED_TRACE(withSound ? "sound clock" : "monotonic clock");
        const auto file = OpenVideo({.codec = "mjpeg", .frames = 20, .rate = 20, .sound = withSound});
        ASSERT_TRUE(file);
        SdlSink sink;
        ASSERT_TRUE(sink.Ok()) << SDL_GetError();
        RecordingTarget target;
        VideoPlayer player(*file, target, withSound ? &sink : nullptr);
        player.Play(false);
        sys::Event never;
        ASSERT_TRUE(player.WaitForEnd(never));
        const auto counts = player.Counts();
        EXPECT_EQ(counts.shown + counts.dropped, 20u);
        EXPECT_GE(counts.shown, 1u);
        EXPECT_EQ(counts.rounds, 1u);
        const auto centres = target.Centres();
        ASSERT_EQ(centres.size(), counts.shown);
        // The pictures shown are the video's, in its order: each centre is
        // found at or after the picture that followed the one before it.
        size_t next = 0;
        for (size_t i = 0; i < centres.size(); ++i) {
            while (next < 20 && !Near(centres[i], kFrameColours[next % 10])) ++next;
            EXPECT_LT(next, 20u) << "picture " << i << " shown out of order";
            ++next;
        }
        EXPECT_EQ(target.Size(), (gfx::Size {64, 48}));
        if (withSound) {
            EXPECT_GE(sink.PlayedFrames(), 44100u - 4096u);
        }
    }
}

TEST_F(VideoPlay, ARepeatStartsAgainFromTheFirstPictureUntilStoppedAtOnce) {
    for (bool withSound : {false, true}) {
        SCOPED_TRACE(withSound ? "sound clock" : "monotonic clock");
        DiskAudio audio(s_fixtures->Dir() / "repeat.raw");
        const auto file = OpenVideo({.codec = "msvideo1", .frames = 10, .rate = 25, .sound = withSound});
        ASSERT_TRUE(file);
        SdlSink sink;
        RecordingTarget target;
        VideoPlayer player(*file, target, withSound ? &sink : nullptr);
        player.Play(true);
        target.WaitForFrames(25);
        EXPECT_FALSE(player.Ended().IsSet());
        sys::Event stop(true);
        EXPECT_FALSE(player.WaitForEnd(stop));   // the caller's stop ends a wait for the end
        // A stop ends a play that would never end, at once, with its queued sound.
        player.Stop();
        EXPECT_TRUE(player.Ended().IsSet());
        EXPECT_EQ(sink.WaitingFrames(), 0u);
        const auto counts = player.Counts();
        EXPECT_GE(counts.rounds, 2u);
        EXPECT_EQ(counts.dropped, 0u);
        const auto centres = target.Centres();
        for (size_t i = 0; i < 25; ++i) EXPECT_TRUE(Near(centres[i], kFrameColours[i % 10])) << i;
    }
}

// The strength of one frequency in mono samples (Goertzel), relative to the
// signal's power, so 1 means all of the signal is at that frequency.
double ShareAt(const std::vector<double>& samples, double frequency) {
    const double w = 2 * std::numbers::pi * frequency / 44100.0;
    double s1 = 0, s2 = 0, power = 0;
    for (double x : samples) {
        const double s0 = x + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
        power += x * x;
    }
    const double magnitude = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    return power > 0 ? 2 * magnitude / (double(samples.size()) * power) : 0;
}

// The left channel of the sound a disk driver recorded, silence left out.
std::vector<double> Heard(const std::filesystem::path& recording) {
    const auto bytes = VideoFixtures::Bytes(recording);
    std::vector<double> samples;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const auto left = int16_t(uint16_t(bytes[i] | bytes[i + 1] << 8));
        if (left != 0) samples.push_back(left);
    }
    return samples;
}

TEST_F(VideoPlay, TheToneIsHeardUnlessTheSoundIsOff) {
    for (bool muted : {false, true}) {
        SCOPED_TRACE(muted ? "muted" : "with sound");
        const auto recording = s_fixtures->Dir() / (muted ? "muted.raw" : "tone.raw");
        {
            DiskAudio audio(recording);
            const auto file = OpenVideo({.codec = "cinepak", .frames = 10, .rate = 10, .sound = true});
            ASSERT_TRUE(file);
            if (muted) file->SwitchSoundOff();
            SdlSink sink;
            RecordingTarget target;
            VideoPlayer player(*file, target, &sink);
            player.Play(false);
            sys::Event never;
            ASSERT_TRUE(player.WaitForEnd(never));
            EXPECT_EQ(player.Counts().shown, 10u);
        }
        const auto heard = Heard(recording);
        if (muted) {
            EXPECT_TRUE(heard.empty()) << heard.size() << " samples heard";
            continue;
        }
        // One second of tone (a device buffer may still be in flight at the end).
        EXPECT_NEAR(double(heard.size()), 44100.0, 4096.0);
        EXPECT_GT(ShareAt(heard, 440), 0.9);
        EXPECT_LT(ShareAt(heard, 880), 0.05);
    }
}

} // namespace
} // namespace showsaver::testing
