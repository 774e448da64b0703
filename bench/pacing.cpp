// What waiting costs. At 1920 × 1080, over a fixed show of one transition of
// each family with pauses between them:
//  - the scene thread's CPU time ÷ the CPU time of the same show with waits
//    of no polls, its drawing alone (goal: at most 1.2);
//  - the packed engine's CPU time ÷ wall time while it plays that show on a
//    virtual X server (goal: at most 0.15), and once the show has ended
//    (goal: at most 0.2 % of a core); the X server's beside it;
//  - calibrated waits of 1 ms to 1 s ÷ the time they stand for (goal 1 ± 0.02).
// Prints the ratios after the run.

#include "app/ItemKinds.h"
#include "bench/NullWindow.h"
#include "bench/Pictures.h"
#include "bench/TimingReporter.h"
#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "platform/ui/MessageBox.h"
#include "playback/SceneThread.h"
#include "playback/SpeedCalibration.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"
#include "tests/e2e/XSession.h"
#include "tools/showpack/Commands.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <thread>

namespace {

using namespace showsaver;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// The show ends by filling the screen with this colour.
constexpr unsigned long kEndColour = 0xFF00FF;
constexpr uint32_t kEndColourRef = 0xFF00FF;   // 0x00BBGGRR, the same magenta

using bench::NullWindow;

class SilentSink final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view, ui::MessageIcon, ui::MessageButtons) override {
        return ui::MessageAnswer::Ok;
    }
};

double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The CPU time of a whole process, user and system, threads that already
// ended included (the kernel adds theirs to the process's count).
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // The command name may hold spaces; the fields after it start past ')'.
    auto close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    // state is field 3; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 13; ++i) fields >> field;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}


// One transition of each family (dissolve, fade, slide, uncover, push, wipe,
// cell grid), half a second apart, then the end colour. The dissolve and the
// cell grid pause 0.1 ms per piece (waits that add up into a debt), the
// others 2 ms per frame.
std::string ShowDescription() {
    std::string items = R"({"class": "PictureItem", "file": {"path": "photo.jpg"}})";
    // The delay value d gives the speed 1100 - d.
    const std::pair<int, int> effects[] = {{6, 110}, {4, 300}, {24, 300}, {29, 300}, {41, 300}, {37, 300}, {17, 110}};
    for (auto [effect, delay] : effects) {
        items += R"(, {"class": "ShowPictureItem", "picture": 0, "placement": {"effectNumber": )" +
                 std::to_string(effect) + R"(, "transitionDelayValue": )" + std::to_string(delay) + "}}";
        items += R"(, {"class": "PauseItem", "duration": 500})";
        items += R"(, {"class": "BackgroundItem", "color": {"color": 0, "fourthValue": 0}})";
    }
    items += R"(, {"class": "BackgroundItem", "color": {"color": )" + std::to_string(kEndColourRef) +
             R"(, "fourthValue": 0}})";
    return R"({"items": [)" + items + "]}";
}

struct Stage {
    sys::TempDirectory dir{fs::temp_directory_path()};
    std::vector<uint8_t> show;
    fs::path saver;
    std::string error;

    Stage() {
        codec::WriteJpeg(dir.Path() / "photo.jpg", bench::Photograph(kWidth, kHeight), 90);
        std::ofstream(dir.Path() / "show.json") << ShowDescription();
        auto bytes = showpack::BuildShow(dir.Path() / "show.json");
        if (!bytes) {
            error = bytes.Error().what;
            return;
        }
        show = *bytes;
        saver = dir.Path() / "saver";
        if (auto written = showpack::WritePacked(fs::path(SHOWSAVER_BINARY_DIR) / "showsaver", show, saver); !written)
            error = written.Error().what;
    }
};

Stage& TheStage() {
    static Stage stage;
    return stage;
}

// Plays the show on a memory screen; the scene thread's CPU seconds.
double SceneThreadCpu(const std::vector<uint8_t>& show, uint32_t times) {
    ShowItemRegistry registry;
    SilentSink messages;
    ShowReader reader(show);
    ShowInfo info;
    info.headerWord = reader.ReadUInt32();
    if (!LoadShow(reader, registry, registry.Items(), info, &messages)) return 0;
    auto surface = std::make_shared<gfx::Surface>(kWidth, kHeight);
    auto screen = gfx::SurfaceContext::ForScreen(surface);
    NullWindow window;
    double cpu = 0;
    CSceneThread::Setup setup;
    setup.window = &window;
    setup.dc = screen.get();
    setup.items = &registry.Items();
    setup.times = &times;
    setup.messages = &messages;
    setup.afterItem = [&](int) { cpu = Seconds(CLOCK_THREAD_CPUTIME_ID); };
    CSceneThread player(std::move(setup), CSceneThread::Mode::Play);
    player.Resume();
    player.WaitForExit(std::chrono::hours(1));
    player.RequestStop();
    return cpu;
}

// The scene thread's CPU time, with the calibration of a fast machine or
// with waits of no polls.
void BM_SceneThreadCpu(benchmark::State& state) {
    Stage& stage = TheStage();
    if (!stage.error.empty()) return state.SkipWithError(stage.error.c_str());
    uint32_t times = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        double wallStart = Seconds(CLOCK_MONOTONIC);
        state.SetIterationTime(SceneThreadCpu(stage.show, times));
        state.counters["wall_s"] = Seconds(CLOCK_MONOTONIC) - wallStart;
    }
}

