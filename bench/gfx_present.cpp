// How much a full-screen BitBlt costs over copying the same pixels with one
// plain memcpy: the blit should be a row loop of memmoves and nothing more.
// Prints "ratio bitblt/memcpy = X" after the run.

#include "bench/TimingReporter.h"
#include "gfx/SurfaceContext.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using showsaver::gfx::Surface;
using showsaver::gfx::SurfaceContext;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::shared_ptr<Surface> Noise() {
    auto surface = std::make_shared<Surface>(kWidth, kHeight);
    uint32_t value = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) surface->Row(y)[x] = (value = value * 1103515245u + 12345u) >> 8;
    return surface;
}

void BM_Memcpy(benchmark::State& state) {
    auto from = Noise();
    auto to = std::make_shared<Surface>(kWidth, kHeight);
    const size_t bytes = static_cast<size_t>(from->Stride()) * kHeight;
    for (auto _ : state) {
        std::memcpy(to->Data(), from->Data(), bytes);
        benchmark::DoNotOptimize(to->Data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_BitBlt(benchmark::State& state) {
    auto picture = SurfaceContext::ForMemory({kWidth, kHeight});
    picture->SelectBitmap(Noise());
    auto screenSurface = std::make_shared<Surface>(kWidth, kHeight);
    auto screen = SurfaceContext::ForScreen(screenSurface);
    for (auto _ : state) {
        screen->BitBlt(0, 0, kWidth, kHeight, *picture, 0, 0);
        benchmark::DoNotOptimize(screenSurface->Data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * screenSurface->Stride() * kHeight);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BitBlt)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    showsaver::bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double memcpySeconds = reporter.Seconds("BM_Memcpy"), bitbltSeconds = reporter.Seconds("BM_BitBlt");
    if (memcpySeconds > 0 && bitbltSeconds > 0) std::printf("ratio bitblt/memcpy = %.3f\n", bitbltSeconds / memcpySeconds);
    return 0;
}
