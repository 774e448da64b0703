// Shows with sound and video, played by the packed engine on a real X server
// with SDL's disk driver recording everything it mixes: the media are heard
// in the order of their items and seen where their items put them, and the
// input that ends the saver ends it at once in the middle of any medium
// that the show waits for, leaving no temporary file.

#include "audio/SoundFixtures.h"
#include "flash/SwfWriter.h"
#include "show/ShowReader.h"
#include "tests/e2e/EngineTest.h"
#include "tests/support/Command.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <fstream>

namespace showsaver::e2e {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::RunCommand;

const fs::path kBinaries = SHOWSAVER_BINARY_DIR;
constexpr int kRate = 44100;

class MediaShowTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        SetEnvironment("TMPDIR", (m_scratch.Path() / "tmp").string());
        SetEnvironment("SDL_AUDIODRIVER", "disk");
        SetEnvironment("SDL_DISKAUDIOFILE", Recording().string());
        fs::create_directories(m_scratch.Path() / "tmp");
        StoreCalibration();
        auto pictures = RunCommand(Quoted((kBinaries / "make_pictures").string()) + " " + Quoted(m_scratch.Path().string()));
        ASSERT_EQ(pictures.status, 0) << pictures.err;
    }
    void TearDown() override {
        m_saver.Stop();
        EngineTest::TearDown();
    }

    fs::path Recording() const { return m_scratch.Path() / "mixed.raw"; }
    fs::path File(const std::string& name) const { return m_scratch.Path() / name; }

    // A video of one colour, `seconds` long at 10 frames a second.
    fs::path Video(const std::string& name, const std::string& colour, int width, int height, int seconds) {
        auto path = File(name);
        auto made = RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i color=c=" + colour + ":s=" + std::to_string(width) +
                               "x" + std::to_string(height) + ":r=10:d=" + std::to_string(seconds) +
                               " -c:v mjpeg -q:v 3 " + Quoted(path));
        EXPECT_EQ(made.status, 0) << made.err;
        return path;
    }
    // A movie of one background colour, `frames` long.
    fs::path Movie(const std::string& name, uint32_t rgb, int width, int height, int frames, double fps) {
        flash::test::SwfWriter writer(width, height, fps, frames);
        writer.Background(rgb);
        for (int i = 0; i < frames; ++i) writer.ShowFrame();
        writer.End();
        test::WriteBytes(File(name), writer.Fws());
        return File(name);
    }
    void Start(const std::string& description) {
        std::ofstream(File("show.json")) << description;
        auto saver = File("saver");
        auto built = showpack::BuildPacked(File("show.json"), kBinaries / "showsaver", saver);
        ASSERT_TRUE(built) << built.Error().what;
        m_saver = ChildProcess::Spawn({saver.string(), "/s"}, File("saver.log").string());
    }
    // The pixel at (x, y) of a screenshot, as "r,g,b".
    static std::string ScreenPixel(int x, int y) {
        return RunCommand("import -window root -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                          " -depth 8 txt:- | tail -1 | sed 's/.*(\\([0-9,]*\\)).*/\\1/'").out;
    }
    static bool IsColour(const std::string& pixel, int r, int g, int b) {
        int pr, pg, pb;
        if (std::sscanf(pixel.c_str(), "%d,%d,%d", &pr, &pg, &pb) != 3) return false;
        return std::abs(pr - r) < 40 && std::abs(pg - g) < 40 && std::abs(pb - b) < 40;
    }
    // Moves the pointer, as a viewer would; the saver must end with status 0
    // and leave no temporary file.
    void EndByMouseMove() {
        ASSERT_TRUE(Xdo("mousemove_relative 7 7"));
        auto status = m_saver.WaitForExit(30s);
        ASSERT_TRUE(status) << "the saver did not end";
        EXPECT_EQ(*status, 0);
        for (auto& entry : fs::recursive_directory_iterator(m_scratch.Path() / "tmp"))
            ADD_FAILURE() << "left behind: " << entry.path();
    }
    std::vector<int16_t> Samples() const { return test::ReadSamples(Recording()); }

    ChildProcess m_saver;
};

// Tenths of a second of the left channel with their pitch, rounded to 10 Hz;
// 0 for a quiet tenth.
std::vector<int> TenthPitches(const std::vector<int16_t>& stereo) {
    std::vector<int> pitches;
    const size_t tenth = kRate / 10 * 2;
    for (size_t at = 0; at + tenth <= stereo.size(); at += tenth) {
        std::vector<int16_t> left;
        int peak = 0;
        for (size_t i = at; i < at + tenth; i += 2) {
            left.push_back(stereo[i]);
            peak = std::max(peak, std::abs(int(stereo[i])));
        }
        pitches.push_back(peak < 1500 ? 0 : int(std::lround(test::EstimateFrequency(left, kRate) / 10)) * 10);
    }
    return pitches;
}

