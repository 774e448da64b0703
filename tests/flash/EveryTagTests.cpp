// One movie with every tag the player reads, drawn through `showpack
// flash`: each element shows at its place. Also the movie's damaged copies
// (every truncation, flipped bytes), which must load or fail cleanly.

#include "tests/flash/FlashTestSupport.h"

#include "codec/Codec.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <unistd.h>

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0x000000;
constexpr int kPx = 20;   // twips per pixel

Bytes Shape4() {
    Bits b;
    b.U16(3), b.Rect(0, 40 * kPx, 0, 40 * kPx), b.Rect(0, 40 * kPx, 0, 40 * kPx), b.U8(0x04);
    b.U8(1), b.U8(0x13);
    b.Matrix(20 * kPx / 16384.0, 20 * kPx / 16384.0, 0, 0, 20 * kPx, 20 * kPx);
    b.Put(0, 2), b.Put(1, 2), b.Put(2, 4);   // pad, linear RGB, two stops
    b.U8(0), b.Rgba(kWhite, 255), b.U8(255), b.Rgba(kBlue, 255);
    b.U16(uint16_t(int16_t(-128)));   // the focus half a radius left of the centre
    b.U8(1), b.U16(2 * kPx);
    b.Put(1, 2), b.Put(2, 2), b.Put(0, 1), b.Put(0, 3), b.Put(0, 5), b.Put(0, 1), b.Put(1, 2);   // no caps, miter
    b.U16(3 * 256), b.Rgba(kBlack, 255);
    b.Put(2, 4), b.Put(1, 4);
    Box(b, 0, 0, 40 * kPx, 40 * kPx, 0, 1, 1);
    EndShape(b);
    return b.Data();
}

Bytes CurvedShape2() {
    Bits b;
    b.U16(2), b.Rect(0, 40 * kPx, 0, 40 * kPx), b.U8(1), b.U8(0), b.Rgb(kGreen), b.U8(0);
    b.Put(2, 4), b.Put(1, 4);
    StyleChange(b, 0, 0, 0, 1);
    LineTo(b, 40 * kPx, 0);
    CurveTo(b, 0, 40 * kPx, -40 * kPx, 0);   // a bulge down to y = 20 px
    LineTo(b, 0, -40 * kPx);
    EndShape(b);
    return b.Data();
}

Bytes Font2() {
    Bits glyph;
    glyph.Put(2, 4), glyph.Put(1, 4);
    Box(glyph, 0, -800, 800, 0, 1, 0);
    EndShape(glyph);
    Bits b;
    b.U16(20), b.U8(0), b.U8(0), b.U8(4), b.Append({'T', 'e', 's', 't'}), b.U16(1);
    b.U16(4), b.U16(uint16_t(4 + glyph.Data().size()));
    b.Append(glyph.Data());
    b.U8('A');
    return b.Data();
}

// Three glyphs 24 px high, one every 30 px, at (10, 140) px.
Bytes Text() {
    Bits b;
    b.U16(21), b.Rect(0, 100 * kPx, 0, 150 * kPx), b.Matrix(1, 1, 0, 0, 0, 0), b.U8(1), b.U8(12);
    b.U8(0x8F), b.U16(20), b.Rgb(kRed), b.U16(10 * kPx), b.U16(140 * kPx), b.U16(24 * kPx), b.U8(3);
    for (int i = 0; i < 3; ++i) b.Put(0, 1), b.Signed(30 * kPx, 12);
    b.U8(0);
    return b.Data();
}

Bytes EditText() {
    Bits b;
    b.U16(22), b.Rect(110 * kPx, 200 * kPx, 110 * kPx, 150 * kPx), b.U8(0x80 | 0x04 | 0x01), b.U8(0);
    b.U16(20), b.U16(30 * kPx), b.Rgba(kBlack, 255), b.String(""), b.String("Hello");
    return b.Data();
}

