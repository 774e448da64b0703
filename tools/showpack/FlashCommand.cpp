// showpack flash: writes the first frames of a Flash movie as PNG files, as
// the player draws them, so authors and tests can see what it shows. The
// movie plays as the engine plays it: on the player's own clock (here one
// that jumps to each frame's time), its root looping unless the
// movie stops it.

#include "tools/showpack/Commands.h"

#include "gfx/Surface.h"
#include "flash/player/FlashPlayer.h"

#include <cairo.h>

#include <cstdio>
#include <ostream>

namespace showsaver::showpack {

int Flash(const FlashOptions& options, std::ostream& out, std::ostream& err) {
    flash::Player player;
    std::string error;
    if (!player.Load(options.file, error)) {
        err << "showpack: " << options.file.string() << ": " << error << "\n";
        return 1;
    }
    for (const std::string& warning : player.Warnings()) err << "showpack: " << options.file.string() << ": " << warning << "\n";
    auto screen = gfx::Surface::Create(options.width, options.height);
    if (!screen) {
        err << "showpack: cannot make an area of " << options.width << " x " << options.height << "\n";
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(options.outDir, ec);
    player.Advance(flash::Player::Clock::time_point{});   // starts the clock on the first frame
    out << "stage " << player.StageSize().width << "x" << player.StageSize().height << ", " << player.FrameRate()
        << " fps, " << player.TotalFrames() << " frames\n";
    for (int i = 0; i < options.frames; ++i) {
        if (i > 0) player.Advance(player.NextFrameTime());   // the time the engine waits for
        player.Paint(*screen);
        char name[32];
        std::snprintf(name, sizeof name, "frame-%04d.png", i);
        auto cairo = screen->CreateCairoSurface();
        auto path = options.outDir / name;
        if (!cairo || cairo_surface_write_to_png(cairo.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
            err << "showpack: cannot write " << path.string() << "\n";
            return 1;
        }
    }
    return 0;
}

} // namespace showsaver::showpack
