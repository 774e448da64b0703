#include "flash/player/FlashPlayer.h"

#include "flash/characters/Parsers.h"
#include "flash/render/BitmapDraw.h"
#include "flash/render/Effects.h"
#include "flash/render/Renderer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace showsaver::flash {

namespace {

constexpr size_t kMaxFileSize = size_t{256} << 20;
// What scripts may load beside a movie, all loads together.
constexpr size_t kMaxLoads = 32;
constexpr uint64_t kMaxLoadedBytes = uint64_t{256} << 20;

bool ReadFile(const std::filesystem::path& file, size_t limit, std::vector<uint8_t>& bytes) {
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    if (ec || size > limit) return false;
    bytes.resize(size);
    std::ifstream in(file, std::ios::binary);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)));
}

struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

std::chrono::nanoseconds FramePeriod(const Movie& movie) {
    return std::chrono::nanoseconds(static_cast<int64_t>(std::llround(1e9 / movie.FramesPerSecond())));
}

// Stage twips to device pixels, "show all": the whole stage, centred, its
// aspect kept.
Matrix StageToDevice(const Rect& stage, int width, int height) {
    double sw = std::max(1, stage.Width()), sh = std::max(1, stage.Height());
    double scale = std::min(width / sw, height / sh);
    double ox = (width - sw * scale) / 2 - stage.xMin * scale;
    double oy = (height - sh * scale) / 2 - stage.yMin * scale;
    return {scale, 0, 0, scale, ox, oy};
}

// The renderer's work for the script machine's bitmaps.
BitmapPainter BitmapPainterFor(const Movie& movie) {
    BitmapPainter painter;
    painter.draw = [&movie](cairo_surface_t* target, const Playhead* clip, cairo_surface_t* bitmap, const Matrix& matrix,
                            const ColorTransform& color, BlendMode blend, std::optional<std::array<int, 4>> clipRect,
                            bool smoothing) {
        BitmapDrawing what{clip, bitmap, matrix, color, blend, std::nullopt, smoothing};
        if (clipRect) what.clipRect = PixelRect{(*clipRect)[0], (*clipRect)[1], (*clipRect)[2], (*clipRect)[3]};
        return DrawIntoBitmap(target, movie, what);
    };
    painter.filter = [](cairo_surface_t* image, const std::vector<Filter>& filters) { ApplyFilters(image, filters); };
    return painter;
}

} // namespace

std::optional<std::filesystem::path> FileBesideMovie(const std::filesystem::path& folder, const std::string& url) {
    namespace fs = std::filesystem;
    if (folder.empty() || url.empty() || url.size() > 4096) return std::nullopt;
    std::string path = url.substr(0, url.find_first_of("?#"));
    std::replace(path.begin(), path.end(), '\\', '/');
    // A scheme ("http:", "file:", a drive's "C:") or an absolute path.
    size_t colon = path.find(':');
    if (colon != std::string::npos || path.empty() || path[0] == '/') return std::nullopt;
    fs::path relative;
    for (size_t at = 0; at <= path.size();) {
        size_t end = std::min(path.find('/', at), path.size());
        std::string part = path.substr(at, end - at);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") relative /= part;
        at = end + 1;
    }
    if (relative.empty()) return std::nullopt;
    std::error_code ec;
    fs::path base = fs::canonical(folder, ec);
    if (ec) return std::nullopt;
    fs::path file = fs::canonical(base / relative, ec);
    if (ec || !fs::is_regular_file(file, ec)) return std::nullopt;
    // A link may lead out of the folder: the real path must stay inside.
    auto [b, f] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    if (b != base.end()) return std::nullopt;
    return file;
}

Player::Player() {
    if (const char* flag = std::getenv("SHOWSAVER_FLASH_TRACE"); flag && std::strcmp(flag, "1") == 0)
        m_trace = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
}
Player::~Player() = default;

