// Presenting a full-screen change, as a ratio to copying the same pixels in
// memory: through GTK's way, painting the whole screen surface onto an X
// window as the fullscreen window's draw handler does (mark the pixels
// dirty, paint with cairo, wait for the server); and through the
// shared-memory presenter (goal: at most 1.5), bare and with a full-screen
// video layer over the screen, which should cost no more than the screen
// alone. Needs an X server on this machine ($DISPLAY, e.g. `Xvfb :9
// -noreset -screen 0 1920x1080x24`).
//
// Every figure is CPU time, ours and the X server's together, per present:
// on a shared machine wall time mostly measures the other processes.

#include "app/X11ShmPresenter.h"
#include "bench/TimingReporter.h"
#include "gfx/Layers.h"
#include "gfx/Surface.h"

#include <benchmark/benchmark.h>
#include <cairo-xlib.h>

#include <sys/socket.h>
#include <time.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

// Xlib last: its macros clash with other names.
#include <X11/Xlib.h>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

double ProcessCpu() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The X server's CPU seconds, from the scheduler's nanosecond counts of its
// threads; 0 when the server is not a local process we can see.
double ServerCpu(Display* display) {
    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(ConnectionNumber(display), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid <= 0)
        return 0;
    double total = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(peer.pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long ns = 0;
        if (in >> ns) total += static_cast<double>(ns) * 1e-9;
    }
    return total;
}

// Reports the CPU time of both sides per iteration as the iteration's time.
class CpuMeter {
public:
    explicit CpuMeter(Display* display) : m_display(display), m_ours(ProcessCpu()), m_server(Server()) {}
    void Report(benchmark::State& state) const {
        if (state.iterations() == 0) return;
        double ours = ProcessCpu() - m_ours, server = Server() - m_server;
        auto n = static_cast<double>(state.iterations());
        state.counters["cpu_ms"] = 1e3 * (ours + server) / n;
        state.counters["server_ms"] = 1e3 * server / n;
    }

private:
    double Server() const { return m_display ? ServerCpu(m_display) : 0; }
    Display* m_display;
    double m_ours, m_server;
};

void CopyPixels(benchmark::State& state) {
    showsaver::gfx::Surface from(kWidth, kHeight), to(kWidth, kHeight);
    CpuMeter meter(nullptr);
    for (auto _ : state) {
        std::memcpy(to.Data(), from.Data(), static_cast<size_t>(from.Stride()) * kHeight);
        benchmark::ClobberMemory();
    }
    meter.Report(state);
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
    CpuMeter meter(display);
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
    meter.Report(state);
    cairo_surface_destroy(target);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

// range(0): 1 with a full-screen layer over the screen, as a video at
// full screen has.
void PresentShared(benchmark::State& state) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display");
        return;
    }
    int screen = DefaultScreen(display);
    auto presenter = showsaver::X11ShmPresenter::Create(display, XVisualIDFromVisual(DefaultVisual(display, screen)));
    if (!presenter) {
        XCloseDisplay(display);
        state.SkipWithError("no MIT-SHM for this display's visual");
        return;
    }
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    presenter->SetWindow(window);
    {
        auto pixels = showsaver::gfx::Surface::Create(kWidth, kHeight, presenter->Pixels());
        showsaver::gfx::LayerStack layers(*pixels, presenter->Pixels());
        showsaver::gfx::LayerHandle video;
        if (state.range(0)) {
            video = layers.Add(pixels->Bounds());
            video->SetVisible(true);
        }
        uint32_t shade = 0;
        // The first present attaches the memory.
        presenter->Show(*pixels, layers, pixels->Bounds());
        CpuMeter meter(display);
        for (auto _ : state) {
            // A change shown in full; what the pixels hold costs the same.
            ++shade;
            if (video)
                video->Paint([&](showsaver::gfx::Surface& p) { p.Row(0)[0] = shade; });
            else
                pixels->Row(0)[0] = shade;
            if (!presenter->Show(*pixels, layers, pixels->Bounds())) {
                state.SkipWithError("the server refused the shared memory");
                break;
            }
            XSync(display, False);
        }
        meter.Report(state);
        video.Reset();
    }
    presenter.reset();
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

BENCHMARK(CopyPixels)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(PresentFullScreen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(PresentShared)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    showsaver::bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto cpu = [&](const char* name) {
        const auto* result = reporter.Find(name);
        return result && result->counters.count("cpu_ms") ? result->counters.at("cpu_ms") : 0.0;
    };
    double copy = cpu("CopyPixels"), present = cpu("PresentFullScreen");
    double shared = cpu("PresentShared/0"), underVideo = cpu("PresentShared/1");
    if (copy > 0 && present > 0) std::printf("CPU ratio present/copy = %.2f\n", present / copy);
    if (copy > 0 && shared > 0) std::printf("CPU ratio shared-memory present/copy = %.2f\n", shared / copy);
    if (copy > 0 && underVideo > 0)
        std::printf("CPU ratio shared-memory present under a full-screen layer/copy = %.2f\n", underVideo / copy);
}
