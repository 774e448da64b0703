// Edit text: embedded glyphs laid out as the field and its HTML say, the
// 20-times EM square of DefineFont3, borders one pixel wide on whole
// pixels, and the device fonts mapped to installed families.

#include "tests/flash/Avm1Assembler.h"
#include "tests/flash/FlashTestSupport.h"

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kGrey = 0x808080;

// A field over (20, 20)-(170, 70) px, text 20 px high, on a 200 × 100 stage.
// Its glyphs: 'A' half an EM wide (10 px), 'W' a whole EM (20 px); the
// ascent is 0.8 EM (16 px), so the first baseline lies at 20 + 2 + 16 px.
Bytes TextMovie(int fontCode, const EditField& field, bool boldFace = false) {
    const int em = fontCode == 75 ? 20480 : 1024;
    SwfWriter w(200, 100, 12, 1);
    w.Tag(fontCode, BoxFont(1, "Boxes", {'A', 'W'}, {em / 2, em}, em * 4 / 5, em / 5));
    // The bold face of the same name draws 'A' a whole EM wide.
    if (boldFace) w.Tag(fontCode, BoxFont(3, "Boxes", {'A'}, {em}, em * 4 / 5, em / 5, true));
    w.Tag(37, EditText(2, field));
    w.Place(1, 2, 0, 0);
    w.ShowFrame();
    w.End();
    return w.Fws();
}

EditField Field(const std::string& text, bool html = false) {
    EditField f;
    f.x0 = 400, f.y0 = 400, f.x1 = 3400, f.y1 = 1400;
    f.font = 1, f.height = 400, f.rgb = kRed, f.outlines = true, f.html = html, f.text = text;
    return f;
}

struct Probe {
    int x, y;
    uint32_t colour;
};

TEST(FlashText, EmbeddedGlyphsLaidOutAsTheFieldSays) {
    struct Case {
        const char* what;
        int fontCode;
        EditField field;
        std::vector<Probe> probes;
        bool boldFace = false;
    };
    EditField right = Field("A");
    right.align = 1;
    const Case cases[] = {
        {"DefineFont3, 20-times EM", 75, Field("A"), {{27, 30, kRed}, {35, 30, kWhite}, {27, 20, kWhite}, {27, 39, kWhite}}},
        {"DefineFont2", 48, Field("A"), {{27, 30, kRed}, {35, 30, kWhite}}},
        {"advances", 75, Field("AWA"), {{37, 30, kRed}, {50, 30, kRed}, {57, 30, kRed}, {65, 30, kWhite}}},
        {"layout aligned right", 75, right, {{163, 30, kRed}, {27, 30, kWhite}}},
        {"HTML colour", 75, Field("<font color='#0000FF'>A</font>A", true), {{27, 30, kBlue}, {37, 30, kRed}}},
        {"HTML size", 75, Field("<font size=\"40\">A</font>", true), {{38, 50, kRed}, {45, 50, kWhite}}},
        {"HTML paragraph aligned centre", 75, Field("<p align=\"center\">A</p>", true), {{95, 30, kRed}, {27, 30, kWhite}}},
        {"HTML line break", 75, Field("A<br>WA", true), {{27, 50, kRed}, {45, 50, kRed}, {27, 41, kWhite}}},
        {"HTML bold takes the bold face", 75, Field("<b>A</b>", true), {{38, 30, kRed}}, true},
        {"HTML underline", 75, Field("<u>A</u>", true), {{27, 40, kRed}, {27, 44, kWhite}}},
        {"HTML entities", 75, Field("&lt;A&gt;", true), {{27, 30, kWhite}, {37, 30, kRed}}},
    };
    for (const Case& c : cases) {
        auto player = Open(TextMovie(c.fontCode, c.field, c.boldFace));
        ASSERT_TRUE(player->Warnings().empty()) << c.what << ": " << player->Warnings()[0];
        gfx::Surface s = Paint(*player, 200, 100);
        for (const Probe& p : c.probes)
            EXPECT_TRUE(Near(s.Pixel(p.x, p.y), p.colour, 8)) << c.what << " at " << p.x << ", " << p.y;
    }
}

// The field is white inside a black line that covers exactly its outer
// pixels: no grey from a line straddling a pixel edge.
TEST(FlashText, BorderIsOneWholePixelWide) {
    EditField f = Field("");
    f.border = true;
    SwfWriter w(200, 100, 12, 1);
    w.Background(kGrey);
    w.Tag(37, EditText(2, f));
    w.Place(1, 2, 0, 0);
    w.ShowFrame();
    w.End();
    auto player = Open(w.Fws());
    gfx::Surface s = Paint(*player, 200, 100);
    for (int x = 20; x < 170; ++x) {
        ASSERT_TRUE(Near(s.Pixel(x, 20), 0, 0)) << x;
        ASSERT_TRUE(Near(s.Pixel(x, 69), 0, 0)) << x;
        ASSERT_TRUE(Near(s.Pixel(x, 19), kGrey, 0)) << x;
        ASSERT_TRUE(Near(s.Pixel(x, 70), kGrey, 0)) << x;
    }
    for (int y = 21; y < 69; ++y) {
        ASSERT_TRUE(Near(s.Pixel(20, y), 0, 0)) << y;
        ASSERT_TRUE(Near(s.Pixel(169, y), 0, 0)) << y;
        ASSERT_TRUE(Near(s.Pixel(21, y), kWhite, 0)) << y;
        ASSERT_TRUE(Near(s.Pixel(168, y), kWhite, 0)) << y;
    }
}

