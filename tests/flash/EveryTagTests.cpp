// One movie with every tag the player reads, drawn through `showpack
// flash`: each element shows at its place. Also the movie's damaged copies
// (every truncation, flipped bytes), which must load or fail cleanly.

#include "tests/flash/FlashTestSupport.h"

#include "codec/Codec.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

Bytes EveryTagMovie() {
    SwfWriter w(200, 150, 12, 2);
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
    w.ShowFrame();
    w.Remove(10);
    Bits remove1;
    remove1.U16(1), remove1.U16(1);
    w.Tag(5, remove1.Data());
    w.Actions({0x07});
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
                          " --size 400x300 --frames 2 --out " + (dir / "frames").string() + " 2>&1";
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

} // namespace
} // namespace showsaver::flash::test