// A wave, an MP3 and a MIDI note, each waited for; then a background video
// at (100, 80) and a picture drawn after it over the whole corner, which
// stays under the playing video until a stop item ends it; then a video
// that the show waits for, ended by a mouse move.
TEST_F(MediaShowTest, SoundsAreHeardInOrderAndVideosShowAboveLaterPictures) {
    test::WriteBytes(File("low.wav"), test::S16Wave(test::Sine(300, 1.0, 22050, 1), 22050, 1));
    test::WriteBytes(File("middle.mp3"), test::SineMp3(m_scratch.Path(), 440, 1.0, 44100, 2));
    test::WriteBytes(File("high.mid"), test::MidiNote(80, 76, 960));   // square lead, E5: 659 Hz
    // The red one is small enough to be held in memory; the green one, of
    // about 340 KB, is read from the show's file as it plays.
    Video("red.avi", "red", 64, 48, 1);
    Video("green.avi", "0x00FF00", 80, 60, 120);
    ASSERT_GE(fs::file_size(File("green.avi")), ShowReader::kLeftInFileFrom);
    Start(R"({"items": [
        {"class": "BackgroundItem", "color": {"color": 4202496, "fourthValue": 0}},
        {"class": "PictureItem", "name": "Harbour", "file": {"path": "harbour.jpg"}},
        {"class": "MediaItem", "name": "Low", "file": {"path": "low.wav"}, "mediaType": 0},
        {"class": "MediaItem", "name": "Middle", "file": {"path": "middle.mp3"}, "mediaType": 2},
        {"class": "MediaItem", "name": "High", "file": {"path": "high.mid"}, "mediaType": 4},
        {"class": "MediaItem", "name": "Red", "file": {"path": "red.avi"}, "mediaType": 1},
        {"class": "MediaItem", "name": "Green", "file": {"path": "green.avi"}, "mediaType": 1},
        {"class": "MediaPlayItem", "media": 2, "wait": 1},
        {"class": "MediaPlayItem", "media": 3, "wait": 1},
        {"class": "MediaPlayItem", "media": 4, "wait": 1},
        {"class": "MediaPlayItem", "media": 5, "x": 100, "y": 80, "width": 500, "height": 500},
        {"class": "ShowPictureItem", "picture": 1, "placement": {"startXMode": 5, "startYMode": 5}},
        {"class": "PauseItem", "duration": 2500},
        {"class": "MediaStopItem", "media": 5},
        {"class": "PauseItem", "duration": 2500},
        {"class": "MediaPlayItem", "media": 6, "wait": 1, "x": 300, "y": 200},
        {"class": "PauseItem", "duration": 600000}
    ]})");

    // The background video repeats above the harbour, at its own size.
    ASSERT_TRUE(WaitFor([&] { return IsColour(ScreenPixel(110, 90), 255, 0, 0); }, 60s)) << "no red video at (100, 80)";
    SaveScreenshot("media-panel-video");
    EXPECT_TRUE(IsColour(ScreenPixel(163, 127), 255, 0, 0));
    EXPECT_FALSE(IsColour(ScreenPixel(165, 90), 255, 0, 0)) << "the requested width plays no part";
    EXPECT_FALSE(IsColour(ScreenPixel(110, 129), 255, 0, 0)) << "the requested height plays no part";
    // The stop item takes it away and the harbour shows again.
    ASSERT_TRUE(WaitFor([&] { return !IsColour(ScreenPixel(110, 90), 255, 0, 0); }, 30s));
    // The waiting video holds the show; a mouse move ends it at once.
    ASSERT_TRUE(WaitFor([&] { return IsColour(ScreenPixel(310, 210), 0, 255, 0); }, 30s)) << "no green video";
    SaveScreenshot("media-waiting-video");
    EndByMouseMove();

    // Each sound was heard for about its second, in the order of the items:
    // runs of at least three tenths at one of the three pitches.
    const auto pitches = TenthPitches(Samples());
    std::vector<int> order;
    int run = 0, last = 0;
    for (int pitch : pitches) {
        int heard = 0;
        for (int want : {300, 440, 660})
            if (std::abs(pitch - want) <= want / 20) heard = want;
        run = heard == last ? run + 1 : 1;
        last = heard;
        if (heard && run == 3 && (order.empty() || order.back() != heard)) order.push_back(heard);
    }
    EXPECT_EQ(order, (std::vector<int>{300, 440, 660})) << ::testing::PrintToString(pitches);
}

