// A movie of 500 clips, each moved every frame by an onEnterFrame that
// adds Math.random() steps to its _x and _y, at 800 × 600: the script time
// of a frame (a step of the timeline, the scripts being nearly all of it)
// as a ratio to drawing that frame, measured in the same run.

#include "bench/TimingReporter.h"
#include "flash/player/FlashPlayer.h"
#include "tests/flash/Avm1Assembler.h"
#include "tests/flash/SwfWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

using namespace showsaver;

constexpr int kWidth = 800, kHeight = 600, kClips = 500;

const char* const kScript = R"(
    function2 _() regs=2 preload=this
      push r1, "_x", r1, "_x"; getMember; push 0, "Math"; getVariable; push "random"; callMethod
      push 4; multiply; push 2; subtract; add2; setMember
      push r1, "_y", r1, "_y"; getMember; push 0, "Math"; getVariable; push "random"; callMethod
      push 4; multiply; push 2; subtract; add2; setMember
    end
    push "wander"; swap; setVariable
    push 0; store r1; pop
    loop:
    push r1, 500; less2; not; if done
    push r1, "d", r1; add2; push "dot", 3, "_root"; getVariable; push "attachMovie"; callMethod; store r2; pop
    push r2, "_x", r1, 37; multiply; push 800; modulo; setMember
    push r2, "_y", r1, 53; multiply; push 600; modulo; setMember
    push r2, "onEnterFrame", "wander"; getVariable; setMember
    push r1; increment; store r1; pop
    jump loop
    done:
)";

flash::test::Bytes Movie() {
    using namespace flash::test;
    SwfWriter w(kWidth, kHeight, 30, 1);
    w.Background(0xFFFFFF);
    w.Tag(32, RectShape(1, -100, -100, 100, 100, Radial(0, 0, 100, 0xFF8000, 0x2040FF)));
    SpriteOf(w, 2, 1);
    ExportAsset(w, 2, "dot");
    w.Actions(Avm1Assembler::Assemble(kScript));
    w.ShowFrame();
    w.End();
    return w.Fws();
}

void BM_ScriptStep(benchmark::State& state) {
    flash::Player player;
    std::string error;
    if (!player.LoadBytes(Movie(), error)) return state.SkipWithError(error.c_str());
    for (auto _ : state) player.Tick();
    if (player.IsAbandoned()) state.SkipWithError("the script was abandoned");
}
BENCHMARK(BM_ScriptStep)->Unit(benchmark::kMillisecond);

void BM_DrawFrame(benchmark::State& state) {
    flash::Player player;
    std::string error;
    if (!player.LoadBytes(Movie(), error)) return state.SkipWithError(error.c_str());
    gfx::Surface surface(kWidth, kHeight);
    for (auto _ : state) player.Paint(surface);
}
BENCHMARK(BM_DrawFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double script = reporter.Seconds("BM_ScriptStep"), draw = reporter.Seconds("BM_DrawFrame");
    if (script > 0 && draw > 0)
        std::printf("\n%d clips moved by onEnterFrame at %d x %d: script %.2f ms a frame, drawing %.2f ms, "
                    "ratio %.2f (goal <= 1)\n",
                    kClips, kWidth, kHeight, script * 1e3, draw * 1e3, script / draw);
    benchmark::Shutdown();
    return 0;
}
