// Frames drawn from kept pixels against the same frames drawn from scratch:
// moving gradient shapes with strokes, and mitred lines, at sub-pixel steps,
// once the cache holds them.
// At most 1 % of the pixels may be more than 16 off in a channel, and none
// more than 40.

#include "tests/flash/FlashTestSupport.h"

namespace showsaver::flash::test {
namespace {

constexpr int kFrames = 12, kShapes = 30;

Bytes MovingShapes() {
    SwfWriter w(200, 150, 12, kFrames);
    w.Background(0xFFFFFF);
    for (int i = 0; i < kShapes; ++i) {
        const int half = 100 + 37 * (i % 7);
        if (i % 3 == 2) {
            // An open zigzag 4 px wide with mitred corners and square caps,
            // which reach furthest past its outline.
            Bits s;
            s.U16(uint16_t(i + 1)), s.Rect(-half - 200, half + 200, -half - 200, half + 200), s.Rect(-half, half, -half, half);
            s.U8(0), s.U8(0);
            s.U8(1), s.U16(80), s.U8(0x80 | 0x20), s.U8(0x02), s.U16(3 << 8), s.Rgba(0x402010u * uint32_t(i % 3 + 1), 255);
            s.Put(2, 4), s.Put(1, 4);
            StyleChange(s, -half, half / 2, 0, 0, 1);
            LineTo(s, half / 2, -half), LineTo(s, half / 2, half), LineTo(s, half / 2, -half), LineTo(s, half / 2, half);
            EndShape(s);
            w.Tag(83, s.Data());
            continue;
        }
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
            // A kept layer is at most a sixteenth of a pixel off on each
            // axis, which moves an edge's colour by at most 32: more is a
            // layer cut short or misplaced.
            int off = 0, far = 0;
            for (int y = 0; y < 150; ++y)
                for (int x = 0; x < 200; ++x) {
                    off += !Near(cached.Pixel(x, y), scratch.Pixel(x, y), 16);
                    far += !Near(cached.Pixel(x, y), scratch.Pixel(x, y), 40);
                }
            EXPECT_LE(off, 200 * 150 / 100) << "frame " << frame;
            EXPECT_EQ(far, 0) << "frame " << frame;
        }
    // Most shapes of the last round came from kept pixels.
    EXPECT_GE(kept->KeptDraws(), uint64_t{kShapes * kFrames / 2});
}

// A stage of 40 × 30 pixels showing one radial blob with a line around it at
// (x, y) twips, placed with cacheAsBitmap set or not.
Bytes OneBlob(int x, int y, bool asBitmap) {
    SwfWriter w(40, 30, 12, 1);
    w.Background(0xFFFFFF);
    Bits s;
    const int half = 160;
    s.U16(1), s.Rect(-half - 20, half + 20, -half - 20, half + 20);
    s.U8(1);
    Radial(0, 0, half, 0xF0C080, 0x203040)(s);
    s.U8(1), s.U16(20), s.Rgba(0x000000, 255);
    s.Put(2, 4), s.Put(1, 4);
    StyleChange(s, half, 0, 0, 1, 1);
    CurveTo(s, 0, half, -half, 0), CurveTo(s, -half, 0, 0, -half), CurveTo(s, 0, -half, half, 0), CurveTo(s, half, 0, 0, half);
    EndShape(s);
    w.Tag(32, s.Data());
    Bits place;
    place.U8(0x02 | 0x04), place.U8(asBitmap ? 0x04 : 0), place.U16(1), place.U16(1), place.Translate(x, y);
    if (asBitmap) place.U8(1);
    w.Tag(70, place.Data());
    w.ShowFrame();
    w.End();
    return w.Fws();
}

// An object cached as a bitmap shows at its position rounded to whole
// pixels; drawn as vectors it shows where it is.
TEST(FlashShapeCache, CachedAsBitmapSnapsToWholePixels) {
    struct Case {
        int x, y;           // twips
        int snapX, snapY;   // whole pixels
        bool seen;          // whether the snap shows against vector drawing (edges over 16 off)
    };
    const Case cases[] = {{400, 300, 20, 15, false}, {403, 300, 20, 15, true}, {407, 313, 20, 16, true},
                          {410, 290, 21, 15, true},  {417, 286, 21, 14, true}, {-7, 301, 0, 15, true}};
    for (const Case& c : cases) {
        auto asBitmap = Open(OneBlob(c.x, c.y, true)), snapped = Open(OneBlob(c.snapX * 20, c.snapY * 20, false)),
             vector = Open(OneBlob(c.x, c.y, false));
        for (int round = 0; round < 3; ++round) {   // drawn plainly, then kept, then from the kept pixels
            gfx::Surface a = Paint(*asBitmap, 40, 30), b = Paint(*snapped, 40, 30), v = Paint(*vector, 40, 30);
            int differ = 0, fromVector = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x) {
                    differ += !Near(a.Pixel(x, y), b.Pixel(x, y), 2);
                    fromVector += !Near(a.Pixel(x, y), v.Pixel(x, y), 16);
                }
            EXPECT_EQ(differ, 0) << c.x << "," << c.y << " round " << round;
            EXPECT_EQ(fromVector > 0, c.seen) << c.x << "," << c.y;
        }
    }
}

// The cache never holds more than its pixels and entries; when its entries
// are full, notes of earlier frames make way for new keys.
TEST(FlashShapeCache, BoundsPixelsAndEntries) {
    ShapeCache cache;
    EXPECT_TRUE(cache.Charge(ShapeCache::kMaxPixels));
    EXPECT_FALSE(cache.Charge(1));
    cache.NewFrame();
    auto key = [](size_t i) {
        ShapeCache::Key k;
        k.fill = reinterpret_cast<const void*>(i + 1);
        return k;
    };
    for (size_t i = 0; i < ShapeCache::kMaxEntries; ++i) ASSERT_NE(cache.Find(key(i)), nullptr);
    EXPECT_EQ(cache.Find(key(ShapeCache::kMaxEntries)), nullptr);   // all met this frame: none goes
    EXPECT_NE(cache.Find(key(0)), nullptr);                          // a key held is still found
    cache.NewFrame();
    EXPECT_NE(cache.Find(key(ShapeCache::kMaxEntries)), nullptr);
    EXPECT_LE(cache.Size(), ShapeCache::kMaxEntries);
}

} // namespace
} // namespace showsaver::flash::test
