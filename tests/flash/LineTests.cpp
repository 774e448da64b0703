// Lines as DefineShape4's line styles draw them: a cap for each end, the
// width kept against scaling, hinting onto whole pixels, hairlines.

#include "tests/flash/FlashTestSupport.h"

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000;
constexpr int kPx = 20;

// A DefineShape4 of one black line from (x0, y) to (x1, y) twips.
// `flags` holds the LINESTYLE2 bits after the width: start cap (2), join
// (2), has fill, no horizontal scale, no vertical scale, pixel hinting,
// 5 reserved, no close, end cap (2).
Bytes LineShape(int x0, int x1, int y, int width, uint16_t flags) {
    Bits b;
    b.U16(1);
    b.Rect(x0 - width, x1 + width, y - width, y + width);
    b.Rect(x0, x1, y, y);
    b.U8(0);
    b.U8(0);   // no fills
    b.U8(1), b.U16(uint16_t(width)), b.U8(uint8_t(flags >> 8)), b.U8(uint8_t(flags)), b.Rgba(kBlack, 255);
    b.Put(2, 4), b.Put(1, 4);
    StyleChange(b, x0, y, 0, 0, 1);
    LineTo(b, x1 - x0, 0);
    EndShape(b);
    return b.Data();
}
enum : uint16_t {
    kStartRound = 0 << 14, kStartNone = 1 << 14, kStartSquare = 2 << 14,
    kNoHScale = 1 << 10, kNoVScale = 1 << 9, kHinting = 1 << 8,
    kEndRound = 0, kEndNone = 1, kEndSquare = 2,
};

struct Probe {
    int x, y;
    uint32_t rgb;
};

TEST(FlashLines, CapsScalingHintingAndHairlines) {
    struct Case { const char* what; int x0, x1, y, width; uint16_t flags; double scale; std::vector<Probe> probes; };
    const Case cases[] = {
        {"round start, no end cap", 20 * kPx, 80 * kPx, 50 * kPx, 10 * kPx, kStartRound | kEndNone, 1,
         {{17, 50, kBlack}, {50, 50, kBlack}, {82, 50, kWhite}}},
        {"no start cap, square end", 20 * kPx, 80 * kPx, 50 * kPx, 10 * kPx, kStartNone | kEndSquare, 1,
         {{17, 50, kWhite}, {83, 52, kBlack}, {83, 56, kWhite}}},
        {"square both ends", 20 * kPx, 80 * kPx, 50 * kPx, 10 * kPx, kStartSquare | kEndSquare, 1,
         {{16, 50, kBlack}, {83, 50, kBlack}}},
        // Scaled three times, a 2 px line is 6 px wide (27..33) unless it keeps its width (29..31).
        {"scaled with the shape", 5 * kPx, 25 * kPx, 10 * kPx, 2 * kPx, 0, 3, {{50, 32, kBlack}, {50, 30, kBlack}}},
        {"width kept", 5 * kPx, 25 * kPx, 10 * kPx, 2 * kPx, kNoHScale | kNoVScale, 3, {{50, 32, kWhite}, {50, 30, kBlack}}},
        // One pixel wide on a pixel edge: hinting moves it onto a row.
        {"hinted", 20 * kPx, 80 * kPx, 50 * kPx, kPx, kHinting, 1, {{50, 50, kBlack}, {50, 49, kWhite}}},
        {"hairline on a row", 20 * kPx, 80 * kPx, 50 * kPx + 10, 0, 0, 1, {{50, 50, kBlack}, {50, 49, kWhite}, {50, 51, kWhite}}},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(83, LineShape(c.x0, c.x1, c.y, c.width, c.flags));
        Bits place;
        place.U8(0x02 | 0x04), place.U16(1), place.U16(1), place.Matrix(c.scale, c.scale, 0, 0, 0, 0);
        w.Tag(26, place.Data());
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        gfx::Surface s = Paint(*player, 100, 100);
        for (const Probe& p : c.probes)
            EXPECT_TRUE(Near(s.Pixel(p.x, p.y), p.rgb, 8)) << c.what << " at " << p.x << "," << p.y;
    }
}

} // namespace
} // namespace showsaver::flash::test
