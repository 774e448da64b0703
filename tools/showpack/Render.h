#pragma once
// Plays a show without any display into a memory screen and writes what it
// shows as PNG files.

#include <cstdint>
#include <filesystem>
#include <iosfwd>

namespace showsaver::showpack {

struct RenderOptions {
    std::filesystem::path file;     // packed screensaver or bare show
    int width = 1024, height = 768;
    std::filesystem::path outDir;   // final.png, and INDEX.png per item with eachItem
    bool eachItem = false;
    bool fast = false;              // every pause and calibrated wait takes no time
    uint32_t times = 1000000;       // the calibration count used for real-time pacing
};

// 0 when the show played to its end, 1 when it was refused or nothing could
// be written. Message boxes go to `err`.
int Render(const RenderOptions& options, std::ostream& err);

} // namespace showsaver::showpack