Bytes Button2() {
    Bits b;
    b.U16(23), b.U8(0), b.U16(0);
    b.U8(0x08 | 0x01), b.U16(1), b.U16(1), b.Translate(160 * kPx, 10 * kPx), b.Put(0, 1), b.Put(0, 1), b.Put(0, 4);
    b.U8(0x04), b.U16(2), b.U16(2), b.Translate(0, 0), b.Put(0, 1), b.Put(0, 1), b.Put(0, 4);   // down state: not drawn
    b.U8(0);
    return b.Data();
}

// A sprite: two frames, a blue square at x 0, then at 10 px.
Bytes Sprite() {
    SwfWriter s(0, 0, 0, 0);
    s.Label("start");
    s.Place(1, 4, 0, 0);
    s.ShowFrame();
    s.Place(1, -1, 10 * kPx, 0, true);
    s.ShowFrame();
    s.End();
    Bits b;
    b.U16(24), b.U16(2), b.Append(s.Tags());
    return b.Data();
}

Bytes Morph2() {
    Bits start, end;
    start.Put(2, 4), start.Put(1, 4), Box(start, 0, 0, 20 * kPx, 20 * kPx, 0, 1), EndShape(start);
    end.Put(2, 4), end.Put(1, 4), Box(end, 0, 0, 40 * kPx, 20 * kPx, 0, 1), EndShape(end);
    Bits styles;
    styles.U8(1), styles.U8(0), styles.Rgba(kRed, 255), styles.Rgba(kGreen, 255), styles.U8(0);
    Bits b;
    b.U16(25);
    for (int i = 0; i < 4; ++i) b.Rect(0, 40 * kPx, 0, 20 * kPx);
    b.U8(0), b.U32(uint32_t(styles.Data().size() + start.Data().size()));
    b.Append(styles.Data()), b.Append(start.Data()), b.Append(end.Data());
    return b.Data();
}

// DefineFont (the oldest form: offsets, then glyphs) with one square glyph
// in an EM square of `em` (1024, or 20480 for DefineFont3 written alike
// through DefineFont2's layout).
Bytes Glyph(int em) {
    Bits glyph;
    glyph.Put(2, 4), glyph.Put(1, 4);
    Box(glyph, 0, -em * 3 / 4, em * 3 / 4, 0, 1, 0);
    EndShape(glyph);
    return glyph.Data();
}

Bytes Font1(uint16_t id) {
    Bits b;
    b.U16(id), b.U16(2), b.Append(Glyph(1024));
    return b.Data();
}

Bytes Font3(uint16_t id) {
    Bytes glyph = Glyph(20480);
    Bits b;
    b.U16(id), b.U8(0), b.U8(0), b.U8(0), b.U16(1), b.U16(4), b.U16(uint16_t(4 + glyph.size()));
    b.Append(glyph), b.U8('A');
    return b.Data();
}

// One glyph of `font`, 20 px high, its baseline at (x, y) px; DefineText2
// (code 33) with alpha, DefineText (11) without.
Bytes OneGlyphText(uint16_t id, int code, uint16_t font, int x, int y, uint32_t rgb) {
    Bits b;
    b.U16(id), b.Rect(0, 200 * kPx, 0, 200 * kPx), b.Matrix(1, 1, 0, 0, 0, 0), b.U8(1), b.U8(12);
    b.U8(0x8F), b.U16(font);
    code == 33 ? b.Rgba(rgb, 255) : b.Rgb(rgb);
    b.U16(uint16_t(x * kPx)), b.U16(uint16_t(y * kPx)), b.U16(20 * kPx), b.U8(1), b.Put(0, 1), b.Signed(0, 12);
    b.U8(0);
    return b.Data();
}

Bytes Button1(uint16_t id) {
    Bits b;
    b.U16(id), b.U8(0x01), b.U16(1), b.U16(1), b.Translate(90 * kPx, 160 * kPx), b.U8(0), b.U8(0);   // no actions
    return b.Data();
}