// The packed engine on a virtual X server: CPU ÷ wall while the show plays,
// then while it shows the last picture.
void BM_EngineProcess(benchmark::State& state) {
    Stage& stage = TheStage();
    if (!stage.error.empty()) return state.SkipWithError(stage.error.c_str());
    e2e::VirtualDisplay display((stage.dir.Path() / "xvfb.log").string(), "1920x1080x24");
    if (display.Name().empty()) return state.SkipWithError(display.Error().c_str());
    auto environment = e2e::EngineEnvironment(stage.dir.Path(), display.Name());
    registry::Store store(registry::Store::DefaultDirectory());
    store.Set(registry::Hive::CurrentUser, SpeedCalibration::kKey, SpeedCalibration::kSysInfo, MachineFingerprint());
    store.Set(registry::Hive::CurrentUser, SpeedCalibration::kKey, SpeedCalibration::kTimes, uint32_t{100000000});
    Display* x = XOpenDisplay(display.Name().c_str());
    if (!x) return state.SkipWithError("cannot open the virtual display");
    auto centre = [&] {
        XImage* image = XGetImage(x, DefaultRootWindow(x), kWidth / 2, kHeight / 2, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0ul;
        unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
    };
    for (auto _ : state) {
        double start = Seconds(CLOCK_MONOTONIC);
        double serverStart = ProcessCpuSeconds(display.ServerPid());
        auto saver = e2e::ChildProcess::Spawn({stage.saver.string(), "/s"}, (stage.dir.Path() / "saver.log").string());
        // The show's end colour is checked twice a second, so the watcher
        // itself costs little.
        while (centre() != kEndColour && Seconds(CLOCK_MONOTONIC) - start < 300) std::this_thread::sleep_for(500ms);
        double played = Seconds(CLOCK_MONOTONIC) - start;
        double playing = ProcessCpuSeconds(saver.Pid());
        double server = ProcessCpuSeconds(display.ServerPid()) - serverStart;
        std::this_thread::sleep_for(1s);
        double idleStart = ProcessCpuSeconds(saver.Pid());
        std::this_thread::sleep_for(5s);
        double idle = ProcessCpuSeconds(saver.Pid()) - idleStart;
        state.SetIterationTime(played);
        state.counters["cpu_per_wall"] = playing / played;
        state.counters["server_cpu_per_wall"] = server / played;
        state.counters["idle_cpu_per_wall"] = idle / 5.0;
        saver.Stop();
    }
    XCloseDisplay(x);
}

// A calibrated wait of range(0) microseconds' worth of polls.
void BM_CalibratedWait(benchmark::State& state) {
    uint32_t times = 1000000;   // one poll per microsecond
    CSceneThread::Setup setup;
    NullWindow window;
    ItemList items;   // the thread is never resumed; its stop plays this empty show
    setup.window = &window;
    setup.items = &items;
    setup.times = &times;
    CSceneThread player(std::move(setup), CSceneThread::Mode::Play);
    auto micros = static_cast<uint32_t>(state.range(0));
    // total 100000: n = (100000 - elapsed) × Times ÷ 100000 polls.
    uint32_t elapsed = 100000 - micros / 10;
    for (auto _ : state) player.CalibratedWait(elapsed, 100000.0);
    player.RequestStop();
}

// Three runs of each, as one run on a busy machine can be far off.
BENCHMARK(BM_SceneThreadCpu)->Arg(100000000)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_EngineProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CalibratedWait)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// Keeps every repetition's time as well, for the medians.
class RepeatingReporter final : public bench::TimingReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                m_times[run.run_name.str()].push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
        bench::TimingReporter::ReportRuns(runs);
    }

    // The median seconds of the runs whose name starts with `prefix`, 0 when none ran.
    double Median(std::string_view prefix) const {
        auto it = m_times.lower_bound(std::string(prefix));
        if (it == m_times.end() || !it->first.starts_with(prefix)) return 0;
        auto times = it->second;
        std::sort(times.begin(), times.end());
        return times.size() % 2 ? times[times.size() / 2] : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    }

private:
    std::map<std::string, std::vector<double>> m_times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RepeatingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double paced = reporter.Median("BM_SceneThreadCpu/100000000"), drawing = reporter.Median("BM_SceneThreadCpu/0/");
    if (paced > 0 && drawing > 0)
        std::printf("scene thread CPU / drawing alone = %.2f (medians of three runs: %.2f s / %.2f s)\n",
                    paced / drawing, paced, drawing);
    if (const auto* engine = reporter.Find("BM_EngineProcess"))
        std::printf("engine CPU / wall while playing = %.3f, after the show = %.4f %% of a core; "
                    "X server CPU / wall while playing = %.3f\n",
                    engine->counters.at("cpu_per_wall"), 100 * engine->counters.at("idle_cpu_per_wall"),
                    engine->counters.at("server_cpu_per_wall"));
    for (int micros : {1000, 10000, 100000, 1000000})
        if (double s = reporter.Seconds("BM_CalibratedWait/" + std::to_string(micros)); s > 0)
            std::printf("calibrated wait of %d us / its time = %.4f\n", micros, s / (micros * 1e-6));
    benchmark::Shutdown();
    return 0;
}
