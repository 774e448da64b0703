// Frames drawn from kept pixels against the same frames drawn from scratch:
// moving gradient shapes with strokes at sub-pixel steps, once the cache
// holds them.
// At most 1 % of the pixels may be more than 16 off in a channel.

#include "tests/flash/FlashTestSupport.h"

namespace showsaver::flash::test {
namespace {

constexpr int kFrames = 12, kShapes = 30;

Bytes MovingShapes() {
    SwfWriter w(200, 150, 12, kFrames);
    w.Background(0xFFFFFF);
    for (int i = 0; i < kShapes; ++i) {
        const int half = 100 + 37 * (i % 7);
        Bits s;
        s.U16(uint16_t(i + 1)), s.Rect(-half - 20, half + 20, -half - 20, half + 20);
        s.U8(1);
        Radial(0, 0, half, 0x102030u * uint32_t(i % 5 + 1), 0xF0C080u - uint32_t(i) * 0x030201u)(s);
        s.U8(1), s.U16(30), s.Rgba(0x000000, 200);
        s.Put(2, 4), s.Put(1, 4);
        StyleChange(s, half, 0, 0, 1, 1);
        CurveTo(s, 0, half, -half, 0), CurveTo(s, -half, 0, 0, -half), CurveTo(s, 0, -half, half, 0), CurveTo(s, half, 0, 0, half);
        EndShape(s);
        w.Tag(32, s.Data());
    }
    for (int frame = 0; frame < kFrames; ++frame) {
        for (int i = 0; i < kShapes; ++i) {
            const int x = (i * 613) % 3800 + frame * (i % 5 * 13 + 3), y = (i * 397) % 2800 + frame * (i % 3 * 17 + 2);
            w.Place(uint16_t(i + 1), frame == 0 ? i + 1 : -1, x, y, frame > 0);
        }
        w.ShowFrame();
    }
    w.End();
    return w.Fws();
}

TEST(FlashShapeCache, KeptShapesDrawAsFromScratch) {
    const Bytes movie = MovingShapes();
    auto kept = Open(movie), fresh = Open(movie);
    fresh->SetShapeCache(false);
    for (int round = 0; round < 3; ++round)
        for (int frame = 0; frame < kFrames; ++frame) {
            kept->GotoFrame(frame);
            gfx::Surface cached = Paint(*kept, 200, 150);
            if (round < 2) continue;   // the first rounds fill the cache
            fresh->GotoFrame(frame);
            gfx::Surface scratch = Paint(*fresh, 200, 150);
            int off = 0;
            for (int y = 0; y < 150; ++y)
                for (int x = 0; x < 200; ++x) off += !Near(cached.Pixel(x, y), scratch.Pixel(x, y), 16);
            EXPECT_LE(off, 200 * 150 / 100) << "frame " << frame;
        }
    // Most shapes of the last round came from kept pixels.
    EXPECT_GE(kept->KeptDraws(), uint64_t{kShapes * kFrames / 2});
}

} // namespace
} // namespace showsaver::flash::test
