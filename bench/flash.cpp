// A frame of a Flash movie with 200 shapes (radial gradients, curved
// outlines, 2 px strokes) at 800 × 600: the player's paint time as a ratio
// to cairo alone filling and stroking the same paths in the same run (goal
// ≤ 1.5), and the frame time against the 16.7 ms of 60 frames a second.
// Then 300 such shapes moving over 1920 × 1080, each by its own fraction of
// a pixel a frame: every frame drawn from scratch against frames drawn with
// the shapes' pixels kept (goal: at most 0.3 of it, and 24 frames a second
// or more), and the demo's fireflies at 3840 × 2160 (goal: 60 frames a
// second). The times are wall times; the CPU column shows what a loaded
// machine took from them.

#include "bench/TimingReporter.h"
#include "flash/player/FlashPlayer.h"
#include "tests/flash/SwfWriter.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

using namespace showsaver;
using flash::test::Bits;
using flash::test::Bytes;

constexpr int kWidth = 800, kHeight = 600, kShapes = 200, kTwips = 20;

struct Blob {
    int cx, cy, r;        // pixels
    uint32_t inner, outer;
};

std::vector<Blob> Blobs(int count = kShapes, int width = kWidth, int height = kHeight) {
    std::vector<Blob> blobs;
    uint32_t seed = 7;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < count; ++i)
        blobs.push_back({int(next(uint32_t(width))), int(next(uint32_t(height))), 20 + int(next(40)), next(0xFFFFFF), next(0xFFFFFF)});
    return blobs;
}

// The outline: four quadratic curves through the points r away on the axes,
// their control points at the corners of the square around the blob.
Bytes ShapeTag(uint16_t id, const Blob& b) {
    const int r = b.r * kTwips;
    Bits s;
    s.U16(id), s.Rect(-r, r, -r, r), s.U8(1), s.U8(0x12);
    s.Matrix(r / 16384.0, r / 16384.0, 0, 0, 0, 0);
    s.Put(0, 2), s.Put(0, 2), s.Put(3, 4);
    s.U8(0), s.Rgba(b.inner, 255), s.U8(128), s.Rgba(b.outer, 255), s.U8(255), s.Rgba(0x202020, 255);
    s.U8(1), s.U16(2 * kTwips), s.Rgba(0x000000, 255);
    s.Put(2, 4), s.Put(1, 4);
    flash::test::StyleChange(s, r, 0, 0, 1, 1);
    flash::test::CurveTo(s, 0, r, -r, 0);
    flash::test::CurveTo(s, -r, 0, 0, -r);
    flash::test::CurveTo(s, 0, -r, r, 0);
    flash::test::CurveTo(s, r, 0, 0, r);
    flash::test::EndShape(s);
    return s.Data();
}

Bytes Movie(const std::vector<Blob>& blobs) {
    flash::test::SwfWriter w(kWidth, kHeight, 60, 1);
    w.Background(0xFFFFFF);
    for (size_t i = 0; i < blobs.size(); ++i) w.Tag(32, ShapeTag(uint16_t(i + 1), blobs[i]));
    for (size_t i = 0; i < blobs.size(); ++i) w.Place(uint16_t(i + 1), int(i + 1), blobs[i].cx * kTwips, blobs[i].cy * kTwips);
    w.ShowFrame();
    w.End();
    return w.Fws();
}

constexpr int kWideW = 1920, kWideH = 1080, kMoving = 300, kMoveFrames = 24;

// The 300 shapes drift a little over a pixel a frame, each its own way,
// for 24 frames.
Bytes MovingMovie() {
    const auto blobs = Blobs(kMoving, kWideW, kWideH);
    flash::test::SwfWriter w(kWideW, kWideH, 24, kMoveFrames);
    w.Background(0xFFFFFF);
    for (size_t i = 0; i < blobs.size(); ++i) w.Tag(32, ShapeTag(uint16_t(i + 1), blobs[i]));
    for (int frame = 0; frame < kMoveFrames; ++frame) {
        for (size_t i = 0; i < blobs.size(); ++i) {
            const int dx = int(i % 7) - 3, dy = int(i % 5) - 2;
            const int x = blobs[i].cx * kTwips + frame * (dx * 23 + 7), y = blobs[i].cy * kTwips + frame * (dy * 19 + 5);
            w.Place(uint16_t(i + 1), frame == 0 ? int(i + 1) : -1, x, y, frame > 0);
        }
        w.ShowFrame();
    }
    w.End();
    return w.Fws();
}

// Paints the movie's frames in turn; `cache` off draws every shape anew.
void PlayFrames(benchmark::State& state, const Bytes& movie, int width, int height, bool cache) {
    flash::Player player;
    std::string error;
    if (!player.LoadBytes(movie, error)) return state.SkipWithError(error.c_str());
    player.SetShapeCache(cache);
    gfx::Surface surface(width, height);
    int frame = 0;
    // Two rounds first, so that what is measured is the steady state.
    for (; frame < 2 * kMoveFrames; ++frame) {
        player.GotoFrame(frame % kMoveFrames);
        player.Paint(surface);
    }
    for (auto _ : state) {
        player.GotoFrame(frame++ % kMoveFrames);
        player.Paint(surface);
    }
}

