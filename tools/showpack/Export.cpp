#include "tools/showpack/Export.h"

#include "tools/showpack/FilmWriter.h"
#include "tools/showpack/MemoryScreen.h"
#include "tools/showpack/RenderMedia.h"
#include "tools/showpack/Soundtrack.h"

#include "app/ItemKinds.h"
#include "gfx/SurfaceContext.h"
#include "platform/sys/Event.h"
#include "playback/SceneThread.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace showsaver::showpack {

namespace {

// The show's media on the film's clock: pictures of videos and movies as
// `render` shows them, and every sound into the soundtrack from the time
// its item plays. A medium the show waits for moves the clock by its length.
// A play's file bytes for the length of the call they are passed to: the
// temporary holds them; none when they cannot be read.
struct PlayBytes {
    std::optional<FileContents> contents;
    operator std::span<const uint8_t>() const { return contents ? contents->bytes : std::span<const uint8_t>{}; }
};
PlayBytes BytesOf(const MediaPlay& play) { return {play.Contents()}; }

class ExportMedia final : public MediaControl {
public:
    ExportMedia(Soundtrack& track, size_t maxFrames) : m_track(track), m_maxFrames(maxFrames) {}

    // As the engine's players do: a wave sound ends the MP3 music, MP3 music
    // and a video end the wave sound or the music that plays.
    void PlayWave(const MediaPlay& play, ScenePlayer& player) override {
        m_player = &player;
        Stop(MediaType::Mp3);
        PlaySound(MediaType::Wave, DecodeWave(BytesOf(play), m_maxFrames), play, player);
    }
    void StopWave() override { Stop(MediaType::Wave); }
    void PlayMp3(const MediaPlay& play, ScenePlayer& player) override {
        m_player = &player;
        Stop(MediaType::Wave);
        PlaySound(MediaType::Mp3, DecodeMp3(BytesOf(play), m_maxFrames), play, player);
    }
    void StopMp3() override { Stop(MediaType::Mp3); }
    void PlayMidi(const MediaPlay& play, ScenePlayer& player) override {
        PlaySound(MediaType::Midi, DecodeMidi(BytesOf(play), m_maxFrames), play, player);
    }
    void StopMidi() override { Stop(MediaType::Midi); }
    void PlayVideo(const MediaPlay& play, ScenePlayer& player) override {
        m_player = &player;
        Stop(MediaType::Mp3);
        // A background video repeats, as its pictures do.
        auto sound = play.file ? DecodeVideoSound(*play.file, m_maxFrames) : std::vector<int16_t>{};
        m_track.Play(MediaType::Video, std::move(sound), Now(), !play.wait);
        if (!play.wait) return m_pictures.PlayVideo(play, player);
        // Waited for: it shows in the film while the clock moves by its length.
        MediaPlay shown = play;
        shown.wait = false;
        m_pictures.PlayVideo(shown, player);
        player.Sleep(static_cast<uint32_t>(std::lround(m_pictures.VideoLength() * 1000)));
        m_pictures.StopVideo();
    }
    void StopVideo() override {
        if (m_closing) return;
        Stop(MediaType::Video);
        m_pictures.StopVideo();
    }
    void PlayFlash(const MediaPlay& play, ScenePlayer& player) override {
        m_player = &player;
        m_track.Play(MediaType::Flash, DecodeFlashSound(BytesOf(play), play.loop, play.timeLimit, m_maxFrames), Now(),
                     false);
        if (!play.wait) return m_pictures.PlayFlash(play, player);
        // Waited for: to its time limit or its last frame, shown meanwhile.
        flash::Player movie;
        std::string error;
        if (!movie.LoadBytes(BytesOf(play), error)) return;
        const double rate = movie.FrameRate() > 0 ? movie.FrameRate() : 12;
        const double ms = play.timeLimit != -1 ? play.timeLimit : std::max(0, movie.TotalFrames() - 1) * 1000.0 / rate;
        MediaPlay shown = play;
        shown.wait = false;
        m_pictures.PlayFlash(shown, player);
        player.Sleep(static_cast<uint32_t>(std::lround(ms)));
        m_pictures.StopFlash();
    }
    void StopFlash() override {
        if (m_closing) return;
        Stop(MediaType::Flash);
        m_pictures.StopFlash();
    }
    // The film is cut there: nothing is stopped from the stopping thread
    // while the scene thread may still paint a layer.
    void StopForClose() override { m_closing = true; }

    void CatchUp() { m_pictures.CatchUp(); }

private:
    uint64_t Now() const {
        return m_player ? uint64_t{m_player->Pacer().TickCount()} * kSoundtrackRate / 1000 : 0;
    }
    void PlaySound(MediaType type, std::vector<int16_t> frames, const MediaPlay& play, ScenePlayer& player) {
        m_player = &player;
        const uint64_t length = frames.size() / 2;
        m_track.Play(type, std::move(frames), Now(), play.loop && !play.wait);
        if (play.wait) player.Sleep(static_cast<uint32_t>(length * 1000 / kSoundtrackRate));
    }
    void Stop(MediaType type) {
        if (!m_closing) m_track.Stop(type, Now());
    }