Bytes Morph1(uint16_t id) {
    Bits start, end;
    start.Put(2, 4), start.Put(1, 4), Box(start, 0, 0, 10 * kPx, 10 * kPx, 0, 1), EndShape(start);
    end.Put(2, 4), end.Put(1, 4), Box(end, 0, 0, 10 * kPx, 20 * kPx, 0, 1), EndShape(end);
    Bits styles;
    styles.U8(1), styles.U8(0), styles.Rgba(kRed, 255), styles.Rgba(kBlue, 255), styles.U8(0);
    Bits b;
    b.U16(id), b.Rect(0, 10 * kPx, 0, 10 * kPx), b.Rect(0, 10 * kPx, 0, 20 * kPx);
    b.U32(uint32_t(styles.Data().size() + start.Data().size()));
    b.Append(styles.Data()), b.Append(start.Data()), b.Append(end.Data());
    return b.Data();
}

// The tags of the bottom row (y 160 to 190 px), one element each.
void BottomRow(SwfWriter& w) {
    constexpr uint32_t kJpegColour = 0x3366CC;
    const Bytes jpeg = JpegOf(kJpegColour);
    auto [tables, image] = SplitJpeg(jpeg);
    w.Tag(10, Font1(30));
    w.Tag(33, OneGlyphText(31, 33, 30, 30, 180, kGreen));
    w.Tag(75, Font3(32));
    w.Tag(11, OneGlyphText(33, 11, 32, 60, 180, kBlue));
    w.Tag(7, Button1(34));
    w.Tag(8, tables);
    Bits bits;
    bits.U16(35), bits.Append(image);
    w.Tag(6, bits.Data());
    w.Tag(32, RectShape(36, 0, 0, 20 * kPx, 20 * kPx, BitmapFill(35, kPx, 0, 0)));
    Bits jpeg3;
    jpeg3.U16(37), jpeg3.U32(uint32_t(jpeg.size())), jpeg3.Append(jpeg), jpeg3.Append(Zlib(Bytes(16 * 16, 255)));
    w.Tag(35, jpeg3.Data());
    w.Tag(32, RectShape(38, 0, 0, 20 * kPx, 20 * kPx, BitmapFill(37, kPx, 0, 0)));
    w.Tag(36, Lossless(39, 36, 5, 2, 2, kRed, 255));
    w.Tag(32, RectShape(40, 0, 0, 20 * kPx, 20 * kPx, BitmapFill(39, 10 * kPx, 0, 0)));
    w.Tag(46, Morph1(41));
    Bits sound;
    sound.U16(42), sound.U8(uint8_t(3 << 4 | 3 << 2 | 2)), sound.U32(441);
    for (int i = 0; i < 441; ++i) sound.U16(0);
    w.Tag(14, sound.Data());
    Bits start, start2;
    start.U16(42), start.U8(0);
    start2.String("Silence"), start2.U8(0);
    w.Tag(15, start.Data());
    w.Tag(89, start2.Data());
    Bits place1;
    place1.U16(4), place1.U16(20), place1.Translate(10 * kPx, 160 * kPx);
    w.Tag(4, place1.Data());
    w.Place(21, 31, 0, 0);
    w.Place(22, 33, 0, 0);
    w.Place(23, 34, 0, 0);
    w.Place(24, 36, 110 * kPx, 160 * kPx);
    w.Place(25, 38, 135 * kPx, 160 * kPx);
    w.Place(26, 40, 160 * kPx, 160 * kPx);
    w.Place(27, 41, 185 * kPx, 160 * kPx, false, 0);
}

