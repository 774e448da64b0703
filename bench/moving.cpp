// What one step of a moving picture costs: a MoveTo of a 400 × 300 JPEG by
// a few pixels on a 1920 × 1080 screen (decode, compose the bounding box in
// memory, one copy to the screen), as a ratio to decoding the same JPEG into
// a bitmap alone (goal: at most 1.5, since every step decodes anew). Also
// the same step repainting from the screen snapshot (keep screen behind).
// Prints the ratios and the steps per second after the run.

#include "app/ItemKinds.h"
#include "bench/NullWindow.h"
#include "bench/Pictures.h"
#include "bench/TimingReporter.h"
#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "playback/PictureDecoder.h"
#include "playback/PictureItem.h"
#include "playback/SceneThread.h"
#include "platform/sys/TempFiles.h"
#include "platform/ui/MessageBox.h"
#include "show/ItemList.h"
#include "show/ShowLoader.h"
#include "show/ShowReader.h"
#include "tools/showpack/Commands.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>

namespace {

using namespace showsaver;
namespace fs = std::filesystem;

constexpr int kScreenW = 1920, kScreenH = 1080;
constexpr int kPictureW = 400, kPictureH = 300;

class StderrSink final : public ui::MessageSink {
public:
    ui::MessageAnswer Show(std::string_view text, ui::MessageIcon, ui::MessageButtons) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        return ui::MessageAnswer::Ok;
    }
};

// The JPEG, a loaded show with its picture, and a screen to move it on.
struct Stage {
    sys::TempDirectory dir{fs::temp_directory_path()};
    std::vector<uint8_t> jpeg;
    ShowItemRegistry registry;
    bench::NullWindow window;
    StderrSink messages;
    uint32_t times = 1000000;
    std::shared_ptr<gfx::Surface> screenSurface = std::make_shared<gfx::Surface>(kScreenW, kScreenH);
    std::unique_ptr<gfx::SurfaceContext> screen = gfx::SurfaceContext::ForScreen(screenSurface);
    std::unique_ptr<CSceneThread> player;

    Stage() {
        codec::WriteJpeg(dir.Path() / "photo.jpg", bench::Photograph(kPictureW, kPictureH), 90);
        std::ifstream in(dir.Path() / "photo.jpg", std::ios::binary);
        jpeg.assign(std::istreambuf_iterator<char>(in), {});
        std::ofstream(dir.Path() / "show.json") << R"({"items": [
            {"class": "PictureItem", "file": {"path": "photo.jpg"}}]})";
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

    // Moves the picture back and forth by 3 pixels across the screen's
    // middle, one MoveTo per iteration.
    void MoveBackAndForth(benchmark::State& state, bool keepScreenBehind) {
        PictureItem& picture = Picture();
        PicturePlacement placement;
        placement.currentX = 700, placement.currentY = 400;
        placement.keepScreenBehind = keepScreenBehind;
        picture.targetPlacement = placement;
        picture.screenSnapshot = keepScreenBehind ? std::make_shared<gfx::Surface>(screenSurface->Clone()) : nullptr;
        int direction = 3;
        for (auto _ : state) {
            PicturePlacement next = picture.targetPlacement;
            if (next.currentX > 900 || next.currentX < 700) direction = -direction;
            next.currentX += direction;
            picture.MoveTo(*screen, next, *player);
            benchmark::ClobberMemory();
        }
        picture.screenSnapshot.reset();
    }
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

void BM_MoveToStep(benchmark::State& state) { TheStage().MoveBackAndForth(state, false); }
void BM_MoveToStepKeepingTheScreenBehind(benchmark::State& state) { TheStage().MoveBackAndForth(state, true); }

BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveToStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveToStepKeepingTheScreenBehind)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double decode = reporter.Seconds("BM_DecodeJpeg");
    double step = reporter.Seconds("BM_MoveToStep");
    double kept = reporter.Seconds("BM_MoveToStepKeepingTheScreenBehind");
    if (decode > 0 && step > 0) {
        std::printf("ratio MoveTo step/decode = %.2f (goal <= 1.5)\n", step / decode);
        std::printf("steps per second at %d x %d = %.0f\n", kScreenW, kScreenH, 1.0 / step);
    }
    if (decode > 0 && kept > 0)
        std::printf("ratio MoveTo step keeping the screen behind/decode = %.2f\n", kept / decode);
    benchmark::Shutdown();
    return 0;
}
