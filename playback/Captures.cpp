#include "playback/Captures.h"

#include "playback/RootWindow.h"

#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "platform/registry/Store.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/UiLoop.h"

#include <gdk/gdk.h>
#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace showsaver {

namespace {

constexpr const char* kDesktopKey = "Control Panel\\Desktop";
constexpr const char* kColorsKey = "Control Panel\\Colors";
constexpr const char* kGnomeSchema = "org.gnome.desktop.background";

// A surface's pixels as an RGB image.
codec::RgbImage RgbOf(gfx::Surface& surface) {
    auto lock = surface.LockForReading();
    return codec::XrgbToRgb(reinterpret_cast<const uint32_t*>(surface.Data()), surface.Width(), surface.Height(),
                            static_cast<size_t>(surface.Stride()));
}

// The GNOME desktop's wallpaper, when its settings schema is installed.
std::optional<WallpaperSetting> ReadGnomeWallpaper() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return std::nullopt;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, kGnomeSchema, TRUE);
    if (!schema) return std::nullopt;
    g_settings_schema_unref(schema);
    GSettings* settings = g_settings_new(kGnomeSchema);
    WallpaperSetting setting;
    gchar* uri = g_settings_get_string(settings, "picture-uri");
    gchar* options = g_settings_get_string(settings, "picture-options");
    gchar* color = g_settings_get_string(settings, "primary-color");
    if (gchar* file = g_filename_from_uri(uri, nullptr, nullptr)) {
        setting.path = file;
        g_free(file);
    }
    std::string style = options;
    if (style == "wallpaper") setting.style = WallpaperStyle::Tiled;
    else if (style == "stretched" || style == "zoom" || style == "scaled") setting.style = WallpaperStyle::Stretched;
    else if (style == "none") setting.path.clear();
    GdkRGBA rgba;
    if (gdk_rgba_parse(&rgba, color))
        setting.background = gfx::Rgb(static_cast<uint8_t>(rgba.red * 255 + 0.5), static_cast<uint8_t>(rgba.green * 255 + 0.5),
                                      static_cast<uint8_t>(rgba.blue * 255 + 0.5));
    g_free(uri);
    g_free(options);
    g_free(color);
    g_object_unref(settings);
    return setting;
}

bool WritePlainBackground(const std::filesystem::path& path, gfx::Size screen, gfx::ColorRef color) {
    auto canvas = gfx::Surface::Create(std::max(screen.width, 1), std::max(screen.height, 1));
    if (!canvas) return false;
    auto dc = gfx::SurfaceContext::ForMemory(screen);
    gfx::ScopedSelection select(*dc, canvas);
    dc->FillSolid(canvas->Bounds(), color);
    return codec::WriteJpeg(path, RgbOf(*canvas), 100);
}

} // namespace

bool CaptureDesktop(const std::filesystem::path& path) {
    if (!ui::InitUi()) return false;
    if (ui::IsWayland()) {
        // A Wayland compositor lets no client read the screen: the desktop
        // is a black picture of the screen's size.
        auto [width, height] = ui::GetScreenSize();
        return codec::WriteBmp(path, codec::RgbImage::Black(std::max(width, 1), std::max(height, 1)));
    }
    auto image = ReadRootWindow();
    return image && codec::WriteBmp(path, *image);
}

WallpaperSetting ReadWallpaperSetting(const registry::Store& store) {
    using registry::Hive;
    WallpaperSetting setting;
    auto wallpaper = store.GetString(Hive::CurrentUser, kDesktopKey, "Wallpaper");
    if (!wallpaper) return ReadGnomeWallpaper().value_or(WallpaperSetting{});
    auto style = store.GetString(Hive::CurrentUser, kDesktopKey, "WallpaperStyle");
    if (!style) return setting;   // a wallpaper without a style counts as none
    if (std::atoi(style->c_str()) == 2) setting.style = WallpaperStyle::Stretched;
    if (auto tile = store.GetString(Hive::CurrentUser, kDesktopKey, "TileWallpaper"); tile && std::atoi(tile->c_str()) == 1)
        setting.style = WallpaperStyle::Tiled;
    setting.path = *wallpaper;
    return setting;
}

bool CaptureWallpaper(const std::filesystem::path& path, const registry::Store& store, gfx::Size screen,
                      WallpaperStyle& style) {
    WallpaperSetting setting = ReadWallpaperSetting(store);
    style = setting.style;
    gfx::ColorRef background = setting.background.value_or(
        gfx::DesktopBackgroundColor(store.GetString(registry::Hive::CurrentUser, kColorsKey, "Background")));

    std::string extension = std::filesystem::path(setting.path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::toupper(c); });
    std::optional<codec::RgbImage> image;
    if (!setting.path.empty() && extension != ".HTML" && extension != ".HTM" && extension != ".GIF") {
        if (auto source = codec::OpenFileSource(setting.path)) {
            auto format = codec::GuessFormat(*source);
            if (format == codec::Format::Bmp) image = codec::ReadBmp(*source);
            if (format == codec::Format::Jpeg) image = codec::ReadJpeg(*source);
        }
    }
    if (!image) return WritePlainBackground(path, screen, background);

    auto canvas = gfx::Surface::Create(std::max(screen.width, 1), std::max(screen.height, 1));
    auto picture = gfx::Surface::Create(image->Width(), image->Height());
    if (!canvas || !picture) {
        ui::ShowMessageBox("", "Memory allocation problem during making of actual wallpaper image");
        return false;
    }
    codec::RgbToXrgb(*image, reinterpret_cast<uint32_t*>(picture->Data()), static_cast<size_t>(picture->Stride()));
    auto dc = gfx::SurfaceContext::ForMemory(screen);
    auto source = gfx::SurfaceContext::ForMemory(screen);
    gfx::ScopedSelection selectCanvas(*dc, canvas);
    gfx::ScopedSelection selectPicture(*source, picture);
    int w = image->Width(), h = image->Height();
    switch (style) {
    case WallpaperStyle::Centred:
        dc->FillSolid(canvas->Bounds(), background);
        if (w && h) dc->BitBlt((screen.width - w) / 2, (screen.height - h) / 2, w, h, *source, 0, 0);
        break;
    case WallpaperStyle::Tiled:
        for (int column = 0; column <= screen.width / w; ++column)
            for (int row = 0; row <= screen.height / h; ++row) dc->BitBlt(column * w, row * h, w, h, *source, 0, 0);
        break;
    case WallpaperStyle::Stretched: dc->StretchBlt(0, 0, screen.width, screen.height, *source, 0, 0, w, h); break;
    }
    return codec::WriteBmp(path, RgbOf(*canvas));
}

} // namespace showsaver