bool Player::Load(const std::filesystem::path& file, std::string& error) {
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    if (ec || size > kMaxFileSize) {
        error = ec ? "cannot read " + file.string() : "the movie file is too large";
        return false;
    }
    std::vector<uint8_t> bytes(size);
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        error = "cannot read " + file.string();
        return false;
    }
    return LoadFrom(bytes, std::filesystem::absolute(file, ec).parent_path(), error);
}

LoadedContent Player::LoadBeside(const std::string& url) {
    LoadedContent out;
    auto file = FileBesideMovie(m_folder, url);
    std::vector<uint8_t> bytes;
    if (!file) {
        out.error = "not a file beside the movie: " + url;
        return out;
    }
    if (m_loadedMovies.size() + m_loadedPictures.size() >= kMaxLoads ||
        !ReadFile(*file, static_cast<size_t>(std::min<uint64_t>(kMaxFileSize, kMaxLoadedBytes - m_loadedBytes)), bytes)) {
        out.error = "cannot load " + url;
        return out;
    }
    m_loadedBytes += bytes.size();
    auto starts = [&](std::string_view magic) {
        return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin(), [](char m, uint8_t b) { return uint8_t(m) == b; });
    };
    if (starts("FWS") || starts("CWS") || starts("ZWS")) {
        if (auto movie = LoadMovie(bytes, out.error)) {
            out.movie = movie.get();
            m_loadedMovies.push_back(std::move(movie));
        }
        return out;
    }
    // A picture as DefineBitsJPEG2 holds one: JPEG, PNG or GIF.
    if (starts("\xFF\xD8") || starts("\x89PNG") || starts("GIF8")) {
        MemoryBudget budget(bytes.size());
        Reader reader(bytes);
        if (auto picture = ParseJpegBitmap(reader, 21, {}, budget, out.error)) {
            out.picture = picture.get();
            m_loadedPictures.push_back(std::move(picture));
        }
        return out;
    }
    out.error = "not a movie or a picture: " + url;
    return out;
}

bool Player::LoadBytes(std::span<const uint8_t> bytes, std::string& error) { return LoadFrom(bytes, {}, error); }

bool Player::LoadFrom(std::span<const uint8_t> bytes, const std::filesystem::path& folder, std::string& error) {
    auto movie = LoadMovie(bytes, error);
    if (!movie) return false;
    std::lock_guard lock(m_mutex);
    m_mixer.reset();
    m_script.reset();
    m_root.reset();
    m_folder = folder;
    m_movie = std::move(movie);
    m_shapes.Clear();   // its keys name the old movie's shapes
    if (m_sink) m_mixer = std::make_unique<SoundMixer>(*m_movie, *m_sink);
    m_quit = false;
    ResetLocked();
    return true;
}

void Player::ResetLocked() {
    m_script.reset();
    m_root.reset();
    m_loadedMovies.clear();
    m_loadedPictures.clear();
    m_loadedBytes = 0;
    m_root = std::make_unique<Playhead>(*m_movie, m_movie->root, m_movie->header.frameCount, 0, m_registry);
    m_root->SetLooping(m_loop);
    m_script = std::make_unique<ScriptMachine>(*m_movie, m_registry, *m_root);
    m_script->SetTrace(m_trace);
    m_script->SetPainter(BitmapPainterFor(*m_movie));
    m_script->SetTextMeasure([movie = m_movie.get()](const TextCharacter& text) {
        TextSize size = MeasureEditText(text, *movie);
        return std::pair{size.width, size.height};
    });
    m_script->SetContentLoader([this](const std::string& url) { return LoadBeside(url); });
    m_started = false;
    std::vector<PendingActions> actions;
    m_root->Goto(0, actions);
    RunPending(actions, 0);
    TakeSound();
}

void Player::SetLoop(bool loop) {
    std::lock_guard lock(m_mutex);
    m_loop = loop;
    if (m_root) m_root->SetLooping(loop);
}

