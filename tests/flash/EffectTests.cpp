// Filters and blend modes on small movies: a red square from 20 to 60 px on
// a white 100 px stage, checked against pixels worked out by hand.

#include "tests/flash/FlashTestSupport.h"

#include "flash/render/Effects.h"

#include <memory>

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0x000000;
constexpr int kPx = 20;

Bytes Square(uint16_t id, uint32_t rgb, uint8_t alpha = 255, int from = 20, int to = 60) {
    return RectShape(id, from * kPx, from * kPx, to * kPx, to * kPx, Solid(rgb, alpha));
}

// Shared fields of shadows, glows and bevels; `flags` is the byte of
// inner (0x80), knockout (0x40), composite source (0x20), on top (0x10,
// bevels) and the passes.
void Shared(Bits& b, double blur, double angle, double distance, double strength, uint8_t flags, bool angled = true) {
    Fixed(b, blur), Fixed(b, blur);
    if (angled) Fixed(b, angle), Fixed(b, distance);
    b.U16(uint16_t(std::lround(strength * 256))), b.U8(flags);
}
constexpr uint8_t kInner = 0x80, kKnockout = 0x40, kComposite = 0x20;

Bytes Blur(double size, int passes) {
    Bits b;
    b.U8(1), b.U8(1), Fixed(b, size), Fixed(b, size), b.U8(uint8_t(passes << 3));
    return b.Data();
}
Bytes Shadow(uint32_t rgb, double blur, double distance, uint8_t flags) {
    Bits b;
    b.U8(1), b.U8(0), b.Rgba(rgb, 255);
    Shared(b, blur, 0, distance, 1, uint8_t(flags | 1));
    return b.Data();
}
Bytes Glow(uint32_t rgb, double blur, double strength) {
    Bits b;
    b.U8(1), b.U8(2), b.Rgba(rgb, 255);
    Shared(b, blur, 0, 0, strength, kComposite | 1, false);
    return b.Data();
}
// Stops given highest ratio first: the filter orders them.
Bytes GradientGlow(uint32_t rgb, double blur) {
    Bits b;
    b.U8(1), b.U8(4), b.U8(2), b.Rgba(rgb, 255), b.Rgba(rgb, 0), b.U8(255), b.U8(0);
    Shared(b, blur, 0, 0, 1, kComposite | 1);
    return b.Data();
}
Bytes Bevel(uint32_t highlight, uint32_t shadow, double distance, uint8_t flags) {
    Bits b;
    b.U8(1), b.U8(3), b.Rgba(highlight, 255), b.Rgba(shadow, 255);
    Shared(b, 1, 0, distance, 1, uint8_t(flags | 1));
    return b.Data();
}
Bytes ColorMatrix(const std::vector<float>& m) {
    Bits b;
    b.U8(1), b.U8(6);
    for (float v : m) Float(b, v);
    return b.Data();
}
Bytes Convolution(int x, int y, float divisor, const std::vector<float>& weights, uint8_t flags) {
    Bits b;
    b.U8(1), b.U8(5), b.U8(uint8_t(x)), b.U8(uint8_t(y)), Float(b, divisor), Float(b, 0);
    for (float v : weights) Float(b, v);
    b.Rgba(0, 0), b.U8(flags);
    return b.Data();
}

struct Probe {
    int x, y;
    uint32_t rgb;
};

