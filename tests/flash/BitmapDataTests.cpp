// flash.display.BitmapData by a table of scripts and the traces they give,
// and one frame that shows a bitmap placed with attachBitmap and one that
// fills a drawn square, checked by its pixels.

#include "tests/flash/Avm1Assembler.h"
#include "tests/flash/FlashTestSupport.h"

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

// B, R, P, M and CT name the classes; hex(v) is v's 32 bits in hex and
// px(b, x, y) the hex of b.getPixel32(x, y).
const char* const kPrelude = R"(
    push "B", "flash"; getVariable; push "display"; getMember; push "BitmapData"; getMember; setVariable
    push "R", "flash"; getVariable; push "geom"; getMember; push "Rectangle"; getMember; setVariable
    push "P", "flash"; getVariable; push "geom"; getMember; push "Point"; getMember; setVariable
    push "M", "flash"; getVariable; push "geom"; getMember; push "Matrix"; getMember; setVariable
    push "CT", "flash"; getVariable; push "geom"; getMember; push "ColorTransform"; getMember; setVariable
    function hex(v)
      push 16, 1, "v"; getVariable; push 0; bitURShift; push "toString"; callMethod; return
    end
    function px(b, x, y)
      push "y"; getVariable; push "x"; getVariable; push 2, "b"; getVariable; push "getPixel32"; callMethod
      push 1, "hex"; callFunction; return
    end
)";

std::string TraceOf(const std::string& source, bool& abandoned) {
    SwfWriter w(100, 100, 12, 1);
    w.Tag(36, Lossless(9, 36, 5, 3, 2, kRed, 128));
    ExportAsset(w, 9, "pic");
    w.Actions(Avm1Assembler::Assemble(std::string(kPrelude) + source));
    w.ShowFrame();
    w.End();
    std::vector<std::string> lines;
    Player player;
    player.SetTrace([&lines](const std::string& line) { lines.push_back(line); });
    std::string error;
    EXPECT_TRUE(player.LoadBytes(w.Fws(), error)) << error;
    abandoned = player.IsAbandoned();
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "|") + line;
    return out;
}

