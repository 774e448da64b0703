// What the player draws: gradients and their spreads, a bitmap fill from
// every bitmap tag, clip-depth masks, morphs, strokes and colour transforms.

#include "tests/flash/FlashTestSupport.h"

#include "flash/characters/Gif.h"
#include "flash/characters/Parsers.h"


namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kGreen = 0x00FF00;


// A 100 px white stage with one shape placed at its origin: `shape` is the
// body of a DefineShape (32) or, with `code` 83, of a DefineShape4.
Bytes OneShapeMovie(const Bytes& shape, const std::vector<Bytes>& before = {}, int code = 32) {
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    for (const Bytes& tag : before) w.Tag(tag[0], Bytes(tag.begin() + 1, tag.end()));
    w.Tag(code, shape);
    w.Place(1, 1, 0, 0);
    w.ShowFrame();
    w.End();
    return w.Fws();
}

TEST(FlashRender, RadialGradientCentreEdgeAndSpreadModes) {
    // Red at the centre of a 100 px stage, blue at 50 px out; the corner
    // (70.7 px out, 1.414 radii) shows how the gradient spreads past its end.
    struct Case { int spread; uint32_t corner; };
    const Case cases[] = {{0, kBlue}, {1, Mix(kRed, kBlue, 2 - std::sqrt(2.0))}, {2, Mix(kRed, kBlue, std::sqrt(2.0) - 1)}};
    for (const Case& c : cases) {
        auto fill = [&](Bits& b) {
            b.U8(0x12);
            b.Matrix(1000 / 16384.0, 1000 / 16384.0, 0, 0, 1000, 1000);
            b.Put(uint32_t(c.spread), 2), b.Put(0, 2), b.Put(2, 4);
            b.U8(0), b.Rgba(kRed, 255), b.U8(255), b.Rgba(kBlue, 255);
        };
        auto player = Open(OneShapeMovie(RectShape(1, 0, 0, 2000, 2000, fill)));
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(50, 50), kRed, 8)) << "spread " << c.spread;
        EXPECT_TRUE(Near(s.Pixel(50, 25), Mix(kRed, kBlue, 0.5), 8)) << "spread " << c.spread;
        EXPECT_TRUE(Near(s.Pixel(99, 50), kBlue, 8)) << "spread " << c.spread;
        EXPECT_TRUE(Near(s.Pixel(0, 0), c.corner, 10)) << "spread " << c.spread;
    }
}

// A DefineShape4 of the whole 100 px stage filled with one gradient whose
// square spans the stage (50 px either side of its centre): a linear one
// runs left to right, a radial one has its circle touch the stage's edges.
Bytes GradientStage(uint8_t type, int spread, int interpolation, double focal,
                    const std::vector<std::pair<uint8_t, uint32_t>>& stops) {
    Bits b;
    b.U16(1);
    b.Rect(0, 2000, 0, 2000), b.Rect(0, 2000, 0, 2000);   // shape and edge bounds
    b.U8(0);
    b.U8(1);
    b.U8(type);
    b.Matrix(1000 / 16384.0, 1000 / 16384.0, 0, 0, 1000, 1000);
    b.Put(uint32_t(spread), 2), b.Put(uint32_t(interpolation), 2), b.Put(uint32_t(stops.size()), 4);
    for (auto [ratio, rgb] : stops) b.U8(ratio), b.Rgba(rgb, 255);
    if (type == 0x13) b.U16(uint16_t(int16_t(std::lround(focal * 256))));
    b.U8(0);
    b.Put(2, 4), b.Put(1, 4);
    Box(b, 0, 0, 2000, 2000, 0, 1);
    EndShape(b);
    return OneShapeMovie(b.Data(), {}, 83);
}