TEST(FlashEffects, FiltersMatchPixelsWorkedOutByHand) {
    // A box of 4 px spans x-1..x+2: at x = 18 one pixel in four is red.
    const uint32_t quarter = Mix(kWhite, kRed, 64 / 255.0);
    struct Case { const char* what; Bytes filters; std::vector<Probe> probes; };
    const Case cases[] = {
        {"blur 4, one pass", Blur(4, 1), {{18, 40, quarter}, {40, 40, kRed}, {15, 40, kWhite}}},
        // Boxes of 2 (x..x+1) twice: 0, 128 then 64, 192.
        {"blur 2, two passes", Blur(2, 2), {{18, 40, Mix(kWhite, kRed, 64 / 255.0)}, {19, 40, Mix(kWhite, kRed, 192 / 255.0)}}},
        {"drop shadow 10 px right", Shadow(kBlack, 1, 10, kComposite), {{65, 40, kBlack}, {40, 40, kRed}, {25, 40, kRed}, {15, 40, kWhite}}},
        {"knocked-out shadow", Shadow(kBlack, 1, 10, kComposite | kKnockout), {{65, 40, kBlack}, {40, 40, kWhite}, {25, 40, kWhite}}},
        {"inner shadow", Shadow(kBlack, 1, 10, kComposite | kInner), {{25, 40, kBlack}, {40, 40, kRed}, {65, 40, kWhite}}},
        {"shadow of a hidden object", Shadow(kBlack, 1, 10, 0), {{25, 40, kWhite}, {40, 40, kBlack}, {65, 40, kBlack}}},
        {"glow at strength 2", Glow(kGreen, 4, 2), {{18, 40, Mix(kWhite, kGreen, 128 / 255.0)}, {40, 40, kRed}}},
        {"gradient glow, stops unsorted", GradientGlow(kBlue, 4), {{18, 40, Mix(kWhite, kBlue, 64 / 255.0)}, {40, 40, kRed}}},
        {"inner bevel lit from the left", Bevel(kGreen, kBlue, 2, kInner | kComposite), {{21, 40, kGreen}, {58, 40, kBlue}, {40, 40, kRed}, {18, 40, kWhite}}},
        {"colour matrix swaps red and blue",
         ColorMatrix({0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0}), {{40, 40, kBlue}, {10, 10, kWhite}}},
        {"colour matrix offset", ColorMatrix({0, 0, 0, 0, 0, 0, 0, 0, 0, 128, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}), {{40, 40, 0x008000}}},
        // The mean of 3 × 3 straight colours; 3 of them beyond the edge are
        // clear black, the alpha is kept.
        {"convolution mean", Convolution(3, 3, 9, std::vector<float>(9, 1), 0x03), {{20, 40, 0xAA0000}, {40, 40, kRed}}},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(32, Square(1, kRed));
        w.Tag(70, PlaceObject3(1, 1, 0, 0, c.filters, 0));
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        gfx::Surface s = Paint(*player, 100, 100);
        for (const Probe& p : c.probes)
            EXPECT_TRUE(Near(s.Pixel(p.x, p.y), p.rgb, 3)) << c.what << " at " << p.x << "," << p.y;
    }
}

uint8_t Channel(uint32_t c, int shift) { return uint8_t(c >> shift); }
uint32_t PerChannel(uint32_t b, uint32_t s, int (*f)(int, int)) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) out |= uint32_t(std::clamp(f(Channel(b, shift), Channel(s, shift)), 0, 255)) << shift;
    return out;
}

TEST(FlashEffects, BlendModesMatchTheirFormulas) {
    const uint32_t below = 0x3366CC, above = 0xCC9933;
    struct Case { int mode; uint32_t expected; };
    const Case cases[] = {
        {1, above}, {2, above},
        {3, PerChannel(below, above, [](int b, int s) { return b * s / 255; })},
        {4, PerChannel(below, above, [](int b, int s) { return b + s - b * s / 255; })},
        {5, PerChannel(below, above, [](int b, int s) { return std::max(b, s); })},
        {6, PerChannel(below, above, [](int b, int s) { return std::min(b, s); })},
        {7, PerChannel(below, above, [](int b, int s) { return std::abs(b - s); })},
        {8, PerChannel(below, above, [](int b, int s) { return b + s; })},
        {9, PerChannel(below, above, [](int b, int s) { return b - s; })},
        {10, PerChannel(below, above, [](int b, int) { return 255 - b; })},
        {13, PerChannel(below, above, [](int b, int s) { return b < 128 ? 2 * b * s / 255 : 255 - 2 * (255 - b) * (255 - s) / 255; })},
        {14, PerChannel(below, above, [](int b, int s) { return s < 128 ? 2 * b * s / 255 : 255 - 2 * (255 - b) * (255 - s) / 255; })},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(32, Square(1, below, 255, 0, 100));
        w.Tag(32, Square(2, above));
        w.Place(1, 1, 0, 0);
        w.Tag(70, PlaceObject3(2, 2, 0, 0, {}, c.mode));
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(40, 40), c.expected, 3)) << "mode " << c.mode;
        EXPECT_TRUE(Near(s.Pixel(10, 10), below, 1)) << "mode " << c.mode;
    }
}

