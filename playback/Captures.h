#pragma once
// The captures of the user's desktop and wallpaper that pictures of source 2
// and 3 show: taken at start-up, in every run mode, into "desktop.bmp" and
// "wallpaper.bmp" of the process's private temporary directory.

#include "gfx/Color.h"
#include "gfx/Geometry.h"

#include <filesystem>
#include <optional>
#include <string>

namespace showsaver {

namespace registry { class Store; }

enum class WallpaperStyle : int32_t { Centred = 0, Tiled = 1, Stretched = 2 };

struct WallpaperSetting {
    std::string path;   // empty: no wallpaper
    WallpaperStyle style = WallpaperStyle::Centred;
    std::optional<gfx::ColorRef> background;   // the desktop's own colour, when it says one
};

// The screen as it is now (the X root window), written as a 24-bit BMP.
// False without a display.
bool CaptureDesktop(const std::filesystem::path& path);

// The wallpaper from HKEY_CURRENT_USER\Control Panel\Desktop ("Wallpaper",
// "WallpaperStyle", "TileWallpaper"); without a "Wallpaper" value, from the
// GNOME desktop's settings when their schema is installed.
WallpaperSetting ReadWallpaperSetting(const registry::Store& store);

// The wallpaper as the desktop shows it, screen-sized, as a 24-bit BMP; or,
// without a usable BMP or JPEG wallpaper, the screen filled with the desktop
// background colour, written as JPEG data under the same name. Reports the
// style; false when nothing could be written.
bool CaptureWallpaper(const std::filesystem::path& path, const registry::Store& store, gfx::Size screen,
                      WallpaperStyle& style);

} // namespace showsaver