TEST(FlashRender, GradientStopOrderFocalPointsSpreadsAndInterpolation) {
    // Each expected colour is worked out by hand from the geometry. Linear:
    // pixel x's centre lies at ratio (x + 0.5) × 2.55. Stops are drawn in
    // the order stored, each up to its ratio before the next begins, so a
    // stop whose ratio is below an earlier one's starts where that one ends.
    // Focal (0.5: the focal point at pixel 75 of the middle row): a pixel's
    // ratio is its distance from the focal point over the distance from
    // there to the circle along the same ray.
    constexpr uint32_t kCyan = 0x00FFFF, kBlack = 0;
    struct Sample { int x, y; uint32_t colour; };
    struct Case {
        const char* what;
        uint8_t type;
        int spread, interpolation;
        double focal;
        std::vector<std::pair<uint8_t, uint32_t>> stops;
        std::vector<Sample> samples;
    };
    // Linear light of sRGB 0..1, and back.
    auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    auto srgb = [](double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; };
    auto linearMix = [&](double t) {   // red to blue blended in linear light
        auto c = [&](double a, double b) { return uint32_t(std::lround(255 * srgb(lin(a) * (1 - t) + lin(b) * t))); };
        return c(1, 0) << 16 | c(0, 1);
    };
    const Case cases[] = {
        {"sorted", 0x10, 0, 0, 0, {{0, kRed}, {255, kBlue}},
         {{0, 50, Mix(kRed, kBlue, 0.005)}, {49, 50, Mix(kRed, kBlue, 0.495)}, {99, 50, Mix(kRed, kBlue, 0.995)}}},
        {"a lower ratio after a higher one starts where that one ends", 0x10, 0, 0, 0,
         {{0, kRed}, {128, kGreen}, {50, kCyan}, {255, kBlue}},
         {{25, 50, Mix(kRed, kGreen, 65.025 / 128)}, {75, 50, Mix(kCyan, kBlue, 63.25 / 127)}}},
        {"a lower last ratio takes no room", 0x10, 0, 0, 0,
         {{0, kRed}, {128, kGreen}, {255, kBlue}, {128, kCyan}},
         {{25, 50, Mix(kRed, kGreen, 65.025 / 128)}, {75, 50, Mix(kGreen, kBlue, 63.25 / 127)}}},
        {"equal ratios make a hard edge", 0x10, 0, 0, 0, {{0, kRed}, {128, kRed}, {128, kBlue}, {255, kBlue}},
         {{48, 50, kRed}, {51, 50, kBlue}}},
        {"pads before the first ratio and after the last", 0x10, 0, 0, 0, {{64, kRed}, {192, kBlue}},
         {{5, 50, kRed}, {95, 50, kBlue}, {50, 50, Mix(kRed, kBlue, 64.775 / 128)}}},
        {"the reserved spread mode pads", 0x10, 3, 0, 0, {{64, kRed}, {192, kBlue}}, {{95, 50, kBlue}, {5, 50, kRed}}},
        {"linear RGB", 0x10, 0, 1, 0, {{0, kRed}, {255, kBlue}},
         {{25, 50, linearMix(0.255)}, {50, 50, linearMix(0.505)}, {75, 50, linearMix(0.755)}}},
        {"radial padded past its circle", 0x12, 0, 0, 0, {{0, kRed}, {255, kBlack}},
         {{50, 25, Mix(kRed, kBlack, 0.49)}, {0, 0, kBlack}, {99, 99, kBlack}}},
        // The corner's ray leaves the circle 0.770 of the way there: 1.299 radii out; the
        // pixel beside the focal point lies 0.71 px along a 29.1 px ray.
        {"focal, pad", 0x13, 0, 0, 0.5, {{0, kRed}, {255, kBlue}},
         {{75, 50, Mix(kRed, kBlue, 0.024)}, {87, 50, Mix(kRed, kBlue, 0.5)}, {25, 50, Mix(kRed, kBlue, 49.5 / 75)}, {0, 0, kBlue}}},
        {"focal, reflect", 0x13, 1, 0, 0.5, {{0, kRed}, {255, kBlue}},
         {{87, 50, Mix(kRed, kBlue, 0.5)}, {0, 0, Mix(kRed, kBlue, 2 - 1.2988)}}},
        {"focal, repeat", 0x13, 2, 0, 0.5, {{0, kRed}, {255, kBlue}},
         {{25, 50, Mix(kRed, kBlue, 49.5 / 75)}, {0, 0, Mix(kRed, kBlue, 1.2988 - 1)}}},
        {"focal on the left, linear RGB", 0x13, 0, 1, -0.5, {{0, kRed}, {255, kBlue}},
         {{12, 50, linearMix(0.5)}, {74, 50, linearMix(49.5 / 75)}}},
        // Nothing is left unpainted behind a focal point on the circle.
        {"focal on the circle", 0x13, 0, 0, 1, {{0, kRed}, {255, kBlue}}, {{99, 0, kBlue}, {99, 99, kBlue}}},
    };
    for (const Case& c : cases) {
        auto player = Open(GradientStage(c.type, c.spread, c.interpolation, c.focal, c.stops));
        gfx::Surface s = Paint(*player, 100, 100);
        for (const Sample& at : c.samples)
            EXPECT_TRUE(Near(s.Pixel(at.x, at.y), at.colour, 5)) << c.what << " at " << at.x << "," << at.y;
    }
}

