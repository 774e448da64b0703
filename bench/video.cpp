// What playing a video costs, and whether it keeps up:
//  - CPU seconds per second of video for decoding and presenting a 640 × 480
//    MJPEG AVI through the video player into a screen-sized layer surface,
//    as a ratio to `ffmpeg -f null` decoding the same file (goal: at most 1.3);
//  - the pictures the player dropped on this machine (goal: none).
// The video is made with the ffmpeg command when the program starts.

#include "bench/TimingReporter.h"
#include "gfx/Surface.h"
#include "platform/video/VideoFile.h"
#include "platform/video/VideoPlayer.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

constexpr double kVideoSeconds = 4.0;

double ProcessCpuSeconds() {
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double ChildrenCpuSeconds() {
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A layer as the presenter keeps it: the player's rows copied into a surface
// under its lock.
class SurfaceLayer final : public video::FrameTarget {
public:
    SurfaceLayer(int width, int height) : m_surface(width, height) {}
    void ShowFrame(const uint32_t* xrgb, int width, int height, size_t stride) override {
        const int rows = std::min(height, m_surface.Height());
        const auto columns = size_t(std::min(width, m_surface.Width()));
        auto lock = m_surface.LockForDrawing(m_surface.Bounds());
        for (int y = 0; y < rows; ++y)
            std::memcpy(m_surface.Row(y), reinterpret_cast<const uint8_t*>(xrgb) + size_t(y) * stride, columns * 4);
    }

private:
    gfx::Surface m_surface;
};

void PlayOurs(benchmark::State& state, const fs::path& file) {
    const auto video = video::VideoFile::Open(file);
    if (!video) return state.SkipWithError("could not open the video");
    SurfaceLayer layer(video->Size().width, video->Size().height);
    video::VideoPlayer player(*video, layer, nullptr);
    uint64_t dropped = 0, shown = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        player.Play(false);
        player.Ended().Wait();
        state.SetIterationTime((ProcessCpuSeconds() - before) / kVideoSeconds);
        dropped += player.Counts().dropped;
        shown += player.Counts().shown;
    }
    state.counters["dropped"] = double(dropped);
    state.counters["shown"] = double(shown);
}

void DecodeWithFfmpeg(benchmark::State& state, const fs::path& file) {
    const std::string command = "ffmpeg -nostdin -v error -i '" + file.string() + "' -f null -";
    for (auto _ : state) {
        const double before = ChildrenCpuSeconds();
        if (std::system(command.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
        state.SetIterationTime((ChildrenCpuSeconds() - before) / kVideoSeconds);
    }
}

fs::path MakeVideo(const fs::path& dir) {
    const auto path = dir / "bench-640x480-mjpeg.avi";
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=640x480:r=25:d=" +
                                std::to_string(kVideoSeconds) + " -c:v mjpeg -q:v 3 '" + path.string() + "'";
    return std::system(command.c_str()) == 0 ? path : fs::path {};
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = fs::temp_directory_path() / ("showsaver-bench-video-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = MakeVideo(dir);
    if (file.empty()) {
        std::fprintf(stderr, "could not make the benchmark's video with ffmpeg\n");
        return 1;
    }
    benchmark::RegisterBenchmark("Video/PlayMjpeg640x480", PlayOurs, file)->UseManualTime()->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Video/FfmpegNull", DecodeWithFfmpeg, file)->UseManualTime()->Iterations(3)
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    fs::remove_all(dir);

    std::printf("\n");
    const double ours = reporter.Seconds("Video/PlayMjpeg640x480");
    const double ffmpeg = reporter.Seconds("Video/FfmpegNull");
    if (ours > 0 && ffmpeg > 0)
        std::printf("ratio %-26s / %-22s = %5.2f  (goal <= 1.3; CPU seconds per second of video)\n",
                    "Video/PlayMjpeg640x480", "Video/FfmpegNull", ours / ffmpeg);
    if (const auto* result = reporter.Find("Video/PlayMjpeg640x480"))
        std::printf("dropped pictures: %.0f of %.0f  (goal: none)\n", result->counters.at("dropped"),
                    result->counters.at("dropped") + result->counters.at("shown"));
    return 0;
}
