// How long the packed engine takes from its start to the first drawn
// picture, with the speed calibration already stored (so that no measuring
// second is spent), on a virtual X server. The baseline in the same run is
// the engine started with a switch it does not know, which loads its
// libraries, takes the captures and ends at once. Prints the ratio and both
// times after the run, also as measured in pairs side by side.
//
// On a machine that other work keeps busy the figures follow that work, not
// the engine: run it as `chrt -f 10 build/bench/bench_startup`, so that the
// engine and the X server it starts (which inherits the priority) get the
// cores when they want them. Nothing here spins: the waits sleep.

#include "bench/TimingReporter.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "tests/e2e/XSession.h"
#include "tools/showpack/Commands.h"
#include "playback/SpeedCalibration.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using namespace showsaver;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One colour that the show's picture has and the desktop has not.
constexpr unsigned long kPictureColour = 0xFF8000;

struct Stage {
    sys::TempDirectory dir{fs::temp_directory_path()};
    std::unique_ptr<e2e::VirtualDisplay> display;
    Display* x = nullptr;
    fs::path saver;
    std::string error;

    Stage() {
        display = std::make_unique<e2e::VirtualDisplay>((dir.Path() / "xvfb.log").string());
        if (display->Name().empty()) {
            error = display->Error();
            return;
        }
        setenv("DISPLAY", display->Name().c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("XDG_CONFIG_HOME", (dir.Path() / "config").c_str(), 1);
        setenv("SHOWSAVER_MESSAGE_LOG", (dir.Path() / "messages.jsonl").c_str(), 1);
        registry::Store store(registry::Store::DefaultDirectory());
        store.Set(registry::Hive::CurrentUser, SpeedCalibration::kKey, SpeedCalibration::kSysInfo, MachineFingerprint());
        store.Set(registry::Hive::CurrentUser, SpeedCalibration::kKey, SpeedCalibration::kTimes, uint32_t{100000000});
        // A full-screen orange picture, shown at its position.
        std::ofstream(dir.Path() / "orange.bmp", std::ios::binary) << OrangeBmp(1024, 768);
        std::ofstream(dir.Path() / "show.json") << R"({"items": [
            {"class": "PictureItem", "file": {"path": "orange.bmp"}},
            {"class": "ShowPictureItem", "picture": 0},
            {"class": "PauseItem", "duration": 600000}]})";
        saver = dir.Path() / "saver";
        auto built = showpack::BuildPacked(dir.Path() / "show.json", fs::path(SHOWSAVER_BINARY_DIR) / "showsaver", saver);
        if (!built) {
            error = built.Error().what;
            return;
        }
        x = XOpenDisplay(display->Name().c_str());
        if (!x) error = "cannot open the virtual display";
    }
    ~Stage() {
        if (x) XCloseDisplay(x);
    }

    static std::string OrangeBmp(int w, int h) {
        std::string bytes(54, '\0');
        auto put = [&](size_t at, uint32_t v, int n) {
            for (int i = 0; i < n; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
        };
        uint32_t rowBytes = static_cast<uint32_t>(w) * 3;
        bytes[0] = 'B', bytes[1] = 'M';
        put(2, 54 + rowBytes * h, 4), put(10, 54, 4), put(14, 40, 4), put(18, w, 4), put(22, h, 4);
        put(26, 1, 2), put(28, 24, 2);
        for (int i = 0; i < w * h; ++i) bytes += std::string{'\x00', '\x80', '\xFF'};
        return bytes;
    }

    unsigned long CentrePixel() {
        XImage* image = XGetImage(x, DefaultRootWindow(x), 512, 384, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0;
        unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
    }
};

Stage& TheStage() {
    static Stage stage;
    return stage;
}

// Seconds from the spawn of `saver /s` until its picture is on the screen.
double StartToFirstPicture(Stage& stage) {
    auto start = std::chrono::steady_clock::now();
    auto saver = e2e::ChildProcess::Spawn({stage.saver.string(), "/s"}, (stage.dir.Path() / "saver.log").string());
    while (stage.CentrePixel() != kPictureColour && std::chrono::steady_clock::now() - start < 30s)
        std::this_thread::sleep_for(1ms);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    saver.Stop();
    // Let the server settle: the next start must not see this picture.
    while (stage.CentrePixel() == kPictureColour) std::this_thread::sleep_for(5ms);
    return seconds;
}

// Seconds from the spawn of `saver /x` until it ended.
double StartAndEnd(Stage& stage) {
    auto start = std::chrono::steady_clock::now();
    auto saver = e2e::ChildProcess::Spawn({stage.saver.string(), "/x"});
    saver.WaitForExit(30s);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_StartToFirstPicture(benchmark::State& state) {
    Stage& stage = TheStage();
    if (!stage.error.empty()) return state.SkipWithError(stage.error.c_str());
    for (auto _ : state) state.SetIterationTime(StartToFirstPicture(stage));
}

void BM_StartAndEnd(benchmark::State& state) {
    Stage& stage = TheStage();
    if (!stage.error.empty()) return state.SkipWithError(stage.error.c_str());
    for (auto _ : state) state.SetIterationTime(StartAndEnd(stage));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Both starts in pairs, one right after the other, the order turning each
// pair: on a machine whose load changes, each pair sees about the same
// load. Reports the medians and the median of the pairs' ratios.
void BM_FirstPictureOverStartAndEnd(benchmark::State& state) {
    Stage& stage = TheStage();
    if (!stage.error.empty()) return state.SkipWithError(stage.error.c_str());
    std::vector<double> first, base, ratios;
    for (auto _ : state) {
        bool baseFirst = first.size() % 2 == 0;
        double b = baseFirst ? StartAndEnd(stage) : 0;
        double f = StartToFirstPicture(stage);
        if (!baseFirst) b = StartAndEnd(stage);
        first.push_back(f);
        base.push_back(b);
        ratios.push_back(f / b);
        state.SetIterationTime(f + b);
    }
    state.counters["first_ms"] = Median(first) * 1e3;
    state.counters["base_ms"] = Median(base) * 1e3;
    state.counters["ratio"] = Median(ratios);
}

BENCHMARK(BM_StartAndEnd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StartToFirstPicture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FirstPictureOverStartAndEnd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(11);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double base = reporter.Seconds("BM_StartAndEnd/"), first = reporter.Seconds("BM_StartToFirstPicture/");
    if (base > 0 && first > 0)
        std::printf("start to first picture %.0f ms, start and end %.0f ms, ratio %.2f\n", first * 1e3, base * 1e3,
                    first / base);
    if (const auto* paired = reporter.Find("BM_FirstPictureOverStartAndEnd/"))
        std::printf("in pairs (medians of 11): start to first picture %.0f ms, start and end %.0f ms, ratio %.2f\n",
                    paired->counters.at("first_ms"), paired->counters.at("base_ms"), paired->counters.at("ratio"));
    benchmark::Shutdown();
    return 0;
}
