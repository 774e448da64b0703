// Shows played by the packed engine on a real X server end with the screen
// that showpack render draws without a display (four pictures; a moving
// picture and lines), and a mouse move then ends them without leaving a
// temporary file behind.

#include "tests/e2e/EngineTest.h"
#include "tests/support/Command.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace showsaver::e2e {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::RunCommand;

const fs::path kBinaries = SHOWSAVER_BINARY_DIR;

// Four pictures: the harbour at a stored position with no effect, a large
// gradient (over 256 KiB, so it stays in the show's file until it is shown)
// dissolved in at the top right, the mosaic wiped in at the centre, the
// badge sliding in at the bottom right. The show then waits until it is
// ended.
constexpr const char* kPictures = R"({"items": [
    {"class": "BackgroundItem", "color": {"color": 4202496, "fourthValue": 0}},
    {"class": "PictureItem", "name": "Harbour", "file": {"path": "harbour.jpg"}},
    {"class": "PictureItem", "name": "Mosaic", "file": {"path": "mosaic.bmp"}},
    {"class": "PictureItem", "name": "Badge", "file": {"path": "badge.bmp"}},
    {"class": "PictureItem", "name": "Large", "file": {"path": "large.bmp"}},
    {"class": "ShowPictureItem", "picture": 1,
     "placement": {"startXMode": 5, "startYMode": 5, "startX": 40, "startY": 30}},
    {"class": "ShowPictureItem", "picture": 4,
     "placement": {"startXMode": 5, "startYMode": 5, "startX": 600, "startY": 20, "effectNumber": 4, "transitionDelayValue": 1000}},
    {"class": "ShowPictureItem", "picture": 2,
     "placement": {"startXMode": 1, "startYMode": 1, "effectNumber": 37, "transitionDelayValue": 1000}},
    {"class": "ShowPictureItem", "picture": 3,
     "placement": {"startXMode": 2, "startYMode": 2, "effectNumber": 24, "transitionDelayValue": 900}},
    {"class": "PauseItem", "duration": 600000}
]})";

class PlaybackTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        SetEnvironment("TMPDIR", (m_scratch.Path() / "tmp").string());
        fs::create_directories(m_scratch.Path() / "tmp");
        StoreCalibration();
        auto pictures = RunCommand(Quoted((kBinaries / "make_pictures").string()) + " " + Quoted(m_scratch.Path().string()));
        ASSERT_EQ(pictures.status, 0) << pictures.err;
        auto large = RunCommand("convert -size 400x300 gradient:gold-teal BMP3:" + Quoted((m_scratch.Path() / "large.bmp").string()));
        ASSERT_EQ(large.status, 0) << large.err;
    }
    void TearDown() override {
        m_saver.Stop();
        EngineTest::TearDown();
    }
    fs::path Pack(const std::string& description) {
        std::ofstream(m_scratch.Path() / "show.json") << description;
        auto saver = m_scratch.Path() / "saver";
        auto built = showpack::BuildPacked(m_scratch.Path() / "show.json", kBinaries / "showsaver", saver);
        if (!built) ADD_FAILURE() << built.Error().what;
        return saver;
    }

    // The show played by showpack render without a display into a memory
    // screen of the virtual display's size, as raw RGB bytes.
    std::string Render(const fs::path& saver);
    // Plays the packed show on the X server until the whole screen equals
    // `rendered`, pixel for pixel, then ends it with a mouse move and checks
    // that it left no temporary file.
    void PlayUntilTheScreenIs(const fs::path& saver, const std::string& rendered, const std::string& name);

    ChildProcess m_saver;
};

// The screen as raw RGB bytes, read with ImageMagick.
std::string ScreenBytes(const std::string& from) {
    return RunCommand("convert " + Quoted(from) + " -depth 8 rgb:-").out;
}

std::string Pixel(const std::string& rgb, int x, int y) { return rgb.substr((static_cast<size_t>(y) * 1024 + x) * 3, 3); }

std::string PlaybackTest::Render(const fs::path& saver) {
    auto render = RunCommand(Quoted((kBinaries / "showpack").string()) + " render " + Quoted(saver.string()) +
                             " --size 1024x768 --out " + Quoted((m_scratch.Path() / "render").string()) + " --fast");
    EXPECT_EQ(render.status, 0) << render.err;
    return ScreenBytes((m_scratch.Path() / "render" / "final.png").string());
}

