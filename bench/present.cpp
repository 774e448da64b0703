// Presenting a full-screen change: painting the whole screen surface onto
// an X window the way the fullscreen window's draw handler does (mark the
// pixels dirty, paint with cairo, wait for the server), as a ratio to copying
// the same pixels in memory. Needs an X server ($DISPLAY, e.g. Xvfb).

#include "gfx/Surface.h"

#include <benchmark/benchmark.h>
#include <cairo-xlib.h>

#include <cstdio>
#include <cstring>
#include <map>
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

// Keeps each benchmark's real time so the ratio can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
            if (!run.error_occurred) m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (m_times.count("CopyPixels/real_time") && m_times.count("PresentFullScreen/real_time"))
            std::printf("ratio present/copy = %.2f\n",
                        m_times["PresentFullScreen/real_time"] / m_times["CopyPixels/real_time"]);
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