// A tag given to OneShapeMovie: its code, then its body.
Bytes Tagged(int code, const Bytes& body) {
    Bytes out{uint8_t(code)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(FlashRender, BitmapFillFromEveryBitmapTag) {
    const uint32_t colour = 0x3366CC;
    const Bytes jpeg = JpegOf(colour);
    auto [tables, image] = SplitJpeg(jpeg);
    Bits jpeg2, marked, bits, jpeg3, jpeg4;
    jpeg2.U16(7), jpeg2.Append(jpeg);
    marked.U16(7), marked.Append({0xFF, 0xD9, 0xFF, 0xD8}), marked.Append(jpeg);
    bits.U16(7), bits.Append(image);
    jpeg3.U16(7), jpeg3.U32(uint32_t(jpeg.size())), jpeg3.Append(jpeg), jpeg3.Append(Zlib(Bytes(16 * 16, 128)));
    // JPEG4: JPEG3 with a deblocking strength (8.8), which leaves one colour as it is.
    jpeg4.U16(7), jpeg4.U32(uint32_t(jpeg.size())), jpeg4.U16(0x100), jpeg4.Append(jpeg), jpeg4.Append(Zlib(Bytes(16 * 16, 128)));
    // PNG and GIF data keep their own transparency; JPEG3's alpha plane
    // (here all clear) is for JPEG data only.
    const Bytes png = PngOf(colour, 128), gif = GifOf(2, 2, {colour, colour, colour, colour});
    Bits pngJpeg2, opaquePng, gifJpeg2, gifJpeg3;
    pngJpeg2.U16(7), pngJpeg2.Append(png);
    opaquePng.U16(7), opaquePng.Append(PngOf(colour, 255));
    gifJpeg2.U16(7), gifJpeg2.Append(gif);
    gifJpeg3.U16(7), gifJpeg3.U32(uint32_t(gif.size())), gifJpeg3.Append(gif), gifJpeg3.Append(Zlib(Bytes(4, 0)));
    struct Case { const char* what; std::vector<Bytes> tags; uint32_t expected; };
    const Case cases[] = {
        {"Lossless colour-mapped", {Tagged(20, Lossless(7, 20, 3, 2, 2, colour))}, colour},
        {"Lossless 15-bit", {Tagged(20, Lossless(7, 20, 4, 2, 2, 0x3060C0))}, 0x3163C6},
        {"Lossless 32-bit", {Tagged(20, Lossless(7, 20, 5, 2, 2, colour))}, colour},
        {"Lossless2 colour-mapped, half alpha", {Tagged(36, Lossless(7, 36, 3, 2, 2, colour, 128))}, Mix(kWhite, colour, 128 / 255.0)},
        {"Lossless2 32-bit, half alpha", {Tagged(36, Lossless(7, 36, 5, 2, 2, colour, 128))}, Mix(kWhite, colour, 128 / 255.0)},
        {"JPEG2", {Tagged(21, jpeg2.Data())}, colour},
        {"JPEG2 behind a stray end and start marker", {Tagged(21, marked.Data())}, colour},
        {"DefineBits with JPEGTables", {Tagged(8, tables), Tagged(6, bits.Data())}, colour},
        {"JPEG3 with alpha", {Tagged(35, jpeg3.Data())}, Mix(kWhite, colour, 128 / 255.0)},
        {"JPEG4 with alpha, deblocked", {Tagged(90, jpeg4.Data())}, Mix(kWhite, colour, 128 / 255.0)},
        {"JPEG2 holding a PNG with half alpha", {Tagged(21, pngJpeg2.Data())}, Mix(kWhite, colour, 128 / 255.0)},
        {"JPEG2 holding an opaque PNG", {Tagged(21, opaquePng.Data())}, colour},
        {"JPEG2 holding a GIF", {Tagged(21, gifJpeg2.Data())}, colour},
        {"JPEG3 holding a GIF, its alpha plane unused", {Tagged(35, gifJpeg3.Data())}, colour},
    };
    for (const Case& c : cases) {
        // The bitmap's pixels 20 px wide, from (20, 20), clipped: the fill
        // covers the 40 × 40 px square at (20, 20) and pads beyond.
        auto player = Open(OneShapeMovie(RectShape(1, 400, 400, 1200, 1200, BitmapFill(7, 400, 400, 400)), c.tags));
        ASSERT_TRUE(player->Warnings().empty()) << c.what << ": " << player->Warnings()[0];
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(40, 40), c.expected, 4)) << c.what;
        EXPECT_TRUE(Near(s.Pixel(10, 10), kWhite)) << c.what;
    }
}

