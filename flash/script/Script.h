#pragma once
// The player's door to the ActionScript machine: one per loaded movie, run
// once a step has built its frames. A movie whose scripts pass a limit
// (actions or time in a step, calls inside calls, memory) is abandoned: its
// scripts run no more, its timeline plays on, and Abandoned() says so.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/display/Playhead.h"

namespace showsaver::flash {

namespace script {
class Vm;
}

// What the renderer does for a script's bitmaps, handed over by the player
// (the script machine does not see the renderer).
struct BitmapPainter {
    // Draws a clip's contents (or a bitmap's pixels) over `target` through
    // `matrix` (source pixels to target pixels), coloured, blended and cut
    // to `clipRect` (x, y, width, height). Gives the edges it drew.
    std::function<size_t(cairo_surface_t* target, const Playhead* clip, cairo_surface_t* bitmap, const Matrix& matrix,
                       const ColorTransform& color, BlendMode blend, std::optional<std::array<int, 4>> clipRect,
                       bool smoothing)>
        draw;
    // Runs filters over an ARGB32 image in place.
    std::function<void(cairo_surface_t* image, const std::vector<Filter>& filters)> filter;
};

// What a script's loadMovie found beside the movie: another movie or a
// picture (both kept by whoever loaded them, for as long as the machine's
// playheads live), or why there is nothing.
struct LoadedContent {
    const Movie* movie = nullptr;
    const Character* picture = nullptr;
    std::string error;
};
using ContentLoader = std::function<LoadedContent(const std::string& url)>;

class ScriptMachine {
public:
    // `registry` and `root` must outlive the machine.
    ScriptMachine(const Movie& movie, PlayheadRegistry& registry, Playhead& root);
    ~ScriptMachine();
    ScriptMachine(const ScriptMachine&) = delete;
    ScriptMachine& operator=(const ScriptMachine&) = delete;

    // A timeline step: the movie's clock moves on by `elapsedMs`, then the
    // clips' enterFrame events, the frames' actions (those their gotos
    // reach included), load and unload events, and the timers due.
    void Step(std::vector<PendingActions>& actions, double elapsedMs);
    // The actions of frames a goto from outside reached, and load events.
    void RunActions(std::vector<PendingActions>& actions);
    bool Quit() const;        // "FSCommand:quit" was asked for
    // The file a script asked to play in the movie's place (loadMovieNum
    // into level 0), once; empty when none.
    std::string TakeRootLoad();
    bool Abandoned() const;   // a limit was passed
    // What the movie's Sound objects ask of the mixer, and its answers.
    ScriptSounds& Sounds();
    // How scripts' text fields measure their text (in twips), for autoSize
    // and textWidth; the renderer knows.
    void SetTextMeasure(std::function<std::pair<double, double>(const TextCharacter&)> measure);
    // How loadMovie and MovieClipLoader reach files; without it they fail.
    void SetContentLoader(ContentLoader loader);
    // Where trace() goes; nowhere by default.
    void SetTrace(std::function<void(const std::string&)> trace);
    void SetPainter(BitmapPainter painter);

private:
    std::unique_ptr<script::Vm> m_vm;
};

} // namespace showsaver::flash
