// Presenting a full-screen change: painting the whole screen surface onto
// an X window the way the fullscreen window's draw handler does (mark the
// pixels dirty, paint with cairo, wait for the server), as a ratio to copying
// the same pixels in memory. Needs an X server ($DISPLAY, e.g. Xvfb).

#include "bench/TimingReporter.h"
#include "gfx/Surface.h"

#include <benchmark/benchmark.h>
#include <cairo-xlib.h>

#include <cstdio>
#include <cstring>
#include <string>

// Xlib last: its macros clash with other names.
#include <X11/Xlib.h>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

void CopyPixels(benchmark::State& state) {
    showsaver::gfx::Surface from(kWidth, kHeight), to(kWidth, kHeight);
    for (auto _ : state) {
        std::memcpy(to.Data(), from.Data(), static_cast<size_t>(from.Stride()) * kHeight);
        benchmark::ClobberMemory();
    }
}

void PresentFullScreen(benchmark::State& state) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display");
        return;
    }
    int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    cairo_surface_t* target = cairo_xlib_surface_create(display, window, DefaultVisual(display, screen), kWidth, kHeight);
    showsaver::gfx::Surface pixels(kWidth, kHeight);
    auto source = pixels.CreateCairoSurface();
    uint32_t shade = 0;
    for (auto _ : state) {
        // A change of every pixel, as a full-screen transition step makes.
        std::fill_n(pixels.Row(0), static_cast<size_t>(pixels.Pitch()) * kHeight, shade += 0x010101);
        cairo_t* cr = cairo_create(target);
        cairo_surface_mark_dirty(source.get());
        cairo_set_source_surface(cr, source.get(), 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(target);
        XSync(display, False);
    }
    cairo_surface_destroy(target);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

BENCHMARK(CopyPixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PresentFullScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    showsaver::bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double copy = reporter.Seconds("CopyPixels"), present = reporter.Seconds("PresentFullScreen");
    if (copy > 0 && present > 0) std::printf("ratio present/copy = %.2f\n", present / copy);
}