TEST(FlashRender, ColourTransformAppliesToBitmaps) {
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Tag(20, Lossless(7, 20, 5, 2, 2, 0x3366CC));
    w.Tag(32, RectShape(1, 0, 0, 2000, 2000, BitmapFill(7, 1000, 0, 0)));
    // Red kept, green and blue dropped, blue set to 255, alpha halved.
    Bits place;
    place.U8(0x02 | 0x04 | 0x08), place.U16(1), place.U16(1), place.Translate(0, 0);
    place.Put(1, 1), place.Put(1, 1), place.Put(10, 4);
    place.Signed(256, 10), place.Signed(0, 10), place.Signed(0, 10), place.Signed(128, 10);
    place.Signed(0, 10), place.Signed(0, 10), place.Signed(255, 10), place.Signed(0, 10);
    w.Tag(26, place.Data());
    w.ShowFrame();
    w.End();
    auto player = Open(w.Fws());
    gfx::Surface s = Paint(*player, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(50, 50), Mix(kWhite, 0x3300FF, 0.5), 3));
}

// A DefineShape3 rectangle outlined by a `width`-twip black line, filled
// with `rgb` unless `filled` is false.
Bytes OutlinedRect(uint16_t id, int x0, int y0, int x1, int y1, int width, uint32_t rgb, bool filled) {
    Bits b;
    b.U16(id);
    b.Rect(x0 - width, x1 + width, y0 - width, y1 + width);
    b.U8(filled ? 1 : 0);
    if (filled) Solid(rgb)(b);
    b.U8(1), b.U16(uint16_t(width)), b.Rgba(0, 255);
    b.Put(2, 4), b.Put(1, 4);
    Box(b, x0, y0, x1, y1, 0, filled ? 1 : 0, 1);
    EndShape(b);
    return b.Data();
}

