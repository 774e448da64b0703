// What playing pictures costs beyond decoding them, and how long the
// calibrated waits last:
//  - a full-screen Show of a 1920 × 1080 JPEG at its position (effect 0), as
//    a ratio to decoding the same JPEG into a bitmap alone (goal: at most 1.5);
//  - a calibrated wait of "Times" polls, measured on this machine, as a
//    ratio to the one second it stands for.
// Prints both ratios after the run.

#include "app/ItemKinds.h"
#include "bench/NullWindow.h"
#include "bench/Pictures.h"
#include "bench/TimingReporter.h"
#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "playback/PictureDecoder.h"
#include "playback/PictureItem.h"
#include "playback/SceneThread.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "platform/ui/MessageBox.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"
#include "tools/showpack/Commands.h"
#include "playback/SpeedCalibration.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

using bench::NullWindow;

class StderrSink final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return ui::MessageAnswer::Ok;
    }
};


// The picture as a JPEG and as a loaded picture item of one show.
struct Stage {
    sys::TempDirectory dir{fs::temp_directory_path()};
    std::vector<uint8_t> jpeg;
    ShowItemRegistry registry;
    NullWindow window;
    StderrSink messages;
    uint32_t times = 0;
    std::shared_ptr<gfx::Surface> screenSurface = std::make_shared<gfx::Surface>(kWidth, kHeight);
    std::unique_ptr<gfx::SurfaceContext> screen = gfx::SurfaceContext::ForScreen(screenSurface);
    std::unique_ptr<CSceneThread> player;

    Stage() {
        codec::WriteJpeg(dir.Path() / "photo.jpg", bench::Photograph(kWidth, kHeight), 90);
        std::ifstream in(dir.Path() / "photo.jpg", std::ios::binary);
        jpeg.assign(std::istreambuf_iterator<char>(in), {});
        std::ofstream(dir.Path() / "show.json") << R"({"items": [
            {"class": "PictureItem", "file": {"path": "photo.jpg"}},
            {"class": "ShowPictureItem", "picture": 0}]})";
        auto bytes = showpack::BuildShow(dir.Path() / "show.json");
        ShowReader reader(*bytes);
        reader.ReadUInt32();
        ShowInfo info;
        (void)LoadShow(reader, registry, registry.Items(), info, &messages);
        CSceneThread::Setup setup;
        setup.window = &window;
        setup.dc = screen.get();
        setup.items = &registry.Items();
        setup.times = &times;
        setup.messages = &messages;
        player = std::make_unique<CSceneThread>(std::move(setup), CSceneThread::Mode::Play);
    }
    PictureItem& Picture() { return static_cast<PictureItem&>(registry.Items().At(0)); }
};

Stage& TheStage() {
    static Stage stage;
    return stage;
}

void BM_DecodeJpeg(benchmark::State& state) {
    Stage& stage = TheStage();
    PictureDecoder decoder;
    for (auto _ : state) {
        gfx::Size decoded;
        auto bitmap = decoder.DecodeToBitmap(stage.jpeg, stage.messages, decoded, 0, 0);
        benchmark::DoNotOptimize(bitmap.get());
    }
}

void BM_ShowJpegAtItsPosition(benchmark::State& state) {
    Stage& stage = TheStage();
    PictureItem& picture = stage.Picture();
    picture.targetPlacement = PicturePlacement{};
    for (auto _ : state) {
        picture.Show(*stage.screen, *stage.player, nullptr);
        benchmark::ClobberMemory();
    }
}

// A calibrated wait of Times polls with the count measured on this machine.
void BM_CalibratedWaitOfTimes(benchmark::State& state) {
    Stage& stage = TheStage();
    if (stage.times == 0) {
        registry::Store store(stage.dir.Path() / "config");
        stage.times = SpeedCalibration(store).Measure(nullptr);
    }
    for (auto _ : state) stage.player->CalibratedWait(0, 100000.0);
    state.counters["polls"] = stage.times;
}

BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowJpegAtItsPosition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalibratedWaitOfTimes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (double decode = reporter.Seconds("BM_DecodeJpeg"); decode > 0)
        std::printf("ratio show/decode = %.2f\n", reporter.Seconds("BM_ShowJpegAtItsPosition") / decode);
    if (double wait = reporter.Seconds("BM_CalibratedWaitOfTimes"); wait > 0)
        std::printf("ratio calibrated wait of Times polls / 1 s = %.2f\n", wait);
    benchmark::Shutdown();
    return 0;
}
