// The two video players of the media items, against recording layers: the
// waiting video window and the background panel with its commands.

#include "SdlSink.h"
#include "VideoFixtures.h"

#include "media/VideoPanel.h"
#include "media/VideoWindow.h"

#include <thread>

namespace showsaver::testing {
namespace {

using media::CVideoPanel;
using media::CVideoWindow;

// The panel's owner when commands come from the owner's own thread.
class DirectOwner : public media::OwnerThread {
public:
    bool Invoke(std::function<void()> call) override {
        call();
        return true;
    }
};

// Real SDL sinks on the disk driver, counted.
class SdlSinks : public media::AudioSinkFactory {
public:
    explicit SdlSinks(const std::filesystem::path& recording) : m_audio(recording) {}
    std::unique_ptr<video::AudioSink> CreateSink() override {
        ++m_made;
        return std::make_unique<SdlSink>();
    }
    int Made() const { return m_made; }

private:
    DiskAudio m_audio;
    std::atomic<int> m_made {0};
};

class VideoPlayers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_fixtures = new VideoFixtures; }
    static void TearDownTestSuite() { delete s_fixtures; }
    // Opens a fixture's file.
    static media::VideoOpener Opener(const std::filesystem::path& file) {
        return [file] { return video::VideoFile::Open(file); };
    }
    static media::VideoOpener Opener(const VideoRecipe& recipe) { return Opener(s_fixtures->Make(recipe)); }
    static VideoFixtures* s_fixtures;
    RecordingLayers m_layers;
    sys::Event m_stop;
};
VideoFixtures* VideoPlayers::s_fixtures = nullptr;

TEST_F(VideoPlayers, WindowPlaysOnceAtItsOwnSizeAtThePointThenFinishCloses) {
    CVideoWindow window(m_layers, nullptr, m_stop);
    ASSERT_TRUE(window.Start(-1, 30, 40, Opener({.codec = "mpeg4", .frames = 10, .rate = 20})));
    // Start returned at the video's end: every picture has been shown.
    const auto layers = m_layers.Layers();
    ASSERT_EQ(layers.size(), 1u);
    EXPECT_EQ(layers[0].topLeft, (gfx::Point {30, 40}));
    EXPECT_EQ(layers[0].size, (gfx::Size {64, 48}));
    EXPECT_EQ(layers[0].target->Centres().size(), 10u);
    EXPECT_TRUE(*layers[0].alive);
    window.Finish();
    EXPECT_FALSE(*layers[0].alive);
}

TEST_F(VideoPlayers, WindowReturnsAtOnceOnTheStopEvent) {
    CVideoWindow window(m_layers, nullptr, m_stop);
    window.SetMute(true);
    std::thread stopper([&] {
        m_layers.WaitForLayer(1).target->WaitForFrames(1);
        m_stop.Set();
    });
    EXPECT_TRUE(window.Start(-1, 0, 0, Opener({.codec = "mjpeg", .frames = 600, .rate = 10, .sound = true})));
    stopper.join();
    window.Finish();
    EXPECT_LT(m_layers.Layers()[0].target->Centres().size(), 10u);
}

TEST_F(VideoPlayers, WindowOnAFileThatDoesNotPlayShowsNothing) {
    CVideoWindow window(m_layers, nullptr, m_stop);
    EXPECT_FALSE(window.Start(-1, 0, 0, Opener(s_fixtures->Write("noise.avi", std::vector<uint8_t>(5000, 0x5a)))));
    EXPECT_TRUE(m_layers.Layers().empty());
}

TEST_F(VideoPlayers, PanelCommandsOpenPlayStopCloseAndPlayNothingAfterAClose) {
    DirectOwner owner;
    CVideoPanel panel(owner, m_layers, nullptr);
    panel.Open(Opener({.codec = "cinepak", .frames = 10, .rate = 25}));   // 100
    panel.SetPosition({7, 9});       // 140
    EXPECT_FALSE(panel.IsVisible());
    panel.Play(1);                   // 110, once
    ASSERT_EQ(m_layers.Layers().size(), 1u);
    EXPECT_TRUE(panel.IsVisible());
    auto layer = m_layers.Layers()[0];
    EXPECT_EQ(layer.topLeft, (gfx::Point {7, 9}));
    EXPECT_EQ(layer.size, (gfx::Size {64, 48}));
    layer.target->WaitForFrames(10);
    panel.Stop();                    // 120: the last picture stays
    EXPECT_EQ(layer.target->Centres().size(), 10u);
    EXPECT_TRUE(*layer.alive);

    panel.SetPosition({1, 2});
    panel.Play(0);                   // 110, repeating
    layer = m_layers.Layers().at(1);
    EXPECT_EQ(layer.topLeft, (gfx::Point {1, 2}));
    layer.target->WaitForFrames(25);
    EXPECT_GE(panel.Counts().rounds, 2u);
    panel.Stop();
    panel.Close();                   // 130: closed and hidden
    EXPECT_FALSE(*layer.alive);
    EXPECT_FALSE(panel.IsVisible());

    panel.Play(1);                   // 110 without a new 100
    EXPECT_EQ(m_layers.Layers().size(), 2u);
    EXPECT_FALSE(panel.IsVisible());

    panel.Open(Opener(s_fixtures->Write("bad.avi", {1, 2, 3})));   // a failed open leaves the panel empty
    panel.Play(0);
    panel.Stop();
    panel.Close();
    EXPECT_EQ(m_layers.Layers().size(), 2u);
}

// Mute switches an opened video's sound off: no sink is asked for.
TEST_F(VideoPlayers, BothPlayersPlayWithoutSoundWhenMuted) {
    DirectOwner owner;
    for (bool mute : {false, true}) {
        SCOPED_TRACE(mute ? "muted" : "with sound");
        SdlSinks sinks(s_fixtures->Dir() / "players.raw");
        const VideoRecipe tone {.codec = "msvideo1", .frames = 5, .rate = 25, .sound = true};
        CVideoWindow window(m_layers, &sinks, m_stop);
        window.SetMute(mute);
        ASSERT_TRUE(window.Start(-1, 0, 0, Opener(tone)));
        window.Finish();
        CVideoPanel panel(owner, m_layers, &sinks);
        panel.SetMute(mute);
        panel.Open(Opener(tone));
        panel.Play(1);
        panel.Close();
        EXPECT_EQ(sinks.Made(), mute ? 0 : 2);
    }
}

} // namespace
} // namespace showsaver::testing