TEST(FlashRender, ClipDepthMasksTheDepthsAboveIt) {
    // Shapes: 1 the left half, 2 the whole stage, 3 the bottom strip, 4 the
    // top half, 5 the whole stage in blue, 6 only the outline of the left
    // half (a line 20 px wide), 7 the left half filled and outlined so.
    struct Placed { uint16_t depth, id, clipDepth; };
    struct Case {
        const char* what;
        std::vector<Placed> list;
        std::vector<std::pair<std::pair<int, int>, uint32_t>> pixels;
    };
    const Case cases[] = {
        {"masks the depths up to its clip depth", {{1, 1, 2}, {2, 2, 0}, {3, 3, 0}},
         {{{25, 25}, kGreen}, {{75, 25}, kWhite}, {{25, 90}, kBlue}, {{75, 90}, kBlue}}},
        {"an object below the mask stays", {{1, 5, 0}, {2, 1, 3}, {3, 2, 0}},
         {{{25, 25}, kGreen}, {{75, 25}, kBlue}, {{75, 75}, kBlue}}},
        {"a mask of strokes only shows nothing", {{1, 6, 2}, {2, 2, 0}},
         {{{25, 25}, kWhite}, {{50, 25}, kWhite}, {{0, 50}, kWhite}, {{75, 75}, kWhite}}},
        {"a mask's strokes are not part of it", {{1, 7, 2}, {2, 2, 0}},
         {{{25, 25}, kGreen}, {{55, 25}, kWhite}}},
        {"a mask inside a mask", {{1, 1, 4}, {2, 4, 3}, {3, 2, 0}, {4, 3, 0}},
         {{{25, 25}, kGreen}, {{25, 60}, kWhite}, {{25, 90}, kBlue}, {{75, 25}, kWhite}, {{75, 90}, kWhite}}},
    };
    for (const Case& c : cases) {
        SwfWriter w(100, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(32, RectShape(1, 0, 0, 1000, 2000, Solid(kRed)));
        w.Tag(32, RectShape(2, 0, 0, 2000, 2000, Solid(kGreen)));
        w.Tag(32, RectShape(3, 0, 1500, 2000, 2000, Solid(kBlue)));
        w.Tag(32, RectShape(4, 0, 0, 2000, 1000, Solid(kRed)));
        w.Tag(32, RectShape(5, 0, 0, 2000, 2000, Solid(kBlue)));
        w.Tag(32, OutlinedRect(6, 0, 0, 1000, 2000, 400, kRed, false));
        w.Tag(32, OutlinedRect(7, 0, 0, 1000, 2000, 400, kRed, true));
        for (const Placed& p : c.list) w.Place(p.depth, p.id, 0, 0, false, -1, p.clipDepth);
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        gfx::Surface s = Paint(*player, 100, 100);
        for (auto [at, colour] : c.pixels)
            EXPECT_TRUE(Near(s.Pixel(at.first, at.second), colour)) << c.what << " at " << at.first << "," << at.second;
    }
}

// The same GIF with its global colour table moved into the image's own.
Bytes WithLocalTable(Bytes gif) {
    const uint8_t flags = gif[10];
    const size_t table = 3 * (size_t(2) << (flags & 7));
    Bytes colours(gif.begin() + 13, gif.begin() + 13 + long(table));
    gif.erase(gif.begin() + 13, gif.begin() + 13 + long(table));
    gif[10] = uint8_t(flags & 0x7F);
    size_t at = 13;
    while (at < gif.size() && gif[at] == 0x21) {   // extensions: a label, then sub-blocks
        at += 2;
        while (at < gif.size() && gif[at] != 0) at += gif[at] + 1u;
        ++at;
    }
    gif[at + 9] = uint8_t(gif[at + 9] | 0x80 | (flags & 7));
    gif.insert(gif.begin() + long(at + 10), colours.begin(), colours.end());
    return gif;
}

// What ImageMagick's GIF writer makes (its LZW codes up to 12 bits with
// the table cleared when full, interlacing, a transparent colour, a local
// colour table) reads back pixel for pixel; damaged copies read cleanly.
TEST(FlashRender, GifReaderReadsWhatImageMagickWrites) {
    struct Case { const char* what; int width, height, colours; std::string options; };
    const Case cases[] = {
        {"two colours", 9, 7, 2, ""},
        {"five colours, interlaced", 40, 30, 5, "-interlace GIF"},
        {"a transparent colour", 33, 17, 6, "-transparent \"#FF00FF\""},
        {"256 colours of noise", 300, 200, 256, ""},
        {"a local colour table", 20, 20, 3, "local"},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> rgb;
        uint32_t seed = 99;
        for (int i = 0; i < c.width * c.height; ++i) {
            seed = seed * 1103515245u + 12345u;
            uint32_t k = (seed >> 16) % uint32_t(c.colours);
            rgb.push_back(k == 0 ? 0xFF00FF : (k * 37 % 256) << 16 | (k * 91 % 256) << 8 | k);
        }
        const bool local = c.options == "local";
        const Bytes gif = local ? WithLocalTable(GifOf(c.width, c.height, rgb)) : GifOf(c.width, c.height, rgb, c.options);
        MemoryBudget budget(gif.size());
        auto image = DecodeGif(gif, budget);
        ASSERT_TRUE(image) << c.what;
        ASSERT_EQ(image->screenWidth, c.width) << c.what;
        ASSERT_EQ(image->screenHeight, c.height) << c.what;
        const bool clear = c.options.find("-transparent") != std::string::npos;
        int wrong = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                uint32_t want = rgb[size_t(y * c.width + x)];
                want = clear && want == 0xFF00FF ? 0 : 0xFF000000u | want;
                uint32_t got = image->palette[image->indices[size_t((y - image->top) * image->width + x - image->left)]];
                wrong += got != want;
            }
        EXPECT_EQ(wrong, 0) << c.what;
        for (size_t length = 0; length < gif.size(); length += 1 + gif.size() / 97) {
            MemoryBudget again(gif.size());
            DecodeGif(std::span<const uint8_t>(gif).first(length), again);
        }
        Bytes huge = gif;
        huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;   // a 65535 × 65535 screen
        EXPECT_FALSE(DecodeGif(huge, budget)) << c.what;
    }
}