// The row at y 90 to 100 px: DefineBitsJPEG2 holding a PNG with half alpha
// and one holding a GIF, and a DefineButton2 whose up state is the sprite.
void BitmapFormatsAndButtonSprite(SwfWriter& w) {
    Bits png, gif;
    png.U16(50), png.Append(PngOf(kGreen, 128));
    gif.U16(51), gif.Append(GifOf(2, 2, {kRed, kRed, kRed, kRed}));
    w.Tag(21, png.Data());
    w.Tag(21, gif.Data());
    w.Tag(32, RectShape(52, 0, 0, 10 * kPx, 10 * kPx, BitmapFill(50, kPx, 0, 0)));
    w.Tag(32, RectShape(53, 0, 0, 10 * kPx, 10 * kPx, BitmapFill(51, 5 * kPx, 0, 0)));
    Bits button;
    button.U16(54), button.U8(0), button.U16(0);
    button.U8(0x01), button.U16(24), button.U16(1), button.Translate(0, 0), button.Put(0, 1), button.Put(0, 1), button.Put(0, 4);
    button.U8(0);
    w.Tag(34, button.Data());
    w.Place(30, 52, 10 * kPx, 90 * kPx);
    w.Place(31, 53, 30 * kPx, 90 * kPx);
    w.Place(32, 54, 50 * kPx, 90 * kPx);
}

Bytes EveryTagMovie() {
    SwfWriter w(200, 200, 12, 2);
    w.Background(kWhite);
    w.Tag(2, RectShape(1, 0, 0, 20 * kPx, 20 * kPx, SolidRgb(kRed)));
    w.Tag(22, CurvedShape2());
    w.Tag(83, Shape4());
    w.Tag(32, RectShape(4, 0, 0, 10 * kPx, 10 * kPx, Solid(kBlue)));
    w.Tag(20, Lossless(10, 20, 5, 2, 2, kGreen));
    w.Tag(32, RectShape(5, 0, 0, 20 * kPx, 20 * kPx, BitmapFill(10, 10 * kPx, 0, 0, 0x40)));
    w.Tag(48, Font2());
    w.Tag(11, Text());
    w.Tag(37, EditText());
    w.Tag(34, Button2());
    w.Tag(39, Sprite());
    w.Tag(84, Morph2());
    Bits head;
    head.U8(0x3A), head.U8(0x3A), head.U16(1837);
    w.Tag(18, head.Data());
    w.Label("first");
    w.Place(1, 1, 10 * kPx, 10 * kPx);
    w.Place(2, 2, 40 * kPx, 10 * kPx);
    w.Place(3, 3, 90 * kPx, 10 * kPx);
    w.Place(4, 5, 10 * kPx, 60 * kPx);
    w.Place(5, 21, 0, 0);
    w.Place(6, 22, 0, 0);
    w.Place(7, 23, 0, 0);
    w.Place(8, 24, 40 * kPx, 60 * kPx, false, -1, 0, "sprite");
    w.Place(9, 25, 80 * kPx, 60 * kPx, false, 32768);
    Bits place3;
    place3.U8(0x02 | 0x04), place3.U8(0), place3.U16(10), place3.U16(4), place3.Translate(150 * kPx, 60 * kPx);
    w.Tag(70, place3.Data());
    w.Tag(19, Bytes(1837 * 2, 0));
    BottomRow(w);
    BitmapFormatsAndButtonSprite(w);
    w.ShowFrame();
    w.Remove(10);
    Bits remove1;
    remove1.U16(1), remove1.U16(1);
    w.Tag(5, remove1.Data());
    // if (true) skips a goto; tellTarget("sprite") gotoAndPlay(1); stop().
    w.Actions({0x96, 2, 0, 5, 1, 0x9D, 2, 0, 5, 0, 0x81, 2, 0, 0, 0, 0x8B, 7, 0, 's', 'p', 'r', 'i', 't', 'e', 0,
               0x96, 5, 0, 7, 1, 0, 0, 0, 0x9F, 1, 0, 1, 0x8B, 1, 0, 0, 0x07});
    w.ShowFrame();
    w.End();
    return w.Fws();
}

struct Spot { const char* what; int x, y; uint32_t colour; int tolerance; };