// A script's field over the Boxes font ('A' 10 px, 'W' 20 px, a space the
// half height its font lacks, lines 20 px): autoSize, wordWrap and
// embedFonts, by the sizes the field gives and the pixels it draws.
TEST(FlashText, ScriptFieldsSizeThemselvesAndTakeEmbeddedFonts) {
    auto field = [](int width, const char* font, const std::string& then) {
        return "push 10, " + std::to_string(width) + R"(, 20, 20, 1, "t", 6, "_root"; getVariable; push "createTextField"; callMethod; store r1; pop
            push 0, "TextFormat"; newObject; store r2; pop
            push r2, "font", ")" + font + R"("; setMember; push r2, "size", 20; setMember; push r2, "color", 0xFF0000; setMember
            push r2, 1, r1, "setNewTextFormat"; callMethod; pop
            push r1, "embedFonts", true; setMember
)" + then + R"(
            push r1, "textWidth"; getMember; trace; push r1, "textHeight"; getMember; trace
            push r1, "_width"; getMember; trace; push r1, "_height"; getMember; trace)";
    };
    const struct {
        const char* what;
        std::string source, trace;
        std::vector<Probe> probes;
    } rows[] = {
        {"autoSize left: the width and height follow the text", field(100, "Boxes", R"(push r1, "autoSize", "left"; setMember; push r1, "text", "AW"; setMember)"),
         "30|20|34|24", {{27, 30, kRed}, {42, 30, kRed}, {60, 30, kWhite}}},
        {"autoSize true is left; set before or after the text",
         field(100, "Boxes", R"(push r1, "text", "AW"; setMember; push r1, "autoSize", true; setMember; push r1, "autoSize"; getMember; trace)"),
         "left|30|20|34|24", {{27, 30, kRed}}},
        {"autoSize right keeps the right edge", field(100, "Boxes", R"(push r1, "autoSize", "right"; setMember; push r1, "text", "AW"; setMember)"),
         "30|20|34|24", {{27, 30, kWhite}, {93, 30, kRed}, {108, 30, kRed}}},
        {"autoSize none keeps the field's size", field(100, "Boxes", R"(push r1, "text", "AW"; setMember)"),
         "30|20|100|10", {{27, 25, kRed}}},
        {"wordWrap: the width stays, the height takes both lines",
         field(40, "Boxes", R"(push r1, "wordWrap", true; setMember; push r1, "autoSize", "left"; setMember; push r1, "text", "AW AW"; setMember)"),
         "40|40|40|44", {{27, 30, kRed}, {27, 50, kRed}, {42, 50, kRed}}},
        {"embedFonts with no font of that name draws nothing",
         field(100, "Nobody", R"(push r1, "autoSize", "left"; setMember; push r1, "text", "AW"; setMember)"), "0|0|4|4",
         {{27, 30, kWhite}, {42, 30, kWhite}}},
        {"device text: the field is its text and the margins",
         field(100, "_sans", R"(push r1, "embedFonts", false; setMember; push r1, "autoSize", "left"; setMember; push r1, "text", "Hello"; setMember
            push r1, "textWidth"; getMember; push 4; add2; push r1, "_width"; getMember; equals2; trace
            push r1, "textWidth"; getMember; push 20; greater; trace)"),
         "true|true", {}},
    };
    for (const auto& r : rows) {
        SwfWriter w(200, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(75, BoxFont(1, "Boxes", {'A', 'W'}, {10240, 20480}, 20480 * 4 / 5, 20480 / 5));
        w.Actions(Avm1Assembler::Assemble(r.source));
        w.ShowFrame();
        w.End();
        auto player = std::make_unique<Player>();
        std::string trace, error;
        player->SetTrace([&trace](const std::string& line) { trace += (trace.empty() ? "" : "|") + line; });
        ASSERT_TRUE(player->LoadBytes(WithVersion(w.Fws(), 8), error)) << error;
        std::string shown = trace;
        if (r.what[0] == 'd') shown = trace.substr(0, r.trace.size());   // device text: only its checks, not its sizes
        EXPECT_EQ(shown, r.trace) << r.what;
        gfx::Surface s = Paint(*player, 200, 100);
        for (const Probe& p : r.probes) EXPECT_TRUE(Near(s.Pixel(p.x, p.y), p.colour, 8)) << r.what << " at " << p.x << ", " << p.y;
    }
}

// The device fonts are installed families: _typewriter is monospaced, so
// its "iiiiii" runs far wider than _sans's; and each draws ink.
TEST(FlashText, DeviceFontsMapToInstalledFamilies) {
    auto inkWidth = [](const std::string& face) {
        SwfWriter w(200, 100, 12, 1);
        w.Tag(48, BoxFont(1, face, {}, {}, 0, 0));
        EditField f = Field("iiiiii");
        f.outlines = false;
        w.Tag(37, EditText(2, f));
        w.Place(1, 2, 0, 0);
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        gfx::Surface s = Paint(*player, 200, 100);
        int left = 200, right = -1;
        for (int y = 20; y < 70; ++y)
            for (int x = 0; x < 200; ++x)
                if (!Near(s.Pixel(x, y), kWhite, 60)) left = std::min(left, x), right = std::max(right, x);
        return right - left;
    };
    const int sans = inkWidth("_sans"), mono = inkWidth("_typewriter"), serif = inkWidth("_serif");
    EXPECT_GT(sans, 5);
    EXPECT_GT(serif, 5);
    EXPECT_GT(mono, 2 * sans);
}

} // namespace
} // namespace showsaver::flash::test