    Soundtrack& m_track;
    size_t m_maxFrames;
    RenderMedia m_pictures;
    ScenePlayer* m_player = nullptr;
    std::atomic<bool> m_closing = false;
};

std::string Clock(double seconds) {
    char text[32];
    const auto whole = static_cast<long>(seconds);
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace

int Export(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    StderrMessages messages(err);
    ShowItemRegistry registry;
    ShowInfo info;
    int status = 0;
    auto screen = LoadToPlay(options.file, options.width, options.height, registry, info, messages, err, status);
    if (!screen) return status;
    auto opened = FilmWriter::Open(options.film, options.width, options.height, options.fps);
    if (!opened) {
        err << "showpack: " << opened.Error().what << "\n";
        return 1;
    }
    FilmWriter& film = **opened;
    out << "writing " << options.film.string() << " with " << film.Codecs() << "\n" << std::flush;

    auto dc = gfx::SurfaceContext::ForScreen(screen);
    MemoryWindow window(*dc, *screen);
    uint32_t times = options.times;
    Soundtrack track;
    const auto maxFrames = static_cast<uint64_t>(std::llround(options.duration * options.fps));
    // A sound is decoded as far as the film can reach, and at most ten
    // minutes of it (106 MB), which a loop repeats.
    const auto maxSoundFrames = static_cast<size_t>((std::min(options.duration, 600.0) + 1) * kSoundtrackRate);
    auto media = std::make_unique<ExportMedia>(track, maxSoundFrames);
    ExportMedia& shownMedia = *media;

    Status<> written;
    std::atomic<uint64_t> frames = 0;
    uint64_t soundDone = 0;
    sys::Event enough;
    const auto started = std::chrono::steady_clock::now();
    auto progress = [&] {
        const double done = static_cast<double>(frames.load()) / options.fps, total = options.duration;
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double speed = spent > 0 ? static_cast<double>(frames.load()) / spent : 0;
        const double left = speed > 0 ? (total - done) * options.fps / speed : 0;
        constexpr int kWidth = 30;
        const int filled = std::clamp(static_cast<int>(done / total * kWidth), 0, kWidth);
        char line[160];
        std::snprintf(line, sizeof line, "\r[%s%s] %s of at most %s, %.0f fps, at most %s left ",
                      std::string(static_cast<size_t>(filled), '#').c_str(),
                      std::string(static_cast<size_t>(kWidth - filled), '-').c_str(), Clock(done).c_str(),
                      Clock(total).c_str(), speed, Clock(left).c_str());
        err << line << std::flush;
    };
    std::vector<int16_t> sound;
    auto atFrame = [&] {
        if (frames >= maxFrames || !written) return;
        shownMedia.CatchUp();
        gfx::Surface shown = screen->Clone();
        window.Layers().ComposeOnto(shown, shown.Bounds());
        written = film.AddPicture(shown);
        ++frames;
        // The sound up to the next picture's time.
        const uint64_t due = frames.load() * kSoundtrackRate / static_cast<uint64_t>(options.fps);
        sound.resize(static_cast<size_t>(due - soundDone) * 2);
        track.Mix(soundDone, sound);
        if (written) written = film.AddSound(sound);
        soundDone = due;
        if (options.progress && frames.load() % static_cast<uint64_t>(options.fps) == 0) progress();
        if (frames >= maxFrames) enough.Set();
    };

    CSceneThread::Setup setup;
    setup.window = &window;
    setup.dc = dc.get();
    setup.items = &registry.Items();
    setup.times = &times;
    setup.messages = &messages;
    setup.pacing = CSceneThread::Pacing::Film;
    setup.filmFps = options.fps;
    setup.atFrame = atFrame;
    setup.media = std::move(media);
    CSceneThread player(std::move(setup), CSceneThread::Mode::Play);
    player.Resume();
    // A show whose clock stands still (a movement without a delay, which
    // the engine runs as fast as it can draw) would never reach its next
    // frame: after this long without one the film ends where it is.
    constexpr auto kStandstill = std::chrono::seconds(30);
    bool cut = false, stuck = false;
    uint64_t seen = 0;
    auto lastFrame = std::chrono::steady_clock::now();
    for (;;) {
        if (player.WaitForExit(std::chrono::milliseconds(50))) break;
        const auto now = std::chrono::steady_clock::now();
        if (frames.load() != seen) seen = frames.load(), lastFrame = now;
        stuck = now - lastFrame > kStandstill;
        if (enough.IsSet() || stuck) {
            cut = true;
            player.RequestStop();
            break;
        }
    }
    cut = cut || enough.IsSet();
    // The last picture stays for one frame of the film.
    if (!cut) player.FinishFilm(std::max(player.FilmMicros(), player.FilmFrameTime(player.FilmFrames())));
    if (written) written = film.Finish();
    if (options.progress) {
        progress();
        err << "\n";
    }
    if (!written) {
        err << "showpack: " << written.Error().what << "\n";
        std::error_code ignored;
        std::filesystem::remove(options.film, ignored);
        return 1;
    }
    if (stuck)
        out << "the show's clock stood still (a movement without a delay?); the film ends at "
            << Clock(static_cast<double>(frames.load()) / options.fps) << "\n";
    else if (cut)
        out << "the show still played at " << Clock(options.duration) << "; the film ends there (--duration)\n";
    out << "wrote " << frames.load() << " pictures (" << Clock(static_cast<double>(frames.load()) / options.fps) << ") to "
        << options.film.string() << "\n";
    return 0;
}

} // namespace showsaver::showpack