// A DefineButton2 whose first up-state record carries filters (a blur, a
// gradient glow of two colours, a 3 × 3 convolution) and a blend mode: the
// up-state record after it is drawn too, the hit-test record after that not.
TEST(FlashRender, ButtonRecordsAfterFiltersAndBlendModesAreDrawn) {
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Tag(32, RectShape(1, 0, 0, 400, 400, Solid(kRed)));
    w.Tag(32, RectShape(2, 0, 0, 400, 400, Solid(kBlue)));
    Bits b;
    b.U16(3), b.U8(0), b.U16(0);
    b.U8(0x01 | 0x10 | 0x20), b.U16(1), b.U16(1), b.Translate(0, 0), b.Put(0, 1), b.Put(0, 1), b.Put(0, 4);
    b.U8(3);
    // Filters that leave the object as it is: a blur of no size, a glow of
    // no strength over the object, a convolution by one weight of 1.
    b.U8(1), b.Append(Bytes(9, 0));
    b.U8(4), b.U8(2), b.Append(Bytes(2 * 5 + 18, 0)), b.U8(0x20);
    b.U8(5), b.U8(1), b.U8(1), b.U32(0x3F800000), b.U32(0), b.U32(0x3F800000), b.U32(0), b.U8(0x03);
    b.U8(3);   // the blend mode
    b.U8(0x01), b.U16(2), b.U16(2), b.Translate(1000, 0), b.Put(0, 1), b.Put(0, 1), b.Put(0, 4);
    b.U8(0x08), b.U16(2), b.U16(3), b.Translate(0, 1000), b.Put(0, 1), b.Put(0, 1), b.Put(0, 4);
    b.U8(0);
    w.Tag(34, b.Data());
    w.Place(1, 3, 0, 0);
    w.ShowFrame();
    w.End();
    auto player = Open(w.Fws());
    gfx::Surface s = Paint(*player, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(10, 10), kRed));
    EXPECT_TRUE(Near(s.Pixel(60, 10), kBlue));
    EXPECT_TRUE(Near(s.Pixel(10, 60), kWhite));
}

// DefineEditText's initial text as the field shows it.
TEST(FlashRender, EditTextShowsHtmlAsPlainTextAndPasswordsAsStars) {
    struct Case { const char* what; uint8_t first, second; std::string text; std::string shown; double height; };
    const Case cases[] = {
        {"HTML", 0x80 | 0x01, 0x02, "<P ALIGN=\"LEFT\"><FONT FACE=\"Sans\">Tom &amp; Jerry</FONT></P><p>next<br/>line</p>",
         "Tom & Jerry\nnext\nline", 240},
        {"password", 0x80 | 0x10 | 0x01, 0, "h\xC3\xA9llo", "*****", 240},
        {"a font class, no font", 0x80, 0x80 | 0x08, "x", "x", 480},
    };
    for (const Case& c : cases) {
        Bits b;
        b.Rect(0, 2000, 0, 400), b.U8(c.first), b.U8(c.second);
        if (c.first & 0x01) b.U16(1), b.U16(240);
        if (c.second & 0x80) b.String("Library.Font"), b.U16(480);
        b.String("field"), b.String(c.text);
        Reader r(b.Data());
        std::string error;
        auto text = ParseEditText(r, error);
        ASSERT_TRUE(text) << c.what << ": " << error;
        EXPECT_EQ(text->editText, c.shown) << c.what;
        EXPECT_EQ(text->editHeight, c.height) << c.what;
        EXPECT_EQ(text->editBorder, (c.second & 0x08) != 0) << c.what;
    }
}