// Each kind of medium that a show waits for, long enough to outlast the
// test: the mouse move ends the saver in the middle of it.
TEST_F(MediaShowTest, AMouseMoveEndsTheSaverDuringEveryWaitedMedium) {
    test::WriteBytes(File("long.wav"), test::S16Wave(test::Sine(300, 40.0, 8000, 1), 8000, 1));
    test::WriteBytes(File("long.mp3"), test::SineMp3(m_scratch.Path(), 440, 40.0, 22050, 1, "-b 32"));
    test::WriteBytes(File("long.mid"), test::MidiNote(80, 76, 960 * 40));
    Video("long.avi", "0x00FF00", 80, 60, 40);
    const struct {
        const char* file;
        int type;
    } media[] = {{"long.wav", 0}, {"long.mp3", 2}, {"long.mid", 4}, {"long.avi", 1}};
    for (const auto& medium : media) {
        SCOPED_TRACE(medium.file);
        fs::remove(Recording());
        Start(std::string(R"({"items": [
            {"class": "MediaItem", "name": "Long", "file": {"path": ")") + medium.file + R"("}, "mediaType": )" +
              std::to_string(medium.type) + R"(},
            {"class": "MediaPlayItem", "media": 0, "wait": 1, "x": 300, "y": 200}
        ]})");
        auto playing = [&] {
            return medium.type == 1 ? IsColour(ScreenPixel(310, 210), 0, 255, 0) : !test::LoudPart(Samples()).empty();
        };
        ASSERT_TRUE(WaitFor(playing, 30s)) << "it never played";
        EndByMouseMove();
        if (medium.type != 1) {
            EXPECT_LT(test::LoudPart(Samples()).size(), size_t{kRate} * 20) << "it played on after the end";
        }
    }
}

// Flash movies as their play items place them: centred and waited for to
// their last frame, timed to 2 s although far longer, full screen and
// looping until a stop item, and a waiting one that a mouse move ends.
TEST_F(MediaShowTest, FlashMoviesPlayWhereTheirItemsSayUntilTheirEnd) {
    Movie("blue.swf", 0x0000FF, 100, 80, 40, 20);
    Movie("green.swf", 0x00FF00, 80, 60, 10000, 30);
    Movie("red.swf", 0xFF0000, 100, 80, 3, 20);
    Movie("yellow.swf", 0xFFFF00, 80, 60, 10000, 30);
    Start(R"({"items": [
        {"class": "BackgroundItem", "color": {"color": 4202496, "fourthValue": 0}},
        {"class": "MediaItem", "name": "Blue", "file": {"path": "blue.swf"}, "mediaType": 3},
        {"class": "MediaItem", "name": "Green", "file": {"path": "green.swf"}, "mediaType": 3},
        {"class": "MediaItem", "name": "Red", "file": {"path": "red.swf"}, "mediaType": 3},
        {"class": "MediaItem", "name": "Yellow", "file": {"path": "yellow.swf"}, "mediaType": 3},
        {"class": "MediaPlayItem", "media": 1, "wait": 1, "centreHorizontally": 1, "centreVertically": 1},
        {"class": "MediaPlayItem", "media": 2, "wait": 1, "timed": 1, "time": 2000, "x": 50, "y": 50},
        {"class": "MediaPlayItem", "media": 3, "loop": 1, "fullScreen": 1},
        {"class": "PauseItem", "duration": 2500},
        {"class": "MediaStopItem", "media": 3},
        {"class": "MediaPlayItem", "media": 4, "wait": 1, "x": 300, "y": 200},
        {"class": "PauseItem", "duration": 600000}
    ]})");
    ASSERT_TRUE(WaitFor([&] { return IsColour(ScreenPixel(512, 384), 0, 0, 255); }, 60s)) << "no centred movie";
    SaveScreenshot("flash-centred");
    EXPECT_TRUE(IsColour(ScreenPixel(463, 345), 0, 0, 255));
    EXPECT_FALSE(IsColour(ScreenPixel(460, 384), 0, 0, 255)) << "the movie has its own size";
    ASSERT_TRUE(WaitFor([&] { return IsColour(ScreenPixel(60, 60), 0, 255, 0); }, 30s)) << "no timed movie";
    EXPECT_FALSE(IsColour(ScreenPixel(512, 384), 0, 0, 255)) << "the first movie ended and went";
    ASSERT_TRUE(WaitFor([&] { return IsColour(ScreenPixel(5, 760), 255, 0, 0); }, 30s)) << "no full-screen movie";
    SaveScreenshot("flash-full-screen");
    EXPECT_FALSE(IsColour(ScreenPixel(60, 60), 0, 255, 0)) << "the timed movie ended by its time";
    ASSERT_TRUE(WaitFor([&] { return IsColour(ScreenPixel(310, 210), 255, 255, 0); }, 30s)) << "no waiting movie";
    EXPECT_FALSE(IsColour(ScreenPixel(5, 760), 255, 0, 0)) << "the stop item ended the looping movie";
    EndByMouseMove();
}

} // namespace
} // namespace showsaver::e2e
