#include "media/ScenePlayers.h"

#include "SoundFixtures.h"
#include "support/FakePlayer.h"
#include "video/VideoFixtures.h"

#include "platform/sys/TempFiles.h"

#include "show/EmbeddedFile.h"

#include <gtest/gtest.h>

#include <thread>

namespace showsaver {
namespace {

using namespace std::chrono_literals;

// Frames of the recording louder than a quiet floor.
size_t LoudFrames(const std::vector<int16_t>& stereo) {
    size_t loud = 0;
    for (size_t i = 0; i < stereo.size(); i += 2) loud += std::abs(stereo[i]) > 600;
    return loud;
}

// A wave, an MP3 and a MIDI note, each half a second and played with wait,
// muted and not: mute silences the wave and the MP3 but not the MIDI, and
// no temporary file is left.
TEST(ScenePlayers, MuteSilencesWaveAndMp3ButNotMidi) {
    size_t loud[2] = {0, 0};
    for (bool muted : {true, false}) {
        test::DiskRecording recording(muted ? "players-muted" : "players-heard");
        auto wave = test::S16Wave(test::Sine(440, 0.5, 44100, 1), 44100, 1);
        auto mp3 = test::SineMp3(recording.Folder(), 660, 0.5, 44100, 1);
        auto midi = test::MidiNote(80, 69, 480);   // square lead, A4
        {
            audio::OutputOwner output;
            ScenePlayers players(output, [](std::function<void()> notice) { notice(); });
            testing::FakePlayer player;
            player.window.muted = muted;
            player.eventWaitLimit = 30s;
            EmbeddedFile files[3];
            auto played = [&files](int i, const std::vector<uint8_t>& bytes) {
                auto copy = std::make_unique_for_overwrite<uint8_t[]>(bytes.size());
                std::copy(bytes.begin(), bytes.end(), copy.get());
                files[i].Assign("medium", std::move(copy), static_cast<uint32_t>(bytes.size()));
                MediaPlay play;
                play.file = &files[i];
                play.wait = true;
                return play;
            };
            players.PlayWave(played(0, wave), player);
            players.PlayMp3(played(1, mp3), player);
            players.PlayMidi(played(2, midi), player);
            players.EndShow();
        }
        loud[muted ? 0 : 1] = LoudFrames(recording.Samples());
    }
    EXPECT_GT(loud[0], 44100u / 5) << "the MIDI note plays when muted";
    EXPECT_GT(loud[1], loud[0] + 44100u * 7 / 10) << "the wave and the MP3 add about a second";
}

// Video files the players have written into the process's temporary folder.
size_t VideoFilesWritten() {
    size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sys::TempDirectory::ForProcess().Path()))
        left += entry.path().extension() == ".avi";
    return left;
}

// A background video with sound shows in a layer at the requested point at
// its own size (the requested size plays no part) and plays on until it is
// stopped, heard unless muted; the stop takes the layer away. It is read
// from the item's bytes: no copy of it is written.
TEST(ScenePlayers, ABackgroundVideoShowsAtItsPointAndIsHeardUnlessMuted) {
    testing::VideoFixtures fixtures;
    const auto avi = testing::VideoFixtures::Bytes(
        fixtures.Make({.codec = "mjpeg", .frames = 4, .width = 32, .height = 24, .rate = 10, .sound = true}));
    size_t loud[2] = {0, 0};
    for (bool muted : {true, false}) {
        test::DiskRecording recording(muted ? "video-muted" : "video-heard");
        {
            audio::OutputOwner output;
            ScenePlayers players(output, [](std::function<void()> notice) { notice(); });
            testing::FakePlayer player;
            player.window.muted = muted;
            EmbeddedFile file;
            auto copy = std::make_unique_for_overwrite<uint8_t[]>(avi.size());
            std::copy(avi.begin(), avi.end(), copy.get());
            file.Assign("film", std::move(copy), static_cast<uint32_t>(avi.size()));
            MediaPlay play;
            play.file = &file;
            play.area = {30, 20, 31, 21};
            players.PlayVideo(play, player);
            ASSERT_EQ(player.window.layers.Count(), 1u);
            std::vector<gfx::Rect> areas;
            player.window.layers.ForEachVisible([&](const gfx::Surface&, const gfx::Rect& area) { areas.push_back(area); });
            EXPECT_EQ(areas, (std::vector<gfx::Rect>{{30, 20, 62, 44}}));
            EXPECT_EQ(VideoFilesWritten(), 0u);
            // Three rounds of the 0.4 s video.
            std::this_thread::sleep_for(1200ms);
            EXPECT_EQ(player.window.layers.Count(), 1u) << "the panel repeats until it is stopped";
            players.StopVideo();
            EXPECT_EQ(player.window.layers.Count(), 0u);
        }
        loud[muted ? 0 : 1] = LoudFrames(recording.Samples());
    }
    EXPECT_EQ(loud[0], 0u) << "a muted video is silent";
    EXPECT_GT(loud[1], 44100u * 8 / 10) << "an unmuted one is heard while it plays";
}

} // namespace
} // namespace showsaver