// A red square at 0..20 px that morphs into a blue one at 40..80 px.
Bytes MorphMovie(int ratio) {
    Bits start, end;
    start.Put(2, 4), start.Put(1, 4);
    Box(start, 0, 0, 400, 400, 0, 1);
    EndShape(start);
    end.Put(2, 4), end.Put(1, 4);
    Box(end, 800, 800, 1600, 1600, 0, 1);
    EndShape(end);
    Bits m;
    m.U16(1), m.Rect(0, 400, 0, 400), m.Rect(800, 1600, 800, 1600);
    Bits styles;
    styles.U8(1), styles.U8(0), styles.Rgba(kRed, 255), styles.Rgba(kBlue, 255), styles.U8(0);
    m.U32(uint32_t(styles.Data().size() + start.Data().size()));
    m.Append(styles.Data()), m.Append(start.Data()), m.Append(end.Data());
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Tag(46, m.Data());
    w.Place(1, 1, 0, 0, false, ratio);
    w.ShowFrame();
    w.End();
    return w.Fws();
}

TEST(FlashRender, MorphShapeFollowsItsRatio) {
    struct Case { int ratio; int inside, outside; uint32_t colour; };
    const Case cases[] = {{0, 10, 30, kRed}, {65535, 60, 30, kBlue}, {32768, 30, 10, Mix(kRed, kBlue, 0.5)}};
    for (const Case& c : cases) {
        auto player = Open(MorphMovie(c.ratio));
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(c.inside, c.inside), c.colour, 3)) << "ratio " << c.ratio;
        EXPECT_TRUE(Near(s.Pixel(c.outside, c.outside), kWhite)) << "ratio " << c.ratio;
    }
}

// A morph of the whole stage, alike at both ends, filled red to blue by a
// gradient of `type` whose square spans pixels 0..`span` of the stage.
Bytes GradientMorph(uint8_t type, uint8_t flags, double focal, int span) {
    Bits edges;
    edges.Put(2, 4), edges.Put(1, 4);
    Box(edges, 0, 0, 2000, 2000, 0, 1);
    EndShape(edges);
    Bits styles;
    styles.U8(1), styles.U8(type);
    for (int end = 0; end < 2; ++end) styles.Matrix(span * 10 / 16384.0, span * 10 / 16384.0, 0, 0, span * 10, span * 10);
    styles.U8(uint8_t(flags | 2));
    styles.U8(0), styles.Rgba(kRed, 255), styles.U8(0), styles.Rgba(kRed, 255);
    styles.U8(255), styles.Rgba(kBlue, 255), styles.U8(255), styles.Rgba(kBlue, 255);
    if (type == 0x13)
        for (int end = 0; end < 2; ++end) styles.U16(uint16_t(int16_t(std::lround(focal * 256))));
    styles.U8(0);
    Bits m;
    m.U16(1), m.Rect(0, 2000, 0, 2000), m.Rect(0, 2000, 0, 2000);
    m.U32(uint32_t(styles.Data().size() + edges.Data().size()));
    m.Append(styles.Data()), m.Append(edges.Data()), m.Append(edges.Data());
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Tag(46, m.Data());
    w.Place(1, 1, 0, 0, false, 0);
    w.ShowFrame();
    w.End();
    return w.Fws();
}

TEST(FlashRender, MorphGradientsKeepTheirSpreadAndFocalPoint) {
    // Reflected over 50 px: pixel 75 lies 1.51 of the way, which reflects
    // to 0.49. Focal at 0.5 over the whole stage, as in the shape table.
    auto reflected = Open(GradientMorph(0x10, 0x40, 0, 50));
    gfx::Surface s = Paint(*reflected, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(10, 50), Mix(kRed, kBlue, 0.21), 5));
    EXPECT_TRUE(Near(s.Pixel(75, 50), Mix(kRed, kBlue, 0.49), 5));
    auto focal = Open(GradientMorph(0x13, 0, 0.5, 100));
    s = Paint(*focal, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(87, 50), Mix(kRed, kBlue, 0.5), 5));
    EXPECT_TRUE(Near(s.Pixel(75, 50), Mix(kRed, kBlue, 0.024), 5));
}