void BM_MovingFromScratch(benchmark::State& state) { PlayFrames(state, MovingMovie(), kWideW, kWideH, false); }
BENCHMARK(BM_MovingFromScratch)->Unit(benchmark::kMillisecond);

void BM_MovingCached(benchmark::State& state) { PlayFrames(state, MovingMovie(), kWideW, kWideH, true); }
BENCHMARK(BM_MovingCached)->Unit(benchmark::kMillisecond);

Bytes Fireflies() {
    std::ifstream in(SHOWSAVER_BINARY_DIR "/demo/fireflies.swf", std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void BM_FirefliesFromScratch(benchmark::State& state) { PlayFrames(state, Fireflies(), 3840, 2160, false); }
BENCHMARK(BM_FirefliesFromScratch)->Unit(benchmark::kMillisecond);

void BM_Fireflies(benchmark::State& state) { PlayFrames(state, Fireflies(), 3840, 2160, true); }
BENCHMARK(BM_Fireflies)->Unit(benchmark::kMillisecond);

void Rgb(cairo_pattern_t* p, double at, uint32_t c) {
    cairo_pattern_add_color_stop_rgb(p, at, (c >> 16 & 0xFF) / 255.0, (c >> 8 & 0xFF) / 255.0, (c & 0xFF) / 255.0);
}

void BM_PlayerPaint(benchmark::State& state) {
    flash::Player player;
    std::string error;
    if (!player.LoadBytes(Movie(Blobs()), error)) return state.SkipWithError(error.c_str());
    player.SetShapeCache(false);   // every shape drawn, as cairo alone draws them
    gfx::Surface surface(kWidth, kHeight);
    for (auto _ : state) player.Paint(surface);
}
BENCHMARK(BM_PlayerPaint)->Unit(benchmark::kMillisecond);

// The same drawing made straight with cairo: background, then per blob the
// gradient fill and the stroke of its four curves.
void BM_CairoAlone(benchmark::State& state) {
    const auto blobs = Blobs();
    gfx::Surface surface(kWidth, kHeight);
    for (auto _ : state) {
        auto target = surface.CreateCairoSurface();
        std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(target.get()), cairo_destroy);
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        for (const Blob& b : blobs) {
            double r = b.r, x = b.cx, y = b.cy, k = 2.0 / 3;
            cairo_move_to(cr.get(), x + r, y);
            cairo_curve_to(cr.get(), x + r, y + r * k, x + r * k, y + r, x, y + r);
            cairo_curve_to(cr.get(), x - r * k, y + r, x - r, y + r * k, x - r, y);
            cairo_curve_to(cr.get(), x - r, y - r * k, x - r * k, y - r, x, y - r);
            cairo_curve_to(cr.get(), x + r * k, y - r, x + r, y - r * k, x + r, y);
            std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)> p(
                cairo_pattern_create_radial(x, y, 0, x, y, r), cairo_pattern_destroy);
            Rgb(p.get(), 0, b.inner), Rgb(p.get(), 128 / 255.0, b.outer), Rgb(p.get(), 1, 0x202020);
            cairo_set_source(cr.get(), p.get());
            cairo_fill_preserve(cr.get());
            cairo_set_source_rgb(cr.get(), 0, 0, 0);
            cairo_set_line_width(cr.get(), 2);
            cairo_stroke(cr.get());
        }
    }
}
BENCHMARK(BM_CairoAlone)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double player = reporter.Seconds("BM_PlayerPaint"), cairo = reporter.Seconds("BM_CairoAlone");
    if (player > 0 && cairo > 0)
        std::printf("\nflash frame of %d shapes at %d x %d: %.2f ms (%.0f%% of a 60 fps slot), cairo alone %.2f ms, "
                    "ratio %.2f (goal <= 1.5)\n",
                    kShapes, kWidth, kHeight, player * 1e3, player * 60 * 100, cairo * 1e3, player / cairo);
    double scratch = reporter.Seconds("BM_MovingFromScratch"), moved = reporter.Seconds("BM_MovingCached");
    if (scratch > 0 && moved > 0)
        std::printf("%d moving gradient shapes at %d x %d: from scratch %.2f ms, shapes kept %.2f ms = %.0f fps, "
                    "ratio %.2f (goal <= 0.3, >= 24 fps)\n",
                    kMoving, kWideW, kWideH, scratch * 1e3, moved * 1e3, 1 / moved, moved / scratch);
    double fliesScratch = reporter.Seconds("BM_FirefliesFromScratch"), flies = reporter.Seconds("BM_Fireflies");
    if (fliesScratch > 0 && flies > 0)
        std::printf("fireflies at 3840 x 2160: from scratch %.2f ms, shapes kept %.2f ms = %.0f fps (goal >= 60), "
                    "ratio %.2f\n",
                    fliesScratch * 1e3, flies * 1e3, 1 / flies, flies / fliesScratch);
    benchmark::Shutdown();
    return 0;
}