TEST(FlashBitmapData, ScriptsAndTheirPixels) {
    const struct {
        const char* what;
        const char* source;
        const char* trace;
        bool abandoned = false;
    } rows[] = {
        {"pixels are kept premultiplied: what alpha rounds away is lost; an opaque bitmap keeps alpha 255",
         R"(push 0, true, 4, 4, 4, "B"; newObject; store r1; pop
            push 0x80FF0000, 0, 0, 3, r1, "setPixel32"; callMethod; pop
            push 0x40336699, 0, 1, 3, r1, "setPixel32"; callMethod; pop
            push 0x00FFFFFF, 0, 2, 3, r1, "setPixel32"; callMethod; pop
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 0, 1, r1, 3, "px"; callFunction; trace
            push 0, 2, r1, 3, "px"; callFunction; trace
            push 0, 0, 2, r1, "getPixel"; callMethod; trace
            push 0, -1, 2, r1, "getPixel32"; callMethod; trace
            push 0x00FF00, 0, 0, 3, r1, "setPixel"; callMethod; pop
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 0, false, 4, 4, 4, "B"; newObject; store r2; pop
            push 0x40336699, 0, 0, 3, r2, "setPixel32"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace)",
         "80ff0000|40346897|0|16711680|0|8000ff00|ff336699"},
        {"sizes outside 1..2880 make no pixels: width and height -1; fractions are cut",
         R"(push 10, 0, 2, "B"; newObject; push "width"; getMember; trace
            push 1, 2881, 2, "B"; newObject; push "height"; getMember; trace
            push 3, 10.9, 2, "B"; newObject; store r1; push "width"; getMember; trace
            push r1, "transparent"; getMember; trace
            push 0, r1, "rectangle"; getMember; push "toString"; callMethod; trace
            push 2880, 2880, 2, "B"; newObject; push "width"; getMember; trace)",
         "-1|-1|10|true|(x=0, y=0, w=10, h=3)|2880"},
        {"fillRect fills its rectangle, cut to the bitmap",
         R"(push 0xFF000000, true, 4, 4, 4, "B"; newObject; store r1; pop
            push 0xFFFF0000, 2, 2, 1, 1, 4, "R"; newObject; push 2, r1, "fillRect"; callMethod; pop
            push 0xFF00FF00, 100, 100, 3, 3, 4, "R"; newObject; push 2, r1, "fillRect"; callMethod; pop
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 1, 1, r1, 3, "px"; callFunction; trace
            push 2, 2, r1, 3, "px"; callFunction; trace
            push 3, 3, r1, 3, "px"; callFunction; trace)",
         "ff000000|ffff0000|ffff0000|ff00ff00"},
        {"copyPixels replaces, merges alpha, and takes alpha from an alpha bitmap at its point",
         R"(push 0x80FF0000, true, 1, 2, 4, "B"; newObject; store r1; pop
            push 0xFF0000FF, true, 1, 3, 4, "B"; newObject; store r2; pop
            push 0, 0, 2, "P"; newObject; store r3; pop
            push r3, 1, 1, 0, 0, 4, "R"; newObject; push r1, 3, r2, "copyPixels"; callMethod; pop
            push true, r3, null, 0, 2, 2, "P"; newObject; push 1, 1, 0, 0, 4, "R"; newObject; push r1, 6, r2, "copyPixels"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace
            push 0, 2, r2, 3, "px"; callFunction; trace
            push 0xFFFF0000, true, 1, 2, 4, "B"; newObject; store r1; pop
            push 0, true, 1, 2, 4, "B"; newObject; store r2; pop
            push 0x80000000, 0, 1, 3, r2, "setPixel32"; callMethod; pop
            push "t", 0xFF0000FF, true, 1, 2, 4, "B"; newObject; setVariable
            push r3, r2, r3, 1, 2, 0, 0, 4, "R"; newObject; push r1, 5, "t"; getVariable; push "copyPixels"; callMethod; pop
            push 0, 0, "t"; getVariable; push 3, "px"; callFunction; trace
            push 0, 1, "t"; getVariable; push 3, "px"; callFunction; trace
            push "u", 0xFF0000FF, true, 1, 1, 4, "B"; newObject; setVariable
            push 0, 1, 2, "P"; newObject; push r2, r3, 1, 1, 0, 1, 4, "R"; newObject; push r1, 5, "u"; getVariable; push "copyPixels"; callMethod; pop
            push 0, 0, "u"; getVariable; push 3, "px"; callFunction; trace)",
         "80ff0000|ff80007f|ff0000ff|ff80007f|ff80007f"},
        {"threshold sets what passes, copies the rest, and counts; with a mask",
         R"(push 0xFF000000, true, 1, 3, 4, "B"; newObject; store r1; pop
            push 0xFF808080, 0, 1, 3, r1, "setPixel32"; callMethod; pop
            push 0xFFFFFFFF, 0, 2, 3, r1, "setPixel32"; callMethod; pop
            push 0, true, 1, 3, 4, "B"; newObject; store r2; pop
            push 1, 3, 0, 0, 4, "R"; newObject; store r3; pop
            push true, 0xFFFFFFFF, 0xFF00FF00, 0xFF7F7F7F, ">", 0, 0, 2, "P"; newObject; push r3, r1, 8, r2, "threshold"; callMethod; trace
            push 0, 0, r2, 3, "px"; callFunction; trace
            push 0, 1, r2, 3, "px"; callFunction; trace
            push 0x0000FF00, 0xFFFFFFFF, 0x00008000, "==", 0, 0, 2, "P"; newObject; push r3, r1, 7, r2, "threshold"; callMethod; trace)",
         "2|ff000000|ff00ff00|1"},
        {"colorTransform, clone independence, dispose",
         R"(push 0xFF336699, true, 1, 1, 4, "B"; newObject; store r1; pop
            push 0, 0, 16, 0, 1, 1, 1, 0.5, 8, "CT"; newObject; push 1, 1, 0, 0, 4, "R"; newObject; push 2, r1, "colorTransform"; callMethod; pop
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 0, r1, "clone"; callMethod; store r2; pop
            push 0xFFFFFFFF, 0, 0, 3, r1, "setPixel32"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 0, r1, "dispose"; callMethod; pop
            push r1, "width"; getMember; trace
            push 0, 0, 2, r1, "getPixel32"; callMethod; trace
            push r2, "width"; getMember; trace)",
         "ff197699|ff197699|ffffffff|-1|0|1"},
        {"noise is Park and Miller's generator from the seed; a seed of 0 is 1",
         R"(push 0, false, 1, 2, 4, "B"; newObject; store r1; pop
            push true, 7, 255, 0, 1, 5, r1, "noise"; callMethod; pop
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 0, 1, r1, 3, "px"; callFunction; trace
            push 0, 0, 0, 3, r1, "setPixel32"; callMethod; pop
            push true, 7, 255, 0, 0, 5, r1, "noise"; callMethod; pop
            push 0, 0, r1, 3, "px"; callFunction; trace
            push 0, true, 4, 4, 4, "B"; newObject; store r2; pop
            push 15, 255, 0, 42, 4, r2, "noise"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace)",
         "ffa7a7a7|fff1f1f1|ffa7a7a7|f76690b9"},
        {"perlinNoise: fractal noise is grey on the lattice; the seed alone decides the pixels",
         R"(push 0, false, 4, 4, 4, "B"; newObject; store r1; pop
            push true, 7, true, false, 5, 3, 1, 1, 8, r1, "perlinNoise"; callMethod; pop
            push 2, 3, r1, 3, "px"; callFunction; trace
            push true, 7, true, false, 5, 2, 3, 3, 8, r1, "perlinNoise"; callMethod; pop
            push 0, r1, "clone"; callMethod; store r2; pop
            push true, 7, true, false, 5, 2, 3, 3, 8, r2, "perlinNoise"; callMethod; pop
            push 1, 1, r1, 3, "px"; callFunction; push 1, 1, r2, 3, "px"; callFunction; equals2; trace
            push true, 7, true, false, 6, 2, 3, 3, 8, r2, "perlinNoise"; callMethod; pop
            push 1, 1, r1, 3, "px"; callFunction; push 1, 1, r2, 3, "px"; callFunction; equals2; trace)",
         "ff7f7f7f|true|false"},
        {"pixelDissolve: calls that pass on the seed reach every pixel once",
         R"(push 0xFF000000, true, 4, 4, 4, "B"; newObject; store r1; pop
            push 4, 4, 0, 0, 4, "R"; newObject; store r2; pop
            push 0, 0, 2, "P"; newObject; store r3; pop
            push "s", 0; setVariable
            push "s", 0xFFFFFFFF, 4, "s"; getVariable; push r3, r2, r1, 6, r1, "pixelDissolve"; callMethod; setVariable
            push "s", 0xFFFFFFFF, 4, "s"; getVariable; push r3, r2, r1, 6, r1, "pixelDissolve"; callMethod; setVariable
            push "s", 0xFFFFFFFF, 4, "s"; getVariable; push r3, r2, r1, 6, r1, "pixelDissolve"; callMethod; setVariable
            push 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "==", r3, r2, r1, 7, r1, "threshold"; callMethod; trace
            push 0xFFFFFFFF, 4, "s"; getVariable; push r3, r2, r1, 6, r1, "pixelDissolve"; callMethod; trace
            push 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "==", r3, r2, r1, 7, r1, "threshold"; callMethod; trace)",
         "12|0|16"},
        {"applyFilter blurs through the renderer's filters; draw takes a drawn clip through a matrix, and a bitmap through a colour transform",
         R"(push 0, true, 5, 5, 4, "B"; newObject; store r1; pop
            push 0xFFFFFFFF, 2, 2, 3, r1, "setPixel32"; callMethod; pop
            push 1, 2, 2, 3, "flash"; getVariable; push "filters"; getMember; push "BlurFilter"; newMethod
            push 0, 0, 2, "P"; newObject; push 5, 5, 0, 0, 4, "R"; newObject; push r1, 4, r1, "applyFilter"; callMethod; pop
            push 2, 1, 2, r1, "getPixel32"; callMethod; push 24; bitURShift; push 0; greater; trace
            push 2, 2, 2, r1, "getPixel32"; callMethod; push 24; bitURShift; push 255; less2; trace
            push 1, "c", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r2; pop
            push 100, 0xFF0000, 2, r2, "beginFill"; callMethod; pop
            push 0, 0, 2, r2, "moveTo"; callMethod; pop
            push 0, 2, 2, r2, "lineTo"; callMethod; pop
            push 2, 2, 2, r2, "lineTo"; callMethod; pop
            push 2, 0, 2, r2, "lineTo"; callMethod; pop
            push 0, r2, "endFill"; callMethod; pop
            push 0, true, 4, 4, 4, "B"; newObject; store r3; pop
            push 1, 1, 1, 0, 0, 1, 6, "M"; newObject; push r2, 2, r3, "draw"; callMethod; pop
            push 0, 0, r3, 3, "px"; callFunction; trace
            push 1, 1, r3, 3, "px"; callFunction; trace
            push 2, 2, r3, 3, "px"; callFunction; trace
            push 3, 3, r3, 3, "px"; callFunction; trace
            push 0xFFFFFFFF, true, 1, 1, 4, "B"; newObject; store r1; pop
            push 0xFF000000, true, 1, 1, 4, "B"; newObject; store r2; pop
            push 0, 0, 0, 0, 1, 0, 0, 1, 8, "CT"; newObject; push null, r1, 3, r2, "draw"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace)",
         "true|true|0|ffff0000|ffff0000|0|ffff0000"},
        {"floodFill, getColorBoundsRect, scroll, copyChannel, paletteMap and merge",
         R"(push 0xFF000000, true, 3, 3, 4, "B"; newObject; store r1; pop
            push "one", 1, 1, 0, 0, 4, "R"; newObject; setVariable
            push "o", 0, 0, 2, "P"; newObject; setVariable
            push 0xFFFF0000, 1, 1, 3, r1, "setPixel32"; callMethod; pop
            push 0xFF0000FF, 0, 0, 3, r1, "floodFill"; callMethod; pop
            push 2, 2, r1, 3, "px"; callFunction; trace
            push 1, 1, r1, 3, "px"; callFunction; trace
            push 0, true, 0xFFFF0000, 0xFFFFFFFF, 3, r1, "getColorBoundsRect"; callMethod; push "toString"; callMethod; trace
            push 0, 1, 2, r1, "scroll"; callMethod; pop
            push 1, 2, r1, 3, "px"; callFunction; trace
            push 1, 1, r1, 3, "px"; callFunction; trace
            push 0xFF112233, true, 1, 1, 4, "B"; newObject; store r2; pop
            push 4, 1, "o"; getVariable; push 1, 1, 1, 2, 4, "R"; newObject; push r1, 5, r2, "copyChannel"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace
            push 256, 1, "Array"; newObject; push "o"; getVariable; push "one"; getVariable; push r2, 4, r2, "paletteMap"; callMethod; pop
            push 0, 0, r2, 3, "px"; callFunction; trace
            push 0xFF000000, true, 1, 1, 4, "B"; newObject; store r3; pop
            push 256, 256, 0, 128, "o"; getVariable; push "one"; getVariable
            push 0xFFFFFFFF, true, 1, 1, 4, "B"; newObject; push 7, r3, "merge"; callMethod; pop
            push 0, 0, r3, 3, "px"; callFunction; trace)",
         "ff0000ff|ffff0000|(x=1, y=1, w=1, h=1)|ffff0000|ff0000ff|ff1122ff|ff0022ff|ff7f00ff"},
        {"loadBitmap copies an exported bitmap; an unknown name gives nothing",
         R"(push "pic", 1, "B"; getVariable; push "loadBitmap"; callMethod; store r1; push "width"; getMember; trace
            push 1, 2, r1, 3, "px"; callFunction; trace
            push "nothing", 1, "B"; getVariable; push "loadBitmap"; callMethod; typeOf; trace)",
         "3|80ff0000|undefined"},
        {"pixels are charged to the script heap: a disposed bitmap's come back at once, kept ones abandon the movie",
         R"(push 2880, 2880, 2, "B"; newObject; store r1; pop
            push 0, r1, "dispose"; callMethod; pop
            push 2880, 2880, 2, "B"; newObject; store r1; pop
            push 0, r1, "dispose"; callMethod; pop
            push 2880, 2880, 2, "B"; newObject; store r1; pop
            push "one"; trace
            push 2880, 2880, 2, "B"; newObject; store r2; pop
            push "two"; trace
            push 2880, 2880, 2, "B"; newObject; store r3; pop
            push "three"; trace)",
         "one|two", true},
    };
    for (const auto& r : rows) {
        bool abandoned = false;
        EXPECT_EQ(TraceOf(r.source, abandoned), r.trace) << r.what;
        EXPECT_EQ(abandoned, r.abandoned) << r.what;
    }
}

