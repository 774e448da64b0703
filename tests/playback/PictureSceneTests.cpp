// Pictures and captions shown and hidden by their scenes on a memory screen:
// the placements without a transition (at a position, tiled, stretched),
// pictures cut by the screen's edges, captions drawn straight over the
// screen, the typewriter, the saved background and the random effect.

#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "playback/PictureItem.h"
#include "playback/PictureScenes.h"
#include "platform/sys/TempFiles.h"
#include "support/FakePlayer.h"
#include "support/ShowBytes.h"
#include "tools/showpack/Commands.h"

#include <gtest/gtest.h>

#include <fstream>

namespace showsaver {
namespace {

namespace fs = std::filesystem;

constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;
constexpr uint32_t kOld = 0x00123456;   // what the screen shows before

// The picture's pixel at (x, y): every pixel distinct, none the key white.
uint8_t Red(int x, int) { return static_cast<uint8_t>(40 + x % 200); }
uint8_t Green(int, int y) { return static_cast<uint8_t>(30 + y % 200); }
uint32_t PicturePixel(int x, int y) { return uint32_t{Red(x, y)} << 16 | uint32_t{Green(x, y)} << 8 | 0x77; }

// Plays scenes of a show built from a description, with pictures written
// as BMP files, against a memory screen of 1024 × 768.
class SceneFixture {
public:
    SceneFixture() {
        m_screen = std::make_shared<gfx::Surface>(kScreenW, kScreenH);
        Fill(kOld);
        m_dc = gfx::SurfaceContext::ForScreen(m_screen);
    }

    void WritePicture(const std::string& name, int w, int h) {
        auto image = codec::RgbImage::Uninitialized(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = image.Row(y) + 3 * x;
                p[0] = Red(x, y), p[1] = Green(x, y), p[2] = 0x77;
            }
        ASSERT_TRUE(codec::WriteBmp(m_dir.Path() / name, image));
    }

    // Builds and loads the show; the items are numbered as described.
    void Load(const std::string& items) {
        std::ofstream(m_dir.Path() / "show.json") << R"({"items": [)" + items + "]}";
        auto bytes = showpack::BuildShow(m_dir.Path() / "show.json");
        ASSERT_TRUE(bytes) << bytes.Error().what;
        m_loaded = testing::LoadBytes(*bytes, &m_player.messages);
        ASSERT_FALSE(m_loaded.error) << m_loaded.error->what;
        ASSERT_TRUE(m_player.messages.messages.empty()) << m_player.messages.messages[0].text;
    }

    void Play(int index) {
        int at = index;
        m_loaded.Items().At(index).Play(*m_dc, at, m_player);
    }
    PictureItem& Picture(int index) { return static_cast<PictureItem&>(m_loaded.Items().At(index)); }
    PicturePlacement& Placement(int index) {
        return static_cast<PictureSceneItem&>(m_loaded.Items().At(index)).picture.placement;
    }

    void Fill(uint32_t value) {
        for (int y = 0; y < kScreenH; ++y)
            for (int x = 0; x < kScreenW; ++x) m_screen->Row(y)[x] = value;
    }
    uint32_t At(int x, int y) const { return m_screen->Row(y)[x] & 0xFFFFFF; }
    gfx::Surface Snapshot() const { return m_screen->Clone(); }
    // The first pixel where the screen differs from `expected(x, y)`.
    template <class Expected>
    std::optional<gfx::Point> FirstMismatch(Expected expected) const {
        for (int y = 0; y < kScreenH; ++y)
            for (int x = 0; x < kScreenW; ++x)
                if (At(x, y) != (expected(x, y) & 0xFFFFFF)) return gfx::Point{x, y};
        return std::nullopt;
    }