TEST(FlashEveryTag, ShowpackDrawsEveryElementOfTheMovie) {
    auto dir = std::filesystem::path(::testing::TempDir()) / ("flash-every-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const Bytes movie = EveryTagMovie();
    std::ofstream(dir / "every.swf", std::ios::binary).write(reinterpret_cast<const char*>(movie.data()), long(movie.size()));
    if (const char* keep = std::getenv("FLASH_KEEP_MOVIE")) std::filesystem::copy_file(dir / "every.swf", keep, std::filesystem::copy_options::overwrite_existing);
    std::string command = std::string(SHOWSAVER_BINARY_DIR) + "/showpack flash " + (dir / "every.swf").string() +
                          " --size 400x400 --frames 2 --out " + (dir / "frames").string() + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    auto source = codec::OpenFileSource(dir / "frames" / "frame-0000.png");
    ASSERT_TRUE(source);
    auto image = codec::ReadPng(*source);
    ASSERT_TRUE(image);
    auto at = [&](int x, int y) {   // stage pixels; the frame is drawn at 2×
        const uint8_t* p = image->Row(2 * y) + 3 * 2 * x;
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    };
    const Spot spots[] = {
        {"DefineShape square", 20, 20, kRed, 2},
        {"DefineShape2 curve's bulge", 60, 25, kGreen, 2},
        {"outside the curve", 78, 48, kWhite, 2},
        {"DefineShape4 stroke", 90, 25, kBlack, 2},
        {"DefineShape4 focal gradient, padded corner", 94, 14, kBlue, 2},
        {"DefineShape4 focal gradient, near its focus", 100, 30, kWhite, 40},
        {"bitmap fill", 15, 65, kGreen, 2},
        {"text glyph", 15, 135, kRed, 2},
        {"between glyphs", 36, 135, kWhite, 2},
        {"button up state", 165, 15, kRed, 2},
        {"sprite frame 0", 45, 65, kBlue, 2},
        {"morph at 0.5", 105, 65, Mix(kRed, kGreen), 3},
        {"morph's edge at 0.5", 112, 65, kWhite, 2},
        {"PlaceObject3", 155, 65, kBlue, 2},
        {"PlaceObject", 15, 165, kBlue, 2},
        {"DefineFont glyph through DefineText2", 35, 175, kGreen, 2},
        {"above that glyph", 35, 163, kWhite, 2},
        {"DefineFont3 glyph through DefineText", 65, 175, kBlue, 2},
        {"DefineButton up state", 95, 165, kRed, 2},
        {"DefineBits with JPEGTables", 120, 170, 0x3366CC, 4},
        {"DefineBitsJPEG3, opaque alpha plane", 145, 170, 0x3366CC, 4},
        {"DefineBitsLossless2", 170, 170, kRed, 2},
        {"DefineMorphShape at ratio 0", 190, 165, kRed, 2},
        {"below the morph at ratio 0", 190, 175, kWhite, 2},
        {"DefineBitsJPEG2 holding a PNG, half alpha", 15, 95, Mix(kWhite, kGreen), 3},
        {"DefineBitsJPEG2 holding a GIF", 35, 95, kRed, 2},
        {"the sprite in a button's up state", 55, 95, kBlue, 2},
        {"right of that sprite on frame 0", 65, 95, kWhite, 2},
    };
    for (const Spot& s : spots) EXPECT_TRUE(Near(at(s.x, s.y), s.colour, s.tolerance)) << s.what;
    int dark = 0;
    for (int y = 112; y < 148; ++y)
        for (int x = 112; x < 198; ++x) dark += (at(x, y) & 0xFF) < 100;
    EXPECT_GT(dark, 30) << "the edit text's letters";
    std::filesystem::remove_all(dir);
}

TEST(FlashEveryTag, DamagedCopiesLoadOrFailCleanly) {
    const Bytes movie = EveryTagMovie();
    std::vector<uint32_t> pixels(40 * 30);
    auto play = [&](const Bytes& bytes) {
        Player player;
        std::string error;
        if (!player.LoadBytes(bytes, error)) return;
        for (int i = 0; i < 3; ++i) player.Tick(), player.Paint(pixels.data(), 40, 30, 160);
    };
    for (size_t length = 0; length < movie.size(); length += 7) play(Bytes(movie.begin(), movie.begin() + long(length)));
    uint32_t seed = 1;
    for (int round = 0; round < 300; ++round) {
        Bytes damaged = movie;
        for (int flips = 0; flips < 4; ++flips) {
            seed = seed * 1103515245 + 12345;
            damaged[8 + (seed >> 8) % (damaged.size() - 8)] ^= uint8_t(1 << ((seed >> 4) % 8));
        }
        play(damaged);
    }
    SUCCEED();
}

// Movies whose few bytes ask for a great deal: static text whose glyphs
// take no bits, a sprite of 60,000 placements placed 300 times, and a
// button made of itself, masked. Loaded, played and drawn, each holds no
// more heap than its budget allows (and each ends).
TEST(FlashEveryTag, HostileMoviesStayWithinTheirMemoryBudget) {
    SwfWriter text(100, 100, 12, 1);
    for (int tag = 0; tag < 300; ++tag) {
        Bits b;
        b.U16(uint16_t(tag + 1)), b.Rect(0, 100, 0, 100), b.Matrix(1, 1, 0, 0, 0, 0), b.U8(0), b.U8(0);
        for (int record = 0; record < 350; ++record) b.U8(0x80), b.U8(255);
        b.U8(0);
        text.Tag(11, b.Data());
    }
    text.ShowFrame();
    text.End();
    SwfWriter placements(100, 100, 12, 1);
    placements.Tag(32, RectShape(1, 0, 0, 100, 100, Solid(kRed)));
    SwfWriter sprite(0, 0, 0, 0);
    for (int depth = 1; depth <= 60'000; ++depth) {
        Bits place;
        place.U8(0x02), place.U16(uint16_t(depth)), place.U16(1);
        sprite.Tag(26, place.Data());
    }
    sprite.ShowFrame();
    sprite.End();
    Bits def;
    def.U16(2), def.U16(1), def.Append(sprite.Tags());
    placements.Tag(39, def.Data());
    for (int depth = 1; depth <= 300; ++depth) placements.Place(uint16_t(depth), 2, 0, 0);
    placements.ShowFrame();
    placements.End();
    SwfWriter buttons(100, 100, 12, 1);   // a button of 1,000 records of itself, and a mask inside each
    buttons.Tag(32, RectShape(1, 0, 0, 100, 100, Solid(kRed)));
    Bits button;
    button.U16(2), button.U8(0), button.U16(0);
    for (int record = 0; record < 1000; ++record) {
        button.U8(0x01), button.U16(record % 2 ? 2 : 1), button.U16(uint16_t(record + 1)), button.Translate(0, 0);
        button.Put(0, 1), button.Put(0, 1), button.Put(0, 4);
    }
    button.U8(0);
    buttons.Tag(34, button.Data());
    buttons.Place(1, 2, 0, 0, false, -1, 3);
    buttons.Place(2, 2, 0, 0);
    buttons.ShowFrame();
    buttons.End();
    auto heap = [] {
        struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;   // in the arenas and mapped on their own
    };
    for (const Bytes& movie : {text.Fws(), placements.Fws(), buttons.Fws()}) {
        const size_t before = heap();
        Player player;
        std::string error;
        ASSERT_TRUE(player.LoadBytes(movie, error)) << error;
        std::vector<uint32_t> pixels(100 * 100);
        for (int i = 0; i < 3; ++i) player.Tick(), player.Paint(pixels.data(), 100, 100, 400);
        const size_t held = heap() - std::min(before, heap());
        EXPECT_LE(held, (size_t(64) << 20) + 16 * movie.size()) << "a movie of " << movie.size() << " bytes";
    }
}

} // namespace
} // namespace showsaver::flash::test
