#pragma once
// showpack export: plays a show on a film's clock into a memory screen and
// writes it as a film with its soundtrack.

#include <filesystem>
#include <iosfwd>

namespace showsaver::showpack {

struct ExportOptions {
    std::filesystem::path file;     // packed screensaver or bare show
    std::filesystem::path film;     // .mp4, .webm or .mkv
    int width = 1024, height = 768;
    int fps = 30;
    double duration = 60;           // seconds: where a show that plays on is cut
    uint32_t times = 1000000;       // the calibration count the transitions are timed by
    bool progress = false;          // a progress bar on `err` (a terminal)
};

// 0 when the film was written, 1 when the show was refused or the film could
// not be written, 2 for a bad size.
int Export(const ExportOptions& options, std::ostream& out, std::ostream& err);

} // namespace showsaver::showpack
