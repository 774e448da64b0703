// The Flash bitmap filters over a whole 1920 x 1080 object: a drop shadow,
// a glow and a bevel with the values a movie's authoring tool gives them by
// default, a blur at high quality (three passes), a 3 x 3 sharpening
// convolution, a sepia colour matrix, and the colour transform of the
// object fading out, each against copying the object's
// pixels in the same run. Every iteration copies the object in afresh (the
// filters work in place), and the filter's time is what it adds to the copy.
// The goal: a whole-screen drop shadow or glow within half a frame at 60
// frames a second (8.3 ms); the others are printed for scale.

#include "bench/TimingReporter.h"
#include "flash/render/Effects.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

namespace {

using namespace showsaver;

constexpr int kWidth = 1920, kHeight = 1080;

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

SurfacePtr NewSurface() {
    return {cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight), cairo_surface_destroy};
}

// What an object with filters looks like in its own surface: shapes with
// soft and hard edges and transparent space around and between them.
SurfacePtr MakeObject() {
    SurfacePtr surface = NewSurface();
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    for (int i = 0; i < 40; ++i) {
        double x = 100 + (i * 397) % (kWidth - 200), y = 100 + (i * 211) % (kHeight - 200), r = 30 + (i * 37) % 90;
        cairo_arc(cr.get(), x, y, r, 0, 2 * std::numbers::pi);
        cairo_set_source_rgba(cr.get(), (i % 3) / 2.0, (i % 5) / 4.0, (i % 7) / 6.0, 0.5 + (i % 2) / 2.0);
        cairo_fill(cr.get());
    }
    cairo_rectangle(cr.get(), 300, 300, 900, 400);
    cairo_set_source_rgba(cr.get(), 0.2, 0.4, 0.8, 0.8);
    cairo_fill(cr.get());
    cairo_surface_flush(surface.get());
    return surface;
}

void CopyPixels(cairo_surface_t* from, cairo_surface_t* to) {
    cairo_surface_flush(to);
    std::memcpy(cairo_image_surface_get_data(to), cairo_image_surface_get_data(from),
                static_cast<size_t>(cairo_image_surface_get_stride(from)) * kHeight);
    cairo_surface_mark_dirty(to);
}

const cairo_surface_t* Object() {
    static SurfacePtr object = MakeObject();
    return object.get();
}

void BM_Copy(benchmark::State& state) {
    SurfacePtr work = NewSurface();
    for (auto _ : state) {
        CopyPixels(const_cast<cairo_surface_t*>(Object()), work.get());
        benchmark::DoNotOptimize(cairo_image_surface_get_data(work.get()));
    }
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

void RunFilter(benchmark::State& state, const flash::Filter& filter) {
    SurfacePtr work = NewSurface();
    const std::vector<flash::Filter> filters{filter};
    for (auto _ : state) {
        CopyPixels(const_cast<cairo_surface_t*>(Object()), work.get());
        flash::ApplyFilters(work.get(), filters);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(work.get()));
    }
}

flash::Filter Default(flash::FilterKind kind) {
    flash::Filter f;
    f.kind = kind;
    f.blurX = f.blurY = kind == flash::FilterKind::Glow ? 6 : 4;
    f.distance = kind == flash::FilterKind::Glow || kind == flash::FilterKind::Blur ? 0 : 4;
    f.angle = std::numbers::pi / 4;
    f.strength = kind == flash::FilterKind::Glow ? 2 : 1;
    f.color = kind == flash::FilterKind::Glow ? flash::Rgba{255, 0, 0, 255} : flash::Rgba{0, 0, 0, 255};
    f.passes = kind == flash::FilterKind::Blur ? 3 : 1;
    if (kind == flash::FilterKind::Blur) f.blurX = f.blurY = 8;
    return f;
}

flash::Filter Sharpen() {
    flash::Filter f;
    f.kind = flash::FilterKind::Convolution;
    f.matrixX = f.matrixY = 3;
    f.weights = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    return f;
}

flash::Filter Sepia() {
    flash::Filter f;
    f.kind = flash::FilterKind::ColorMatrix;
    f.weights = {0.393f, 0.769f, 0.189f, 0, 0, 0.349f, 0.686f, 0.168f, 0, 0, 0.272f, 0.534f, 0.131f, 0, 0, 0, 0, 0, 1, 0};
    return f;
}

void BM_DropShadow(benchmark::State& state) { RunFilter(state, Default(flash::FilterKind::DropShadow)); }
void BM_Glow(benchmark::State& state) { RunFilter(state, Default(flash::FilterKind::Glow)); }
void BM_Bevel(benchmark::State& state) { RunFilter(state, Default(flash::FilterKind::Bevel)); }
void BM_Blur(benchmark::State& state) { RunFilter(state, Default(flash::FilterKind::Blur)); }
void BM_Sharpen(benchmark::State& state) { RunFilter(state, Sharpen()); }
void BM_Sepia(benchmark::State& state) { RunFilter(state, Sepia()); }
// A filtered object fading out: its colour transform halves the alpha.
void BM_Fade(benchmark::State& state) {
    SurfacePtr work = NewSurface();
    flash::ColorTransform fade;
    fade.ma = 0.5;
    for (auto _ : state) {
        CopyPixels(const_cast<cairo_surface_t*>(Object()), work.get());
        flash::TransformPixels(work.get(), fade);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(work.get()));
    }
}
BENCHMARK(BM_DropShadow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Glow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bevel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sepia)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fade)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double copy = reporter.Seconds("BM_Copy");
    for (const char* name : {"BM_DropShadow", "BM_Glow", "BM_Bevel", "BM_Blur", "BM_Sharpen", "BM_Sepia", "BM_Fade"}) {
        double filtered = reporter.Seconds(name);
        if (copy > 0 && filtered > 0)
            std::printf("%-14s at %d x %d: %6.2f ms, ratio to a copy %6.2f%s\n", name + 3, kWidth, kHeight,
                        (filtered - copy) * 1e3, filtered / copy,
                        std::strcmp(name, "BM_DropShadow") && std::strcmp(name, "BM_Glow") ? "" : " (goal <= 8.3 ms)");
    }
    benchmark::Shutdown();
    return 0;
}
