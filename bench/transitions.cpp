// What each transition effect costs at 1920 × 1080 with pauses of no polls,
// as a ratio to one full-picture copy measured in the same run, and how many
// pixels its copies write for each pixel that really changes from one frame
// to the next (1.0: no pixel is copied that already shows what it should).
// The fades are paced by the clock rather than by their copies and have a
// benchmark of their own (bench_fades). Prints the table after the run.

#include "bench/CopyCounter.h"
#include "bench/TimingReporter.h"
#include "gfx/SurfaceContext.h"
#include "platform/sys/Clock.h"
#include "transitions/Families.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace showsaver;
using gfx::Surface;
using gfx::SurfaceContext;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Pauses of zero polls: an effect at speed 1000.
class ZeroPacer final : public TransitionPacer {
public:
    void CalibratedWait(uint32_t, double) override {}
    bool IsStopRequested() const override { return false; }
    void Sleep(uint32_t) override {}
    uint32_t Times() const override { return 0; }
    uint32_t TickCount() const override { return sys::TickCount(); }
};

std::shared_ptr<Surface> Noise(uint32_t seed) {
    auto surface = std::make_shared<Surface>(kWidth, kHeight);
    uint32_t value = seed;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) surface->Row(y)[x] = (value = value * 1103515245u + 12345u) >> 8;
    return surface;
}

struct Stage {
    std::shared_ptr<Surface> screenSurface = Noise(1);
    std::unique_ptr<SurfaceContext> screen = SurfaceContext::ForScreen(screenSurface);
    std::unique_ptr<gfx::DeviceContext> work = screen->CreateCompatible();
    ZeroPacer pacer;
    Stage() { work->SelectBitmap(Noise(2)); }
    TransitionFrame Frame() {
        return TransitionFrame{*screen, *work, pacer, 0, 0, kWidth, kHeight, 1000, 1000.0, 2, 2000, nullptr};
    }
};

void BM_FullCopy(benchmark::State& state) {
    Stage stage;
    TransitionFrame frame = stage.Frame();
    for (auto _ : state) {
        frame.CopyAll();
        benchmark::ClobberMemory();
    }
}

void BM_Effect(benchmark::State& state) {
    Stage stage;
    TransitionFrame frame = stage.Frame();
    auto number = static_cast<int32_t>(state.range(0));
    EffectPlayer player = FamilyPlayer(number);
    for (auto _ : state) {
        player(number, frame);
        benchmark::ClobberMemory();
    }
}

// Plays `number` once from the old picture to the new one and returns the
// pixels copied per pixel changed (0 when nothing changed).
double CopiedPerChanged(int32_t number) {
    auto screenSurface = Noise(1);
    bench::CountingScreen screen(screenSurface);
    auto work = screen.CreateCompatible();
    work->SelectBitmap(Noise(2));
    bench::FramePacer pacer(screen);
    TransitionFrame frame{screen, *work, pacer, 0, 0, kWidth, kHeight, 1000, 1000.0, 2, 2000, nullptr};
    FamilyPlayer(number)(number, frame);
    screen.EndFrame();
    return screen.changed == 0 ? 0.0 : static_cast<double>(screen.copied) / static_cast<double>(screen.changed);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("BM_FullCopy", BM_FullCopy)->Unit(benchmark::kMicrosecond);
    for (int32_t number = kFirstEffect; number <= kLastEffect; ++number) {
        if (number == 4 || number == 65) continue;
        benchmark::RegisterBenchmark("BM_Effect", BM_Effect)
            ->Arg(number)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.05);
    }
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double copy = reporter.Seconds("BM_FullCopy");
    if (copy <= 0) return 0;
    std::printf("\neffect  full copies (one: %.3f ms)  copied / changed pixels\n", copy * 1e3);
    for (int32_t number = kFirstEffect; number <= kLastEffect; ++number)
        if (double effect = reporter.Seconds("BM_Effect/" + std::to_string(number) + "/"); effect > 0)
            std::printf("%6d  %26.1f  %22.2f\n", number, effect / copy, CopiedPerChanged(number));
    benchmark::Shutdown();
    return 0;
}