void Player::Play() {
    std::lock_guard lock(m_mutex);
    if (m_root && !m_quit) m_root->SetPlaying(true);
}

void Player::Stop() {
    std::lock_guard lock(m_mutex);
    if (m_root) m_root->SetPlaying(false);
}

bool Player::IsPlaying() const {
    std::lock_guard lock(m_mutex);
    return m_root && m_root->Playing();
}

bool Player::HasQuit() const {
    std::lock_guard lock(m_mutex);
    return m_quit;
}

int Player::CurrentFrame() const {
    std::lock_guard lock(m_mutex);
    return m_root ? std::max(0, m_root->Frame()) : 0;
}

int Player::TotalFrames() const {
    std::lock_guard lock(m_mutex);
    return m_movie ? m_movie->header.frameCount : 0;
}

void Player::GotoFrame(int frame) {
    std::lock_guard lock(m_mutex);
    if (!m_root) return;
    std::vector<PendingActions> actions;
    m_root->Goto(frame, actions);
    RunPending(actions);
}

gfx::Size Player::StageSize() const {
    std::lock_guard lock(m_mutex);
    if (!m_movie) return {0, 0};
    return {m_movie->header.stage.Width() / 20, m_movie->header.stage.Height() / 20};
}

double Player::FrameRate() const {
    std::lock_guard lock(m_mutex);
    return m_movie ? m_movie->FramesPerSecond() : 0;
}

std::vector<std::string> Player::Warnings() const {
    std::lock_guard lock(m_mutex);
    return m_movie ? m_movie->warnings : std::vector<std::string>{};
}

void Player::Advance(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (!m_root) return;
    auto period = FramePeriod(*m_movie);
    if (!m_started) {
        m_started = true;
        m_next = now + period;
        return;
    }
    if (m_mixer && m_mixer->StreamActive()) return AdvanceWithSound(now);
    if (now < m_next) return;
    StepLocked();
    m_next += period;
    if (m_next <= now) m_next = now + period;   // late: the missed time is dropped
}

Player::Clock::time_point Player::NextFrameTime() const {
    std::lock_guard lock(m_mutex);
    return m_next;
}

void Player::Tick() {
    std::lock_guard lock(m_mutex);
    if (m_root) StepLocked();
}

void Player::StepLocked() {
    std::vector<PendingActions> actions;
    m_root->Step(actions);
    RunPending(actions, 1000.0 / m_movie->FramesPerSecond());
    TakeSound();
    ReplaceFromScript();
}

// loadMovieNum into level 0: the movie beside this one plays in its place,
// from its first frame (after the step, never inside one). A file that is
// no movie leaves this one playing.
void Player::ReplaceFromScript() {
    std::string url = m_script->TakeRootLoad();
    auto file = url.empty() ? std::nullopt : FileBesideMovie(m_folder, url);
    std::vector<uint8_t> bytes;
    if (!file || !ReadFile(*file, kMaxFileSize, bytes)) return;
    std::string error;
    auto movie = LoadMovie(bytes, error);
    if (!movie) return;
    m_mixer.reset();
    m_script.reset();
    m_root.reset();
    m_movie = std::move(movie);
    m_shapes.Clear();
    if (m_sink) m_mixer = std::make_unique<SoundMixer>(*m_movie, *m_sink);
    ResetLocked();
}

// Without a mixer (no sink: muted) the step's sound is dropped.
void Player::TakeSound() {
    ScriptSounds& script = m_script->Sounds();
    if (m_mixer) {
        m_mixer->Step(*m_root, &script);
        return;
    }
    std::vector<StreamBlockRef> blocks;
    std::vector<SoundStart> starts;
    m_root->TakeSound(blocks, starts);
    script.commands.clear();
}

// A step's actions run with the step's events and timers; a goto from
// outside runs only the actions it reached.
void Player::RunPending(std::vector<PendingActions>& actions, double elapsedMs) {
    if (elapsedMs >= 0)
        m_script->Step(actions, elapsedMs);
    else
        m_script->RunActions(actions);
    if (m_script->Quit()) m_quit = true;
    if (m_quit) m_root->SetPlaying(false);
}