// Alpha and erase act on the layer they are drawn in: a sprite composited
// as one, its own backdrop made half clear where the square lies.
TEST(FlashEffects, AlphaAndEraseCutTheirLayer) {
    const uint32_t below = 0x3366CC;
    struct Case { int mode; double kept; };
    for (const Case& c : {Case{11, 128 / 255.0}, Case{12, 127 / 255.0}}) {
        SwfWriter w(100, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(32, Square(1, below, 255, 0, 100));
        w.Tag(32, Square(2, kBlack, 128));
        SwfWriter inside(100, 100, 12, 1);
        inside.Place(1, 1, 0, 0);
        inside.Tag(70, PlaceObject3(2, 2, 0, 0, {}, c.mode));
        w.Tag(39, SpriteOf(3, inside));
        w.Tag(70, PlaceObject3(1, 3, 0, 0, {}, 2));
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(40, 40), Mix(kWhite, below, c.kept), 3)) << "mode " << c.mode;
        EXPECT_TRUE(Near(s.Pixel(10, 10), below, 1)) << "mode " << c.mode;
    }
}

// A surface of its own for the filters alone, its pixels given by `pixel`.
using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
template <typename Pixel> SurfacePtr FilledSurface(int w, int h, Pixel pixel) {
    SurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h), cairo_surface_destroy);
    auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s.get()));
    const int stride = cairo_image_surface_get_stride(s.get()) / 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) data[y * stride + x] = pixel(x, y);
    cairo_surface_mark_dirty(s.get());
    return s;
}
uint32_t At(cairo_surface_t* s, int x, int y) {
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s))[y * cairo_image_surface_get_stride(s) / 4 + x];
}

// Every pixel of a blurred grey object is the rounded mean of its box along
// the row, then of that down the column, with nothing beyond the edges: on
// sizes below, at and above the box and the rows the blur takes together.
TEST(FlashEffects, BlurIsTheRoundedMeanOfItsBoxesOnAnySize) {
    struct Case { int w, h; double blurX, blurY; };
    for (const Case& c : {Case{1, 1, 2, 2}, Case{3, 5, 4, 3}, Case{7, 4, 255, 2}, Case{9, 9, 1, 8}, Case{33, 6, 5, 40},
                          Case{18, 11, 9.4, 9.6}}) {
        auto grey = [](int x, int y) { return uint32_t((x * 37 + y * 91 + x * y * 13) % 256) * 0x01010101u; };
        SurfacePtr s = FilledSurface(c.w, c.h, grey);
        Filter blur;
        blur.kind = FilterKind::Blur;
        blur.blurX = c.blurX, blur.blurY = c.blurY, blur.passes = 1;
        ApplyFilters(s.get(), {blur});
        auto mean = [](int n, int width, auto sample) {
            std::vector<uint32_t> out(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                uint32_t sum = 0;
                for (int j = i - (width - 1) / 2; j <= i + width / 2; ++j) sum += j >= 0 && j < n ? sample(j) : 0;
                out[size_t(i)] = (sum + uint32_t(width) / 2) / uint32_t(width);
            }
            return out;
        };
        const int bx = std::clamp(int(std::lround(c.blurX)), 1, 255), by = std::clamp(int(std::lround(c.blurY)), 1, 255);
        std::vector<std::vector<uint32_t>> rows;
        for (int y = 0; y < c.h; ++y) rows.push_back(mean(c.w, bx, [&](int x) { return grey(x, y) & 0xFF; }));
        for (int x = 0; x < c.w; ++x) {
            auto column = mean(c.h, by, [&](int y) { return rows[size_t(y)][size_t(x)]; });
            for (int y = 0; y < c.h; ++y)
                ASSERT_EQ(At(s.get(), x, y), column[size_t(y)] * 0x01010101u) << c.w << "x" << c.h << " at " << x << "," << y;
        }
    }
}

// An evenly half-transparent object, unblurred and unmoved, gets one
// effect colour all over, however often the colour of that partial cut has
// been asked for before.
TEST(FlashEffects, AnEvenHalfTransparentObjectGetsOneColourAllOver) {
    Filter glow;
    glow.kind = FilterKind::Glow, glow.blurX = glow.blurY = 1, glow.strength = 1.5;
    glow.color = {0, 200, 40, 255}, glow.knockout = true;
    Filter bevel;
    bevel.kind = FilterKind::Bevel, bevel.blurX = bevel.blurY = 1, bevel.distance = 0, bevel.strength = 0.8;
    bevel.color = {90, 0, 0, 255};
    for (const Filter& f : {glow, bevel}) {
        SurfacePtr s = FilledSurface(64, 48, [](int, int) { return 0x80402010u; });
        ApplyFilters(s.get(), {f});
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) ASSERT_EQ(At(s.get(), x, y), At(s.get(), 0, 0)) << int(f.kind) << " at " << x << "," << y;
    }
}

} // namespace
} // namespace showsaver::flash::test
