#pragma once
// The Flash movie player: loads a movie, plays its timeline at the movie's
// frame rate against the host's clock, and paints the current frame into a
// pixel area, "show all" (centred, aspect kept, the background colour
// around). All calls may come from any thread; each takes the player's lock.

#include <chrono>
#include <functional>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "gfx/Surface.h"
#include "flash/characters/Movie.h"
#include "flash/display/Playhead.h"
#include "flash/render/ShapeCache.h"
#include "flash/script/Script.h"
#include "flash/sound/Sound.h"

namespace showsaver::flash {

// The file a movie's loadMovie names, when it lies in the movie's folder or
// below: no scheme (http:, file:, ...), no absolute path, no "..", and no
// link that leads out. Nullopt otherwise, or when there is no such file.
std::optional<std::filesystem::path> FileBesideMovie(const std::filesystem::path& folder, const std::string& url);

class Player {
public:
    using Clock = std::chrono::steady_clock;

    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Loads a movie and shows its first frame, playing (as the control does
    // once given a movie). False with `error` when the file is no movie.
    bool Load(const std::filesystem::path& file, std::string& error);
    bool LoadBytes(std::span<const uint8_t> bytes, std::string& error);

    // Lets the movie go with everything made from it (its objects, sound,
    // kept pixels): a player whose movie ended holds no memory for it.
    void Unload();

    void SetLoop(bool loop);
    void Play();
    void Stop();
    bool IsPlaying() const;
    // The movie asked to quit ("FSCommand:quit"): it stays stopped.
    bool HasQuit() const;

    // The root frame last shown, from 0; TotalFrames is the header's count.
    int CurrentFrame() const;
    int TotalFrames() const;
    // Shows `frame` (0-based) of the root as a goto does; clamped.
    void GotoFrame(int frame);
    gfx::Size StageSize() const;
    double FrameRate() const;
    // The warnings the loader gave for tags it dropped.
    std::vector<std::string> Warnings() const;

    // Moves the timeline on to the clock: one step when `now` has reached
    // the next frame's time. A late step drops the time it missed; while a
    // stream sound plays, the frames follow the sound's clock instead.
    void Advance(Clock::time_point now);
    // When the next frame is due (the host waits until then).
    Clock::time_point NextFrameTime() const;
    // Exactly one frame of time, whatever the clock says.
    void Tick();

    // Draws the current frame into width × height xRGB pixels (cairo RGB24)
    // rows `strideBytes` apart. False for a bad area or no movie.
    bool Paint(uint32_t* pixels, int width, int height, int strideBytes);
    bool Paint(gfx::Surface& surface);

    // Where the movie's trace() goes; by default nowhere, or stderr when
    // SHOWSAVER_FLASH_TRACE=1 is set.
    void SetTrace(std::function<void(const std::string&)> trace);
    // The movie's scripts passed one of our limits: they run no more, and
    // the timeline plays on without them.
    bool IsAbandoned() const;

    // Where sound goes; null (the default) plays none. Not owned; it must
    // outlive the player or be replaced first.
    void SetSoundSink(SoundSink* sink);

    // Whether shapes' pixels are kept from frame to frame (on by default).
    void SetShapeCache(bool on);
    // Shapes' layers copied from kept pixels so far.
    uint64_t KeptDraws() const;

private:
    bool LoadFrom(std::span<const uint8_t> bytes, const std::filesystem::path& folder, std::string& error);
    void StepLocked();
    void TakeSound();
    void ReplaceFromScript();
    // A movie or picture beside the movie, for a script's loadMovie.
    LoadedContent LoadBeside(const std::string& url);
    // Runs the action blocks a step (`elapsedMs` of the movie's time, with
    // its events) or a goto from outside (-1) gave, and those they give.
    void RunPending(std::vector<PendingActions>& actions, double elapsedMs = -1);
    void AdvanceWithSound(Clock::time_point now);
    void ResetLocked();

    mutable std::mutex m_mutex;
    std::unique_ptr<Movie> m_movie;
    std::filesystem::path m_folder;        // the movie file's, empty for a movie from memory
    // What scripts loaded, kept while playheads may show them.
    std::vector<std::unique_ptr<Movie>> m_loadedMovies;
    std::vector<std::unique_ptr<Character>> m_loadedPictures;
    uint64_t m_loadedBytes = 0;
    PlayheadRegistry m_registry;           // outlives every playhead
    std::unique_ptr<Playhead> m_root;
    std::unique_ptr<ScriptMachine> m_script;   // after the root: it goes first
    std::function<void(const std::string&)> m_trace;
    bool m_loop = true;
    bool m_quit = false;
    Clock::time_point m_next{};
    bool m_started = false;
    std::unique_ptr<SoundMixer> m_mixer;
    SoundSink* m_sink = nullptr;
    ShapeCache m_shapes;
    bool m_cacheShapes = true;
};

} // namespace showsaver::flash