// A bitmap placed on the root, changed after it was placed, and a drawn
// square filled with a 2 × 1 bitmap scaled by 10 and repeated.
TEST(FlashBitmapData, AttachedAndFilledBitmapsDrawTheirCurrentPixels) {
    const char* const source = R"(
        push 0xFFFF0000, false, 20, 20, 4, "B"; newObject; store r1; pop
        push "bm", r1; setVariable
        push 5, r1, 2, "_root"; getVariable; push "attachBitmap"; callMethod; pop
        push 0xFF00FF00, 20, 10, 0, 0, 4, "R"; newObject; push 2, r1, "fillRect"; callMethod; pop
        push 0xFF00FF00, false, 1, 2, 4, "B"; newObject; store r2; pop
        push 0xFF0000, 0, 1, 3, r2, "setPixel"; callMethod; pop
        push 1, "d", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r3; pop
        push false, true, 50, 50, 10, 0, 0, 10, 6, "M"; newObject; push r2, 4, r3, "beginBitmapFill"; callMethod; pop
        push 50, 50, 2, r3, "moveTo"; callMethod; pop
        push 50, 90, 2, r3, "lineTo"; callMethod; pop
        push 90, 90, 2, r3, "lineTo"; callMethod; pop
        push 90, 50, 2, r3, "lineTo"; callMethod; pop
        push 0, r3, "endFill"; callMethod; pop
        push "_root"; getVariable; push "onEnterFrame"
        function _()
          push 0xFF00FF00, 10, 10, 10, 10, 4, "R"; newObject; push 2, "bm"; getVariable; push "fillRect"; callMethod; pop
        end
        setMember)";
    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Actions(Avm1Assembler::Assemble(std::string(kPrelude) + source));
    w.ShowFrame();
    w.End();
    auto player = Open(w.Fws());
    gfx::Surface s = Paint(*player, 100, 100);
    const struct {
        int x, y;
        uint32_t rgb;
    } expected[] = {
        {5, 5, kGreen}, {5, 15, kGreen}, {15, 5, kRed}, {15, 15, kRed}, {25, 5, kWhite},  // the placed bitmap
        {55, 55, kGreen}, {65, 55, kRed}, {75, 75, kGreen}, {85, 85, kRed}, {95, 95, kWhite}, // the fill
    };
    for (const auto& e : expected) EXPECT_TRUE(Near(s.Pixel(e.x, e.y), e.rgb)) << e.x << "," << e.y;
    // The next frame shows what onEnterFrame changed.
    player->Tick();
    s = Paint(*player, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(15, 15), kGreen));
    EXPECT_TRUE(Near(s.Pixel(15, 5), kRed));
    EXPECT_FALSE(player->IsAbandoned());
}

} // namespace
} // namespace showsaver::flash::test
