// The effects that compute pixels, at 1920 × 1080:
//  - the fades at speed 0 with the real clock and real sleeps: how many of
//    their 256 levels reach the screen (the goal is all of them);
//  - the colour morph between two photograph-like pictures: the time of one
//    pass as a ratio to one full-picture copy measured in the same run.
// Prints both after the run.

#include "bench/TimingReporter.h"
#include "gfx/SurfaceContext.h"
#include "platform/sys/Clock.h"
#include "transitions/Families.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

namespace {

using namespace showsaver;
using gfx::Surface;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Smooth colour gradients with a little noise, like a photograph.
std::shared_ptr<Surface> Photograph(uint32_t seed) {
    auto surface = std::make_shared<Surface>(kWidth, kHeight);
    uint32_t noise = seed;
    double phase = seed * 1.7;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            auto channel = [&](double shift) {
                double smooth = 127.5 + 100 * std::sin(x * 0.003 + y * 0.002 + phase + shift);
                noise = noise * 1103515245u + 12345u;
                return static_cast<uint32_t>(std::clamp(smooth + static_cast<int>((noise >> 16) % 21) - 10, 0.0, 255.0));
            };
            surface->Row(y)[x] = (channel(0) << 16) | (channel(2.1) << 8) | channel(4.2);
        }
    return surface;
}

// The real clock. Each reading after the first follows one drawn fade
// level, so it notes the level the screen shows then; passes are counted
// by the pauses.
class Pacer final : public TransitionPacer {
public:
    explicit Pacer(const Surface* screen) : m_screen(screen) {}
    void CalibratedWait(uint32_t, double) override { ++passes; }
    bool IsStopRequested() const override { return false; }
    void Sleep(uint32_t ms) override { sys::SleepMs(ms); }
    uint32_t Times() const override { return 0; }
    uint32_t TickCount() const override {
        if (m_readings++ > 0) shown.push_back(m_screen->Row(0)[0] >> 16);
        return sys::TickCount();
    }

    mutable std::vector<uint32_t> shown;   // red byte of a white pixel after each level
    int passes = 0;

private:
    const Surface* m_screen;
    mutable int m_readings = 0;
};

struct Stage {
    std::shared_ptr<Surface> screenSurface = Photograph(1);
    std::shared_ptr<Surface> picture = Photograph(2);
    std::unique_ptr<gfx::SurfaceContext> screen = gfx::SurfaceContext::ForScreen(screenSurface);
    std::unique_ptr<gfx::DeviceContext> work = screen->CreateCompatible();
    Pacer pacer{screenSurface.get()};
    Stage() {
        picture->Row(0)[0] = 0xFFFFFF;
        work->SelectBitmap(picture);
    }
    TransitionFrame Frame(int32_t speed) {
        return TransitionFrame{*screen, *work, pacer, 0, 0, kWidth, kHeight, speed, 1000.0, 2, 2 * speed, picture};
    }
};

void BM_FullCopy(benchmark::State& state) {
    Stage stage;
    TransitionFrame frame = stage.Frame(1000);
    for (auto _ : state) {
        frame.CopyAll();
        benchmark::ClobberMemory();
    }
}

// One fade at speed 0. The white pixel at (0, 0) shows level L as L − 1
// (fade in) or 254 − L (fade out), so levels 0 and 1 (255 and 254) look
// alike: 255 distinct values mean no level was skipped.
void BM_Fade(benchmark::State& state) {
    auto number = static_cast<int32_t>(state.range(0));
    Stage stage;
    TransitionFrame frame = stage.Frame(0);
    for (auto _ : state) PlayFade(number, frame);
    const std::vector<uint32_t>& shown = stage.pacer.shown;
    uint32_t jump = 0;
    for (size_t i = 1; i < shown.size(); ++i)
        jump = std::max(jump, shown[i] > shown[i - 1] ? shown[i] - shown[i - 1] : shown[i - 1] - shown[i]);
    state.counters["draws"] = static_cast<double>(shown.size());
    state.counters["levels"] = static_cast<double>(std::set<uint32_t>(shown.begin(), shown.end()).size());
    state.counters["jump"] = jump;
}

void BM_Morph(benchmark::State& state) {
    Stage stage;
    TransitionFrame frame = stage.Frame(1000);
    auto fresh = Photograph(1);
    for (auto _ : state) {
        state.PauseTiming();
        stage.screen->BitBlt(0, 0, kWidth, kHeight, *gfx::SurfaceContext::ForScreen(fresh), 0, 0);
        state.ResumeTiming();
        PlayMorph(66, frame);
    }
    state.counters["passes"] = stage.pacer.passes;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("BM_FullCopy", BM_FullCopy)->Unit(benchmark::kMicrosecond);
    for (int32_t number : {4, 65})
        benchmark::RegisterBenchmark("BM_Fade", BM_Fade)->Arg(number)->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Morph", BM_Morph)->Iterations(2)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    for (int32_t number : {4, 65}) {
        const auto* fade = reporter.Find("BM_Fade/" + std::to_string(number) + "/");
        if (!fade) continue;
        auto c = fade->counters;
        std::printf("\nfade %d at speed 0: %.0f of 255 distinguishable levels shown, %.0f draws, largest step %.0f, %.0f ms\n",
                    number, c["levels"], c["draws"], c["jump"], fade->seconds * 1e3);
    }
    const auto* copy = reporter.Find("BM_FullCopy");
    const auto* morph = reporter.Find("BM_Morph/");
    if (copy && morph && morph->counters.count("passes") && morph->counters.at("passes") > 0) {
        // The counter sums the passes of every iteration.
        double passes = morph->counters.at("passes") / morph->iterations;
        double pass = morph->seconds / passes;
        std::printf("\nmorph: %.0f passes, %.3f ms a pass = %.2f full copies (%.3f ms)\n", passes, pass * 1e3,
                    pass / copy->seconds, copy->seconds * 1e3);
    }
    benchmark::Shutdown();
    return 0;
}
