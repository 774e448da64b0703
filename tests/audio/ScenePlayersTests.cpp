#include "media/ScenePlayers.h"

#include "SoundFixtures.h"
#include "support/FakePlayer.h"

#include <gtest/gtest.h>

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
            auto played = [](const std::vector<uint8_t>& bytes) {
                MediaPlay play;
                play.bytes = bytes;
                play.wait = true;
                return play;
            };
            players.PlayWave(played(wave), player);
            players.PlayMp3(played(mp3), player);
            players.PlayMidi(played(midi), player);
            players.EndShow();
        }
        loud[muted ? 0 : 1] = LoudFrames(recording.Samples());
    }
    EXPECT_GT(loud[0], 44100u / 5) << "the MIDI note plays when muted";
    EXPECT_GT(loud[1], loud[0] + 44100u * 7 / 10) << "the wave and the MP3 add about a second";
}

} // namespace
} // namespace showsaver
