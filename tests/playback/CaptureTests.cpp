#include "codec/Codec.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "playback/Captures.h"
#include "tests/platform/TestSupport.h"

#include <gtest/gtest.h>

namespace showsaver {
namespace {

namespace fs = std::filesystem;
using registry::Hive;

class WallpaperCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No desktop settings of the machine: only the store speaks.
        m_noSchemas = std::make_unique<test::ScopedEnvironment>("XDG_DATA_DIRS", (m_dir.Path() / "empty").string());
        m_store = std::make_unique<registry::Store>(m_dir.Path() / "config");
    }
    void SetWallpaper(const std::string& path, const char* style, const char* tile = nullptr) {
        m_store->Set(Hive::CurrentUser, "Control Panel\\Desktop", "Wallpaper", path);
        if (style) m_store->Set(Hive::CurrentUser, "Control Panel\\Desktop", "WallpaperStyle", std::string(style));
        if (tile) m_store->Set(Hive::CurrentUser, "Control Panel\\Desktop", "TileWallpaper", std::string(tile));
    }
    // A w × h picture: the left half red, the right half blue.
    fs::path WritePicture(const std::string& name, int w, int h, bool jpeg) {
        auto image = codec::RgbImage::Black(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = image.Row(y) + x * 3;
                p[x < w / 2 ? 0 : 2] = 255;
            }
        auto path = m_dir.Path() / name;
        EXPECT_TRUE(jpeg ? codec::WriteJpeg(path, image, 100) : codec::WriteBmp(path, image));
        return path;
    }
    std::optional<codec::RgbImage> Capture(gfx::Size screen, WallpaperStyle& style, codec::Format& format) {
        auto out = m_dir.Path() / "wallpaper.bmp";
        EXPECT_TRUE(CaptureWallpaper(out, *m_store, screen, style));
        auto source = codec::OpenFileSource(out);
        if (!source) return std::nullopt;
        format = codec::GuessFormat(*source);
        return format == codec::Format::Bmp ? codec::ReadBmp(*source) : codec::ReadJpeg(*source);
    }
    static uint32_t Pixel(const codec::RgbImage& image, int x, int y) {
        const uint8_t* p = image.Row(y) + x * 3;
        return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }

    sys::TempDirectory m_dir{fs::temp_directory_path()};
    std::unique_ptr<test::ScopedEnvironment> m_noSchemas;
    std::unique_ptr<registry::Store> m_store;
};

TEST_F(WallpaperCaptureTest, StretchedBmpFillsTheScreen) {
    SetWallpaper(WritePicture("wall.bmp", 4, 2, false).string(), "2");
    WallpaperStyle style;
    codec::Format format;
    auto image = Capture({40, 20}, style, format);
    ASSERT_TRUE(image);
    EXPECT_EQ(style, WallpaperStyle::Stretched);
    EXPECT_EQ(format, codec::Format::Bmp);
    EXPECT_EQ(image->Width(), 40);
    EXPECT_EQ(Pixel(*image, 2, 10), 0xFF0000u);
    EXPECT_EQ(Pixel(*image, 37, 10), 0x0000FFu);
}

TEST_F(WallpaperCaptureTest, TileWinsOverStretch) {
    SetWallpaper(WritePicture("wall.bmp", 4, 2, false).string(), "2", "1");
    WallpaperStyle style;
    codec::Format format;
    auto image = Capture({10, 4}, style, format);
    ASSERT_TRUE(image);
    EXPECT_EQ(style, WallpaperStyle::Tiled);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(Pixel(*image, x, 3), x % 4 < 2 ? 0xFF0000u : 0x0000FFu) << x;
}

TEST_F(WallpaperCaptureTest, CentredLargerThanTheScreenIsCut) {
    SetWallpaper(WritePicture("wall.bmp", 20, 4, false).string(), "0");
    WallpaperStyle style;
    codec::Format format;
    auto image = Capture({10, 2}, style, format);
    ASSERT_TRUE(image);
    EXPECT_EQ(style, WallpaperStyle::Centred);
    // Placed at (-5, -1): the screen shows columns 5..14, red up to 9, blue after.
    EXPECT_EQ(Pixel(*image, 4, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(*image, 5, 0), 0x0000FFu);
}

TEST_F(WallpaperCaptureTest, WebPagesMissingStylesAndOtherFormatsGiveThePlainColourAsJpeg) {
    m_store->Set(Hive::CurrentUser, "Control Panel\\Colors", "Background", std::string("0 128 255"));
    for (auto [name, style] : {std::pair{"page.htm", "0"}, std::pair{"wall.bmp", static_cast<const char*>(nullptr)},
                               std::pair{"missing.jpg", "2"}}) {
        for (auto value : {"Wallpaper", "WallpaperStyle", "TileWallpaper"})
            m_store->Delete(Hive::CurrentUser, "Control Panel\\Desktop", value);
        auto path = std::string(name) == "wall.bmp" ? WritePicture(name, 4, 2, false) : m_dir.Path() / name;
        SetWallpaper(path.string(), style);
        WallpaperStyle reported;
        codec::Format format;
        auto image = Capture({8, 8}, reported, format);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(format, codec::Format::Jpeg) << name;
        uint32_t p = Pixel(*image, 4, 4);
        EXPECT_NEAR(static_cast<int>(p >> 16), 0, 2) << name;
        EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 128, 2) << name;
        EXPECT_NEAR(static_cast<int>(p & 0xFF), 255, 2) << name;
    }
}

} // namespace
} // namespace showsaver