void Player::SetTrace(std::function<void(const std::string&)> trace) {
    std::lock_guard lock(m_mutex);
    m_trace = std::move(trace);
    if (m_script) m_script->SetTrace(m_trace);
}

bool Player::IsAbandoned() const {
    std::lock_guard lock(m_mutex);
    return m_script && m_script->Abandoned();
}

void Player::SetSoundSink(SoundSink* sink) {
    std::lock_guard lock(m_mutex);
    m_sink = sink;
    m_mixer.reset();
    if (m_sink && m_movie) m_mixer = std::make_unique<SoundMixer>(*m_movie, *m_sink);
}

// The sound sets the pace: a step whenever less than two slots of sound are
// queued, several when the sound ran ahead (the frames between are not
// drawn), none while enough is queued.
void Player::AdvanceWithSound(Clock::time_point now) {
    constexpr int kMaxCatchUp = 8;
    const double lead = 2 * m_mixer->SlotFrames();
    for (int i = 0; i < kMaxCatchUp && m_mixer->StreamActive() && m_mixer->Ahead() < lead; ++i) StepLocked();
    double wait = (static_cast<double>(m_mixer->Ahead()) - lead) / SoundSink::kRate;
    m_next = now + std::chrono::microseconds(static_cast<int64_t>(std::max(0.0, wait) * 1e6));
}

bool Player::Paint(uint32_t* pixels, int width, int height, int strideBytes) {
    std::lock_guard lock(m_mutex);
    if (!m_movie || !pixels || width <= 0 || height <= 0 ||
        strideBytes < cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width))
        return false;
    gfx::CairoSurfacePtr target(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels),
                                                                    CAIRO_FORMAT_RGB24, width, height, strideBytes));
    std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(target.get()));
    Rgba bg = m_movie->background;
    cairo_set_source_rgb(cr.get(), bg.r / 255.0, bg.g / 255.0, bg.b / 255.0);
    cairo_paint(cr.get());
    Matrix toDevice = StageToDevice(m_movie->header.stage, width, height);
    const Rect& s = m_movie->header.stage;
    cairo_matrix_t cm{toDevice.a, 0, 0, toDevice.d, toDevice.tx, toDevice.ty};
    cairo_set_matrix(cr.get(), &cm);
    cairo_rectangle(cr.get(), s.xMin, s.yMin, s.Width(), s.Height());
    cairo_identity_matrix(cr.get());
    cairo_clip(cr.get());
    m_shapes.NewFrame();
    Renderer renderer(cr.get(), *m_movie, m_cacheShapes ? &m_shapes : nullptr);
    renderer.DrawList(*m_root, toDevice, ColorTransform{}, 0);
    cairo_surface_flush(target.get());
    return cairo_status(cr.get()) == CAIRO_STATUS_SUCCESS;
}

void Player::Unload() {
    std::lock_guard lock(m_mutex);
    // In the order the members go when the player does.
    m_mixer.reset();
    m_shapes.Clear();
    m_script.reset();
    m_root.reset();
    m_loadedPictures.clear();
    m_loadedMovies.clear();
    m_loadedBytes = 0;
    m_movie.reset();
}

void Player::SetShapeCache(bool on) {
    std::lock_guard lock(m_mutex);
    m_cacheShapes = on;
    if (!on) m_shapes.Clear();
}

uint64_t Player::KeptDraws() const {
    std::lock_guard lock(m_mutex);
    return m_shapes.Hits();
}

bool Player::Paint(gfx::Surface& surface) {
    auto lock = surface.LockForDrawing(surface.Bounds());
    return Paint(reinterpret_cast<uint32_t*>(surface.Data()), surface.Width(), surface.Height(), surface.Stride());
}

} // namespace showsaver::flash