    testing::FakePlayer m_player;

private:
    sys::TempDirectory m_dir{fs::temp_directory_path()};
    std::shared_ptr<gfx::Surface> m_screen;
    std::unique_ptr<gfx::SurfaceContext> m_dc;
    testing::Loaded m_loaded;
};

std::string Show(int picture, const std::string& placement) {
    return R"({"class": "ShowPictureItem", "picture": )" + std::to_string(picture) +
           R"(, "placement": {)" + placement + "}}";
}
std::string Hide(int picture) { return R"({"class": "HidePictureItem", "picture": )" + std::to_string(picture) + "}"; }
constexpr const char* kPicture = R"({"class": "PictureItem", "file": {"path": "p.bmp"}})";

TEST(PictureScenes, EffectZeroDrawsThePictureAtItsPositionOnly) {
    SceneFixture f;
    f.WritePicture("p.bmp", 50, 40);
    f.Load(std::string(kPicture) + "," + Show(0, R"("startXMode": 5, "startYMode": 5, "startX": 300, "startY": 200)"));
    f.Play(1);
    auto wrong = f.FirstMismatch([](int x, int y) {
        bool inside = x >= 300 && x < 350 && y >= 200 && y < 240;
        return inside ? PicturePixel(x - 300, y - 200) : kOld;
    });
    EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
    EXPECT_EQ(f.Picture(0).shown, 1);
}

TEST(PictureScenes, EffectOneTilesTheScreenFromTheTopLeft) {
    // 100 × 100 on 1024 × 768: 11 columns and 8 rows of tiles, the last
    // ones cut by the screen's edges.
    SceneFixture f;
    f.WritePicture("p.bmp", 100, 100);
    f.Load(std::string(kPicture) + "," + Show(0, R"("effectNumber": 1)"));
    f.Play(1);
    auto wrong = f.FirstMismatch([](int x, int y) { return PicturePixel(x % 100, y % 100); });
    EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
}

TEST(PictureScenes, EffectTwoStretchesOverTheScreenAndErasingFillsTheScreen) {
    SceneFixture f;
    f.WritePicture("p.bmp", 64, 48);
    f.Load(std::string(kPicture) + "," + Show(0, R"("effectNumber": 2)") + "," + Hide(0));
    f.Play(1);
    // 16 screen pixels per picture pixel, both ways.
    auto wrong = f.FirstMismatch([](int x, int y) { return PicturePixel(x / 16, y / 16); });
    EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
    f.m_player.window.SetBackground(0x00ABCDEF);
    f.Play(2);
    // The window's colour, as a GDI COLORREF (0x00BBGGRR), on the screen as xRGB.
    EXPECT_FALSE(f.FirstMismatch([](int, int) { return 0x00EFCDABu; }));
    EXPECT_EQ(f.Picture(0).shown, 0);
}

TEST(PictureScenes, APicturePartlyOffTheScreenShowsItsVisiblePartFromTheEdge) {
    SceneFixture f;
    f.WritePicture("p.bmp", 80, 60);
    f.Load(std::string(kPicture) + "," +
           Show(0, R"("startXMode": 5, "startYMode": 5, "startX": -30, "startY": -20, "effectNumber": 37,
                      "transitionDelayValue": 100)"));
    f.Play(1);
    auto wrong = f.FirstMismatch([](int x, int y) {
        return x < 50 && y < 40 ? PicturePixel(x + 30, y + 20) : kOld;
    });
    EXPECT_FALSE(wrong) << wrong->x << "," << wrong->y;
    // The stored position learned where the picture now starts.
    EXPECT_EQ(f.Picture(0).targetPlacement.currentX, 0);
    EXPECT_EQ(f.Picture(0).targetPlacement.currentY, 0);
    // 40 rows wiped, one standard pause after each.
    EXPECT_EQ(f.m_player.waits.size(), 40u);
}

TEST(PictureScenes, ARandomEffectIsDrawnOnceAndKept) {
    SceneFixture f;
    f.WritePicture("p.bmp", 20, 10);
    f.Load(std::string(kPicture) + "," + Show(0, R"("effectNumber": 3)"));
    f.Play(1);
    int32_t chosen = f.Placement(1).effectNumber;
    EXPECT_GE(chosen, 4);
    EXPECT_LE(chosen, 87);
    for (int again = 0; again < 3; ++again) {
        f.Play(1);
        EXPECT_EQ(f.Placement(1).effectNumber, chosen);
    }
    EXPECT_EQ(f.At(5, 5), PicturePixel(5, 5) & 0xFFFFFF);
}

TEST(PictureScenes, SavedBackgroundComesBackWhenHiddenAndHidingTwiceDoesNothing) {
    SceneFixture f;
    f.WritePicture("p.bmp", 70, 30);
    f.Load(std::string(kPicture) + "," +
           Show(0, R"("startXMode": 5, "startYMode": 5, "startX": 10, "startY": 12, "saveBackground": 1)") + "," +
           Hide(0));
    gfx::Surface before = f.Snapshot();
    f.Play(1);
    EXPECT_EQ(f.At(10, 12), PicturePixel(0, 0) & 0xFFFFFF);
    f.Play(2);
    EXPECT_FALSE(f.FirstMismatch([&](int x, int y) { return before.Row(y)[x]; }));
    EXPECT_EQ(f.Picture(0).shown, 0);
    EXPECT_FALSE(f.Picture(0).savedBackground);
    // The second hide finds the picture hidden and draws nothing.
    f.Fill(0x00010203);
    f.Play(2);
    EXPECT_FALSE(f.FirstMismatch([](int, int) { return 0x00010203u; }));
}

TEST(PictureScenes, HidingWithoutSavedBackgroundErasesWithTheWindowColour) {
    SceneFixture f;
    f.WritePicture("p.bmp", 30, 20);
    f.Load(std::string(kPicture) + "," + Show(0, R"("startXMode": 5, "startYMode": 5, "startX": 5, "startY": 6)") +
           "," + Hide(0));
    f.Play(1);
    f.m_player.window.SetBackground(0x000000FF);   // red
    f.Play(2);
    EXPECT_FALSE(f.FirstMismatch([](int x, int y) {
        return x >= 5 && x < 35 && y >= 6 && y < 26 ? 0x00FF0000u : kOld;
    }));
}

constexpr const char* kCaption = R"({"class": "PictureItem", "contentType": 1, "opaque": 0,
     "textColor": 255, "backgroundColor": 0, "textAlignment": 0, "text": "Hi\r\nyo",
     "font": {"height": -40, "weight": 700, "faceName": "Arial"}})";

TEST(PictureScenes, ACaptionWithoutBackgroundIsDrawnStraightOverTheScreen) {
    SceneFixture f;
    f.Load(std::string(kCaption) + "," + Show(0, R"("startXMode": 5, "startYMode": 5, "startX": 100, "startY": 100)"));
    f.Play(1);
    // Only red glyph pixels and the old screen: no background box.
    size_t red = 0, other = 0;
    for (int y = 0; y < kScreenH; ++y)
        for (int x = 0; x < kScreenW; ++x) {
            uint32_t v = f.At(x, y);
            if (v == 0xFF0000) ++red;
            else if (v != kOld) ++other;
        }
    EXPECT_GT(red, 200u);
    // Anti-aliased edges blend with the key colour, never beyond the caption.
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(f.At(99, 99), kOld);
}

TEST(PictureScenes, TheTypewriterShowsOneVisibleCharacterPerStep) {
    SceneFixture f;
    f.Load(std::string(kCaption) + "," +
           Show(0, R"("startXMode": 5, "startYMode": 5, "startX": 100, "startY": 100, "typewriter": 1,
                      "typingSpeed": 1750)"));
    PictureItem& caption = f.Picture(0);
    // Each step leaves the index on the character it showed; line breaks
    // are skipped, and the last step says no more follow.
    std::vector<int> shown;
    int index = 0;
    bool more = true;
    for (; more; ++index) {
        more = caption.TypeStep(*gfx::SurfaceContext::ForScreen(std::make_shared<gfx::Surface>(400, 300)),
                                f.m_player, index);
        shown.push_back(index);
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 4, 5}));
    // Played as a scene: a pause of 250 ms, in steps of 100 and the rest,
    // after each step but the last, which leaves the whole caption shown.
    f.Play(1);
    EXPECT_EQ(f.m_player.sleeps, (std::vector<uint32_t>{100, 100, 50, 100, 100, 50, 100, 100, 50}));
}

TEST(PictureScenes, AStopRequestEndsTheTypewriterAtOnce) {
    SceneFixture f;
    f.Load(std::string(kCaption) + "," +
           Show(0, R"("startXMode": 5, "startYMode": 5, "startX": 100, "startY": 100, "typewriter": 1,
                      "typingSpeed": 1000)"));
    f.m_player.stopAfterSleeps = 1;
    f.Play(1);
    EXPECT_EQ(f.m_player.sleeps.size(), 1u);
}

} // namespace
} // namespace showsaver