void PlaybackTest::PlayUntilTheScreenIs(const fs::path& saver, const std::string& rendered, const std::string& name) {
    m_saver = ChildProcess::Spawn({saver.string(), "/s"}, (m_scratch.Path() / "saver.log").string());
    // The show ends on its long pause: from then on the whole screen must
    // equal the render.
    std::string shot = (m_scratch.Path() / "screen.png").string();
    std::string screen;
    bool same = WaitFor([&] {
        if (RunCommand("import -window root " + Quoted(shot)).status != 0) return false;
        screen = ScreenBytes(shot);
        return screen == rendered;
    });
    SaveScreenshot(name);
    if (!same) {
        size_t differing = screen.size() == rendered.size() ? 0 : std::string::npos;
        for (size_t i = 0; differing != std::string::npos && i < screen.size(); ++i) differing += screen[i] != rendered[i];
        FAIL() << "the screen never equalled the render; bytes differing at the end: " << differing;
    }
    ASSERT_TRUE(Xdo("mousemove_relative 5 5"));
    auto status = m_saver.WaitForExit(30s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
    // The embedded pictures went through temporary files; none is left.
    for (auto& entry : fs::recursive_directory_iterator(m_scratch.Path() / "tmp"))
        ADD_FAILURE() << "left behind: " << entry.path();
}

TEST_F(PlaybackTest, PicturesEndAsTheHeadlessRenderDrawsThem) {
    fs::path saver = Pack(kPictures);
    std::string rendered = Render(saver);
    ASSERT_EQ(rendered.size(), 1024u * 768u * 3u);

    // The render puts the last picture, the 96 × 96 badge, in the
    // bottom-right corner, and the harbour at (40, 30).
    std::string background = Pixel(rendered, 5, 5);
    EXPECT_NE(Pixel(rendered, 1024 - 96, 768 - 96), background);
    EXPECT_EQ(Pixel(rendered, 1024 - 97, 768 - 96), background);
    EXPECT_EQ(Pixel(rendered, 1024 - 96, 768 - 97), background);
    EXPECT_NE(Pixel(rendered, 40, 30), background);
    EXPECT_EQ(Pixel(rendered, 39, 30), background);
    EXPECT_NE(Pixel(rendered, 999, 20), background) << "the large picture's top right corner";
    EXPECT_EQ(Pixel(rendered, 1000, 20), background);

    PlayUntilTheScreenIs(saver, rendered, "pictures");
}

// The badge moves over the harbour keeping the screen behind it, a second
// time on a vertical path over the background, and three lines cross the
// screen: solid, dashed and three pixels wide.
constexpr const char* kMovingPictureAndLines = R"({"items": [
    {"class": "BackgroundItem", "color": {"color": 4202496, "fourthValue": 0}},
    {"class": "PictureItem", "name": "Harbour", "file": {"path": "harbour.jpg"}},
    {"class": "PictureItem", "name": "Badge", "file": {"path": "badge.bmp"}},
    {"class": "ShowPictureItem", "picture": 1,
     "placement": {"startXMode": 5, "startYMode": 5, "startX": 40, "startY": 30}},
    {"class": "LineItem", "color": {"color": 255}, "penWidth": 1,
     "placement": {"startX": 0, "startY": 700, "endXMode": 2, "endX": 0, "endY": 20}},
    {"class": "LineItem", "color": {"color": 65535}, "penStyle": 1,
     "placement": {"startX": 10, "startY": 740, "endX": 1000, "endY": 740}},
    {"class": "LineItem", "color": {"color": 16776960}, "penStyle": 2, "penWidth": 3,
     "placement": {"startXMode": 1, "startYMode": 0, "endXMode": 1, "endYMode": 2}},
    {"class": "PictureEffectItem", "picture": 2,
     "placement": {"startX": 20, "startY": 380, "endX": 600, "endY": 120, "xStep": 12,
                   "movementDelay": 96000, "keepScreenBehind": 1}},
    {"class": "PictureEffectItem", "picture": 2,
     "placement": {"startX": 800, "startY": 40, "endX": 800, "endY": 600, "xStep": -14,
                   "movementDelay": 96000}},
    {"class": "PauseItem", "duration": 600000}
]})";

TEST_F(PlaybackTest, AMovingPictureAndLinesEndAsTheHeadlessRenderDrawsThem) {
    fs::path saver = Pack(kMovingPictureAndLines);
    std::string rendered = Render(saver);
    ASSERT_EQ(rendered.size(), 1024u * 768u * 3u);
    // The badge rests where each path ended (the vertical one reached its
    // end although its step pointed away), and the screen it crossed over
    // the harbour is the harbour again.
    std::string background = Pixel(rendered, 1010, 5);
    EXPECT_NE(Pixel(rendered, 600 + 48, 120 + 48), background);
    EXPECT_NE(Pixel(rendered, 800 + 48, 600 + 48), background);
    EXPECT_EQ(Pixel(rendered, 800 + 48, 40 + 48), background);
    EXPECT_NE(Pixel(rendered, 60, 400), background);   // the harbour where the badge started
    // The dashed line: a dash from x = 10 on, a gap of the screen's
    // background colour at the dash's end.
    EXPECT_EQ(Pixel(rendered, 10, 740), std::string("\xFF\xFF\x00", 3));
    EXPECT_NE(Pixel(rendered, 30, 740), std::string("\xFF\xFF\x00", 3));

    PlayUntilTheScreenIs(saver, rendered, "moving-picture-and-lines");
}

} // namespace
} // namespace showsaver::e2e