// Two squares, the second inside the first, both drawn clockwise with one
// fill: even-odd leaves the inner one empty, non-zero fills it.
TEST(FlashRender, DefineShape4ChoosesTheFillRule) {
    for (bool nonZero : {false, true}) {
        Bits b;
        b.U16(1), b.Rect(0, 2000, 0, 2000), b.Rect(0, 2000, 0, 2000), b.U8(nonZero ? 0x04 : 0x00);
        b.U8(1), b.U8(0), b.Rgba(kRed, 255), b.U8(0);
        b.Put(2, 4), b.Put(1, 4);
        Box(b, 0, 0, 2000, 2000, 0, 1);
        Box(b, 500, 500, 1500, 1500, 0, 1);
        EndShape(b);
        auto player = Open(OneShapeMovie(b.Data(), {}, 83));
        gfx::Surface s = Paint(*player, 100, 100);
        EXPECT_TRUE(Near(s.Pixel(10, 10), kRed)) << "non-zero " << nonZero;
        EXPECT_TRUE(Near(s.Pixel(50, 50), nonZero ? kRed : kWhite)) << "non-zero " << nonZero;
    }
}

TEST(FlashRender, HairlineIsAtLeastOnePixelAndColourTransformsApply) {
    // A shape with no fill and a 1-twip line along y = 50 px.
    Bits b;
    b.U16(1), b.Rect(0, 2000, 0, 2000), b.U8(0), b.U8(1), b.U16(1), b.Rgba(kBlue, 255);
    b.Put(0, 4), b.Put(1, 4);
    b.Put(0, 1), b.Put(0, 1), b.Put(1, 1), b.Put(0, 1), b.Put(0, 1), b.Put(1, 1);
    b.Put(20, 5), b.Signed(0, 20), b.Signed(1010, 20), b.Put(1, 1);
    LineTo(b, 2000, 0);
    EndShape(b);
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Tag(32, b.Data());
    w.Tag(32, RectShape(2, 0, 0, 400, 400, Solid(kRed)));
    w.Place(1, 1, 0, 0);
    // Depth 2: the red square, through a transform that halves red and adds blue.
    Bits place;
    place.U8(0x02 | 0x04 | 0x08), place.U16(2), place.U16(2), place.Translate(0, 0);
    place.Put(1, 1), place.Put(1, 1), place.Put(10, 4);
    place.Signed(128, 10), place.Signed(256, 10), place.Signed(256, 10), place.Signed(256, 10);
    place.Signed(0, 10), place.Signed(0, 10), place.Signed(255, 10), place.Signed(0, 10);
    w.Tag(26, place.Data());
    w.ShowFrame();
    w.End();
    auto player = Open(w.Fws());
    gfx::Surface s = Paint(*player, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(10, 10), 0x8000FF));
    int darkest = 255;
    for (int y = 48; y <= 52; ++y) darkest = std::min<int>(darkest, (s.Pixel(50, y) >> 16) & 0xFF);
    EXPECT_LT(darkest, 128);   // a visible line, not a faint sub-pixel one
}

// 60,000 edges out of one point and 60,000 back into it, each its own
// outline: chaining them into paths must not rescan the ones already used.
TEST(FlashRender, ManyOutlinesThroughOnePointLoadAndDraw) {
    constexpr int kEach = 60'000;
    Bits b;
    b.U16(1), b.Rect(0, 2000, 0, 2000), b.U8(1), b.U8(0), b.Rgba(kRed, 255), b.U8(0);
    b.Put(2, 4), b.Put(1, 4);
    for (int i = 0; i < kEach; ++i) StyleChange(b, 1000, 1000, 0, 1), LineTo(b, 1 + i % 900, 7);
    for (int i = 0; i < kEach; ++i) StyleChange(b, 10 + i % 900, 1500, 0, 1), LineTo(b, 990 - i % 900, -500);
    EndShape(b);
    auto player = Open(OneShapeMovie(b.Data()));
    gfx::Surface s = Paint(*player, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(5, 95), kWhite));
}

} // namespace
} // namespace showsaver::flash::test
