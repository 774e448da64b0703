// The ActionScript machine, by tables: each row a script (assembled from
// text) and the trace it gives or the pixels it draws.

#include "tests/flash/Avm1Assembler.h"
#include "tests/flash/FlashTestSupport.h"

#include <filesystem>
#include <fstream>

namespace showsaver::flash::test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

// A player of `movie` whose trace lines go into `lines`.
std::unique_ptr<Player> Traced(const Bytes& movie, std::vector<std::string>& lines) {
    auto player = std::make_unique<Player>();
    player->SetTrace([&lines](const std::string& line) { lines.push_back(line); });
    std::string error;
    EXPECT_TRUE(player->LoadBytes(movie, error)) << error;
    return player;
}

// The trace lines, joined by '|', of a one-frame movie of `version` whose
// frame runs `source`, after `ticks` more steps.
std::string Trace(const std::string& source, int version = 8, int ticks = 0) {
    SwfWriter w(100, 100, 12, 1);
    w.Actions(Avm1Assembler::Assemble(source));
    w.ShowFrame();
    w.End();
    std::vector<std::string> lines;
    auto player = Traced(WithVersion(w.Fws(), uint8_t(version)), lines);
    for (int i = 0; i < ticks; ++i) player->Tick();
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "|") + line;
    return out;
}

struct Row {
    int version;
    const char* source;
    const char* trace;
};

// The conversions of ECMAScript's third edition as Flash Player 8 makes
// them, and where the movie's version changes them.
TEST(FlashScript, ConversionsAndVersionDifferences) {
    const Row rows[] = {
        // undefined is "" and 0 before version 7.
        {6, R"(push "[", undefined; add2; push "]"; add2; trace)", "[]"},
        {7, R"(push "[", undefined; add2; push "]"; add2; trace)", "[undefined]"},
        {6, "push undefined; toNumber; trace", "0"},
        {7, "push undefined; toNumber; trace", "NaN"},
        {6, "push null, 1; add2; trace", "1"},
        {7, "push null, 1; add2; trace", "NaN"},
        // Strings to booleans go through numbers before version 7.
        {6, R"(push "0"; not; trace; push "abc"; not; trace)", "true|true"},
        {7, R"(push "0"; not; trace; push "abc"; not; trace)", "false|false"},
        // Names fold case before version 7.
        {6, R"(push "Foo", 1; setVariable; push "foo"; getVariable; trace)", "1"},
        {7, R"(push "Foo", 1; setVariable; push "foo"; getVariable; trace)", "undefined"},
        // Version 4's arithmetic and comparisons are on numbers and give numbers.
        {4, R"(push "3", "4"; add; trace; push 2, 2; equals; trace)", "7|1"},
        {5, R"(push 2, 2; equals; trace; push "x"; toNumber; trace)", "true|NaN"},
        {4, R"(push "x"; toNumber; trace)", "0"},
        // Strings to numbers.
        {8, R"(push "0x1F"; toNumber; trace; push " 12 "; toNumber; trace; push "1e3"; toNumber; trace)", "31|12|1000"},
        {8, R"(push ""; toNumber; trace; push "12abc"; toNumber; trace; push "-Infinity"; toNumber; trace)", "NaN|NaN|-Infinity"},
        // Numbers to strings: 15 digits, exponents from 1e21 and below 1e-5.
        {8, "push 0.1, 0.2; add2; trace; push 1, 3; divide; trace; push 1e21; trace; push 1e-7; trace",
         "0.3|0.333333333333333|1e+21|1e-7"},
        {8, "push 123456789012345680000.0; trace; push -0.0; trace; push 1, 0; divide; trace", "1.23456789012346e+20|0|Infinity"},
        // Equality and order.
        {8, R"(push null, undefined; equals2; trace; push "1", 1; equals2; trace; push true, 1; equals2; trace)", "true|true|true"},
        {8, R"(push "1", 1; strictEquals; trace; push "10", "9"; less2; trace; push 10, "9"; less2; trace)", "false|true|false"},
        {8, R"(push "x"; toNumber; dup; equals2; trace; push "x"; toNumber; push 1; less2; trace)", "false|undefined"},
        // Add2: a string on either side concatenates.
        {8, R"(push 1, "2"; add2; trace; push true, 1; add2; trace)", "12|2"},
        // typeof.
        {8, R"(push null; typeOf; trace; push "this"; getVariable; typeOf; trace; push "Math"; getVariable; typeOf; trace)",
         "null|movieclip|object"},
        // Integers for the bit operations wrap at 32 bits.
        {8, "push -1, 28; bitURShift; trace; push 4294967301.0, 0; bitOr; trace; push 1, 31; bitLShift; trace", "15|5|-2147483648"},
        // Global conversion functions.
        {8, R"(push "0x10", 1, "parseInt"; callFunction; trace; push "12px", 1, "parseInt"; callFunction; trace;
               push 16, "ff", 2, "parseInt"; callFunction; trace; push "3.5e2x", 1, "parseFloat"; callFunction; trace)",
         "16|12|255|350"},
        {8, R"(push "a b&", 1, "escape"; callFunction; dup; trace; push 1, "unescape"; callFunction; trace;
               push "x", 1, "isNaN"; callFunction; trace)", "a%20b%26|a b&|true"},
    };
    for (const Row& r : rows) EXPECT_EQ(Trace(r.source, r.version), r.trace) << "version " << r.version << ": " << r.source;
}

// The language: functions, closures, prototypes and classes, exceptions,
// scopes, enumeration, properties with accessors and flags.
TEST(FlashScript, Language) {
    const Row rows[] = {
        {8, R"(function make(n)
                 function _()
                   push "n", "n"; getVariable; increment; setVariable
                   push "n"; getVariable; return
                 end
                 return
               end
               push "c", 5, 1, "make"; callFunction; defineLocal
               push 0, "c"; callFunction; pop; push 0, "c"; callFunction; trace)",
         "7"},
        {8, R"(function2 fact(r1:n) regs=2
                 push r1, 1; greater; not; if one
                 push r1, 1; subtract; push 1, "fact"; callFunction; push r1; multiply; return
                 one:
                 push 1; return
               end
               push 10, 1, "fact"; callFunction; trace)",
         "3628800"},
        // A class and a subclass that calls its superclass's constructor and method.
        {8, R"(push "A"
               function _(x)
                 push "this"; getVariable; push "x", "x"; getVariable; setMember
               end
               setVariable
               push "A"; getVariable; push "prototype"; getMember; push "hi"
               function _()
                 push "A", "this"; getVariable; push "x"; getMember; add2; return
               end
               setMember
               push "B"
               function2 _(r3:x) regs=4 preload=this+super
                 push r3, 1, r2, undefined; callMethod; pop
               end
               setVariable
               push "B"; getVariable; push "A"; getVariable; extends
               push "B"; getVariable; push "prototype"; getMember; push "hi"
               function2 _() regs=3 preload=this+super
                 push "B", 0, r2, "hi"; callMethod; add2; return
               end
               setMember
               push "b", 7, 1, "B"; newObject; defineLocal
               push 0, "b"; getVariable; push "hi"; callMethod; trace
               push "b"; getVariable; push "A"; getVariable; instanceOf; trace
               push "A"; getVariable; push "b"; getVariable; castOp; push "x"; getMember; trace
               push "b"; getVariable; push "__proto__"; getMember; push "__proto__"; getMember;
               push "A"; getVariable; push "prototype"; getMember; strictEquals; trace)",
         "BA7|true|7|true"},
        // Exceptions: caught with their value, finally always; a throw in a
        // called function unwinds to the caller's try.
        {8, R"(try catch=e
                 push "boom"; throw
               catch
                 push "caught ", "e"; getVariable; add2; trace
               finally
                 push "finally"; trace
               end
               function thrower()
                 push "deep"; throw
               end
               try catch=r2
                 push 0, "thrower"; callFunction; push "not here"; trace
               catch
                 push r2; trace
               end
               push "after"; trace)",
         "caught boom|finally|deep|after"},
        // A jump out of a try block runs its finally on the way.
        {8, R"(push 0; store r1; pop
               loop:
               try
                 push r1, 2; equals2; if out
                 push r1; increment; store r1; pop
               finally
                 push "f", r1; add2; trace
               end
               jump loop
               out:
               push "done"; trace)",
         "f1|f2|f2|done"},
        // With puts an object in the scope chain.
        {8, R"(push "o", "k", 42, 1; initObject; setVariable
               push "o"; getVariable
               with
                 push "k"; getVariable; trace
                 push "k", 43; setVariable
               end
               push "o"; getVariable; push "k"; getMember; trace)",
         "42|43"},
        // for..in, with a property hidden by ASSetPropFlags.
        {8, R"(push "o", "a", 1, "b", 2, 2; initObject; setVariable
               push 1, "a", "o"; getVariable; push 3, "ASSetPropFlags"; callFunction; pop
               push "o"; getVariable; enumerate2
               loop:
               store r0; push null; equals2; if done
               push r0; trace
               jump loop
               done:)",
         "b"},
        // addProperty's getter and setter.
        {8, R"(push "o", 0; initObject; setVariable
               function _(v)
                 push "this"; getVariable; push "_v", "v"; getVariable; push 2; multiply; setMember
               end
               function _()
                 push "this"; getVariable; push "_v"; getMember; return
               end
               push "p", 3, "o"; getVariable; push "addProperty"; callMethod; pop
               push "o"; getVariable; push "p", 21; setMember
               push "o"; getVariable; push "p"; getMember; trace)",
         "42"},
        // Function.call and apply set this.
        {8, R"(function who(a)
                 push "this"; getVariable; push "n"; getMember; push "a"; getVariable; add2; return
               end
               push "o", "n", "x", 1; initObject; setVariable
               push "!", "o"; getVariable; push 2, "who"; getVariable; push "call"; callMethod; trace
               push "?", 1; initArray; push "o"; getVariable; push 2, "who"; getVariable; push "apply"; callMethod; trace)",
         "x!|x?"},
    };
    for (const Row& r : rows) EXPECT_EQ(Trace(r.source, r.version), r.trace) << r.source;
}

// The global classes.
TEST(FlashScript, GlobalClasses) {
    const Row rows[] = {
        {8, R"(push "a", 3, 10, 1, 3; initArray; setVariable
               push 0, "a"; getVariable; push "sort"; callMethod; trace
               push 18, 1, "a"; getVariable; push "sort"; callMethod; pop; push "a"; getVariable; trace
               push "y", "x", 1, 1, 4, "a"; getVariable; push "splice"; callMethod; trace
               push "a"; getVariable; dup; trace; push "length"; getMember; trace)",
         "1,10,3|10,3,1|3|10,x,y,1|4"},
        {8, R"(function _(x, y)
                 push "y"; getVariable; push "x"; getVariable; subtract; return
               end
               push 1; push 1, 5, 3, 9, 4; initArray; push "sort"; callMethod; trace)",
         "9,5,3,1"},
        {8, R"(push "n", "b", 1; initObject; push "n", "a", 1; initObject; push "n", "C", 1; initObject; push 3; initArray
               push "list"; swap; setVariable
               push 1, "n", 2, "list"; getVariable; push "sortOn"; callMethod; pop
               push "list"; getVariable; push 0; getMember; push "n"; getMember; trace
               push 2, "n", 2, "list"; getVariable; push "sortOn"; callMethod; push 0; getMember; push "n"; getMember; trace
               push 8, "n", 2, "list"; getVariable; push "sortOn"; callMethod; trace)",
         "a|b|2,1,0"},
        {8, R"(push 3, 1, 2, "Hello"; push "substr"; callMethod; trace
               push 0, "Hello"; push "toUpperCase"; callMethod; trace
               push "l", 1, "Hello"; push "indexOf"; callMethod; trace
               push ",", 1, "a,b,,c"; push "split"; callMethod; dup; push "length"; getMember; trace; push 3; getMember; trace
               push 66, 65, 2, "String"; getVariable; push "fromCharCode"; callMethod; trace
               push "Hello"; push "length"; getMember; trace)",
         "ell|HELLO|2|4|c|AB|5"},
        {8, R"(push 7, 3, 2, "Math"; getVariable; push "max"; callMethod; trace
               push -1.5, 1, "Math"; getVariable; push "floor"; callMethod; trace
               push -2.5, 1, "Math"; getVariable; push "round"; callMethod; trace
               push 16, 1, 255, 1, "Number"; newObject; push "toString"; callMethod; trace
               push 0, "Math"; getVariable; push "random"; callMethod; dup; push 0; less2; swap; push 1; less2; not; or; trace)",
         "7|-2|-2|ff|false"},
        {8, R"(push 15, 1, 2000, 3, "Date"; newObject; store r1; pop
               push 0, r1, "getFullYear"; callMethod; trace
               push 0, r1, "getMonth"; callMethod; trace; push 0, r1, "getDate"; callMethod; trace
               push "o", 0; initObject; setVariable
               push 0, "o"; getVariable; push "toString"; callMethod; trace
               push "p", 1, "o"; getVariable; push "hasOwnProperty"; callMethod; trace)",
         "2000|1|15|[object Object]|false"},
        // flash.geom, and filters set on a clip and read back.
        {8, R"(push 4, 3, 2, "flash"; getVariable; push "geom"; getMember; push "Point"; newMethod; push "length"; getMember; trace
               push 0, "flash"; getVariable; push "geom"; getMember; push "Matrix"; newMethod; store r1; pop
               push 20, 10, 2, r1, "translate"; callMethod; pop
               push 2, 1, 2, "flash"; getVariable; push "geom"; getMember; push "Point"; newMethod
               push 1, r1, "transformPoint"; callMethod; trace
               push 1, "c", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r2; pop
               push r2, "filters", 1, 3, 2, 3, "flash"; getVariable; push "filters"; getMember; push "BlurFilter"; newMethod
               push 1; initArray; setMember
               push r2, "filters"; getMember; push 0; getMember; push "blurY"; getMember; trace)",
         "5|(x=11, y=22)|3"},
        // A text field made by script, found by its name, its text set as HTML.
        {8, R"(push 20, 50, 10, 5, 3, "t", 6, "_root"; getVariable; push "createTextField"; callMethod; pop
               push "t"; getVariable; push "htmlText", "<b>a &amp; b</b>"; setMember
               push "t"; getVariable; dup; push "text"; getMember; trace; push "_width"; getMember; trace
               push "t"; getVariable; push "_x"; getMember; trace)",
         "a & b|50|5"},
        // A clip's opaqueBackground and scrollRect, set and read back.
        {8, R"(push 1, "c", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r1; pop
               push r1, "opaqueBackground"; getMember; trace
               push r1, "scrollRect"; getMember; trace
               push r1, "opaqueBackground", 0x336699; setMember
               push r1, "opaqueBackground"; getMember; trace
               push r1, "scrollRect", 40, 30, 2, 1, 4, "flash"; getVariable; push "geom"; getMember; push "Rectangle"; newMethod
               setMember
               push r1, "scrollRect"; getMember; dup; push "width"; getMember; trace; push "x"; getMember; trace
               push r1, "_width"; getMember; trace
               push r1, "scrollRect", null; setMember
               push r1, "scrollRect"; getMember; trace)",
         "null|undefined|3368601|30|1|30|undefined"},
    };
    for (const Row& r : rows) EXPECT_EQ(Trace(r.source, r.version), r.trace) << r.source;
}

// Strings count in UTF-16 units from version 6 on (the text kept as
// UTF-8); before, each byte is a character. Each row: the version, the
// string in r1, what runs on it, the trace.
TEST(FlashScript, StringsCountInUtf16Units) {
    const std::string mixed = "a\u00e9\u20ac\U0001F600";   // a, e acute, euro, a character past 16 bits
    const struct {
        int version;
        std::string subject, source, trace;
    } rows[] = {
        {8, mixed, R"(push r1, "length"; getMember; trace; push r1; mbLength; trace; push r1; stringLength; trace)", "5|5|5"},
        {8, mixed, R"(push 1, 1, r1, "charCodeAt"; callMethod; trace; push 2, 1, r1, "charCodeAt"; callMethod; trace
                      push 3, 1, r1, "charCodeAt"; callMethod; trace; push 4, 1, r1, "charCodeAt"; callMethod; trace)",
         "233|8364|55357|56832"},
        {8, mixed, R"(push 2, 1, r1, "charAt"; callMethod; trace; push 2, 1, 2, r1, "substr"; callMethod; trace
                      push 5, 3, 2, r1, "substring"; callMethod; trace; push -2, 1, r1, "slice"; callMethod; trace)",
         "\u20ac|\u00e9\u20ac|\U0001F600|\U0001F600"},
        {8, mixed, "push \"\u20ac\", 1, r1, \"indexOf\"; callMethod; trace; push \"\U0001F600\", 1, r1, \"lastIndexOf\"; callMethod; trace", "2|3"},
        {8, mixed, R"(push "", 1, r1, "split"; callMethod; push "length"; getMember; trace; push r1, 2, 2; mbSubstring; trace)",
         "5|\u00e9\u20ac"},
        {8, "", R"(push 0xDE00, 0xD83D, 233, 3, "String"; getVariable; push "fromCharCode"; callMethod; trace
                   push 8364; mbChr; trace; push 0x20AC; mbChr; mbOrd; trace)",
         "\u00e9\U0001F600|\u20ac|8364"},
        {8, "\u00e9", R"(push r1, 1, "escape"; callFunction; trace; push "%C3%A9", 1, "unescape"; callFunction; trace
                         push "%E9", 1, "unescape"; callFunction; dup; trace; push "length"; getMember; trace)",
         "%C3%A9|\u00e9|\u00e9|1"},
        // Version 5: bytes (Latin-1).
        {5, "a\u00e9", R"(push r1, "length"; getMember; trace; push 1, 1, r1, "charCodeAt"; callMethod; trace; push r1, 1, "escape"; callFunction; trace)",
         "3|195|a%C3%A9"},
        {5, "", R"(push 233, 1, "String"; getVariable; push "fromCharCode"; callMethod; push 1, "escape"; callFunction; trace)", "%E9"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Trace("push \"" + r.subject + "\"; store r1; pop\n" + r.source, r.version), r.trace) << r.version << " " << r.source;
}

// The files a movie may load: in its folder or below, by a relative path
// with no "..", no scheme and no link leading out.
TEST(FlashScript, LoadsReachOnlyFilesBesideTheMovie) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("showsaver-beside-" + std::to_string(getpid()));
    fs::create_directories(root / "show" / "sub");
    for (const char* name : {"show/child.swf", "show/sub/pic.png", "outside.swf"}) std::ofstream(root / name) << "x";
    fs::create_symlink(root / "outside.swf", root / "show" / "out.swf");
    const fs::path folder = root / "show";
    const struct {
        const char* url;
        const char* file;   // null: refused
    } rows[] = {
        {"child.swf", "child.swf"}, {"./child.swf", "child.swf"}, {"sub/pic.png", "sub/pic.png"}, {"sub\\pic.png", "sub/pic.png"},
        {"child.swf?frame=2", "child.swf"}, {"../outside.swf", nullptr}, {"sub/../child.swf", nullptr}, {"/etc/passwd", nullptr},
        {"http://example.com/child.swf", nullptr}, {"file:///tmp/child.swf", nullptr}, {"C:\\child.swf", nullptr},
        {"missing.swf", nullptr}, {"out.swf", nullptr}, {"", nullptr}, {"sub", nullptr},
    };
    for (const auto& r : rows) {
        auto found = FileBesideMovie(folder, r.url);
        if (r.file) EXPECT_EQ(found, fs::canonical(folder / r.file)) << r.url;
        else EXPECT_FALSE(found) << r.url;
    }
    EXPECT_FALSE(FileBesideMovie({}, "child.swf"));   // a movie from memory has no folder
    fs::remove_all(root);
}

// One road: a MovieClipLoader loads a movie and a picture from beside the
// movie into two clips, and refuses a path out of the folder and a URL
// for a third; its listener hears each, in Flash Player's order.
TEST(FlashScript, MovieClipLoaderLoadsMoviesAndPicturesBesideTheMovie) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("showsaver-load-" + std::to_string(getpid()));
    fs::create_directories(folder);
    // The child fills its square with its own bitmap 5; the main movie's
    // bitmap 5 is yellow, which must not show.
    SwfWriter child(100, 100, 12, 1);
    child.Tag(36, Lossless(5, 36, 5, 2, 2, kRed));
    child.Tag(32, RectShape(1, 0, 0, 800, 800, BitmapFill(5, 400, 0, 0)));
    child.Place(1, 1, 0, 0);
    child.Actions(Avm1Assembler::Assemble(R"(push "child frame"; trace)"));
    child.ShowFrame();
    child.End();
    Bytes childBytes = WithVersion(child.Fws(), 8);
    std::ofstream(folder / "child.swf", std::ios::binary).write(reinterpret_cast<const char*>(childBytes.data()), long(childBytes.size()));
    cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 20, 20);
    cairo_t* cr = cairo_create(png);
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(png, (folder / "pic.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(png);

    SwfWriter w(100, 100, 12, 1);
    w.Background(kWhite);
    w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(0x808080)));
    w.Tag(36, Lossless(5, 36, 5, 2, 2, 0xFFFF00));
    SpriteOf(w, 2, 1);
    w.Place(1, 2, 0, 0, false, -1, 0, "box");
    w.Place(2, 2, 1000, 1000, false, -1, 0, "pic");
    w.Place(3, 2, 0, 1600, false, -1, 0, "bad");
    w.Actions(Avm1Assembler::Assemble(R"(
        push 0, "MovieClipLoader"; newObject; store r1; pop
        push 0; initObject; store r2; pop
        push r2, "onLoadStart"
        function _(t)
          push "start ", "t"; getVariable; push "_name"; getMember; add2; trace
        end
        setMember
        push r2, "onLoadInit"
        function _(t)
          push "init ", "t"; getVariable; push "_name"; getMember; add2; trace
        end
        setMember
        push r2, "onLoadError"
        function _(t, e)
          push "error ", "t"; getVariable; push "_name"; getMember; add2; push " "; add2; push "e"; getVariable; add2; trace
        end
        setMember
        push r2, 1, r1, "addListener"; callMethod; pop
        push "box"; getVariable; push "child.swf", 2, r1, "loadClip"; callMethod; pop
        push "pic", "pic.png", 2, r1, "loadClip"; callMethod; pop
        push "bad"; getVariable; push "../child.swf", 2, r1, "loadClip"; callMethod; pop
        push "bad"; getVariable; push "http://example.com/child.swf", 2, r1, "loadClip"; callMethod; pop
        push "bad"; getVariable; push "loaded by a method"; trace; push "/etc/passwd", 1; swap; push "loadMovie"; callMethod; pop
        push 1, "child.swf", 2, "loadMovieNum"; callFunction; pop)"));
    w.ShowFrame();
    w.End();
    Bytes main = WithVersion(w.Fws(), 8);
    std::ofstream(folder / "main.swf", std::ios::binary).write(reinterpret_cast<const char*>(main.data()), long(main.size()));
    Player player;
    std::string trace, error;
    player.SetTrace([&trace](const std::string& line) { trace += (trace.empty() ? "" : "|") + line; });
    ASSERT_TRUE(player.Load(folder / "main.swf", error)) << error;
    EXPECT_EQ(trace, "loaded by a method|start box|start pic|error bad URLNotFound|error bad URLNotFound|child frame|child frame|"
                     "init box|init pic");
    gfx::Surface s = Paint(player, 100, 100);
    EXPECT_TRUE(Near(s.Pixel(30, 30), kRed));      // the child movie, larger than the box it replaced
    EXPECT_TRUE(Near(s.Pixel(60, 60), kGreen));    // the picture at the clip's place
    EXPECT_TRUE(Near(s.Pixel(75, 75), kWhite));
    EXPECT_TRUE(Near(s.Pixel(5, 85), 0x808080));   // refused: the clip is as it was

    // Level 0: the movie beside plays in this one's place after the step.
    SwfWriter swap(100, 100, 12, 2);
    swap.Actions(Avm1Assembler::Assemble(R"(getUrl "child.swf" "_level0")"));
    swap.ShowFrame();
    swap.ShowFrame();
    swap.End();
    Bytes swapBytes = WithVersion(swap.Fws(), 8);
    std::ofstream(folder / "swap.swf", std::ios::binary).write(reinterpret_cast<const char*>(swapBytes.data()), long(swapBytes.size()));
    Player level0;
    trace.clear();
    level0.SetTrace([&trace](const std::string& line) { trace += (trace.empty() ? "" : "|") + line; });
    ASSERT_TRUE(level0.Load(folder / "swap.swf", error)) << error;
    EXPECT_EQ(level0.TotalFrames(), 2);
    level0.Tick();
    EXPECT_EQ(level0.TotalFrames(), 1);
    EXPECT_EQ(trace, "child frame");
    EXPECT_TRUE(Near(Paint(level0, 100, 100).Pixel(30, 30), kRed));
    fs::remove_all(folder);
}

// Time: onEnterFrame every step, setInterval and setTimeout on the movie's
// clock (12 frames a second: a step is 83 ms).
TEST(FlashScript, EventsAndTimersFollowTheMoviesClock) {
    const struct {
        const char* source;
        int ticks;
        const char* trace;
    } rows[] = {
        {R"(push "n", 0; setVariable
            push "this"; getVariable; push "onEnterFrame"
            function _()
              push "n", "n"; getVariable; increment; setVariable; push "n"; getVariable; trace
            end
            setMember)", 3, "1|2|3"},
        {R"(push "n", 0; setVariable
            push 100
            function _()
              push "n", "n"; getVariable; increment; setVariable; push "n"; getVariable; trace
              push "n"; getVariable; push 3; equals2; not; if on
              push "i"; getVariable; push 1, "clearInterval"; callFunction; pop
              on:
            end
            push 2, "setInterval"; callFunction; push "i"; swap; setVariable)", 8, "1|2|3"},
        {R"(push "late", 250
            function _(word)
              push "word"; getVariable; trace
            end
            push 3, "setTimeout"; callFunction; pop; push "now"; trace)", 5, "now|late"},
        // A throw that no script catches ends its handler; the movie plays on.
        {R"(push "n", 0; setVariable
            push "this"; getVariable; push "onEnterFrame"
            function _()
              push "n", "n"; getVariable; increment; setVariable; push "n"; getVariable; trace
              push "boom"; throw
            end
            setMember)", 3, "1|2|3"},
        {R"(push 50
            function _()
              push "late"; trace; push "boom"; throw
            end
            push 2, "setTimeout"; callFunction; pop; push "now"; trace)", 3, "now|late"},
    };
    for (const auto& r : rows) EXPECT_EQ(Trace(r.source, 8, r.ticks), r.trace) << r.source;
}

// Assembly that makes the clip `name` at `depth` of the root, keeps it in
// register `reg` and fills the pixels (x0, y0)-(x1, y1) of it with `rgb`.
std::string DrawnBox(const std::string& name, int depth, int reg, int x0, int y0, int x1, int y1, uint32_t rgb) {
    const std::string r = "r" + std::to_string(reg), at = ", 2, " + r + ", ";
    auto point = [&](int x, int y, const char* method) {
        return "push " + std::to_string(y) + ", " + std::to_string(x) + at + "\"" + method + "\"; callMethod; pop\n";
    };
    return "push " + std::to_string(depth) + ", \"" + name + "\", 2, \"_root\"; getVariable; push \"createEmptyMovieClip\"; " +
           "callMethod; store " + r + "; pop\n" + "push 100, " + std::to_string(rgb) + at + "\"beginFill\"; callMethod; pop\n" +
           point(x0, y0, "moveTo") + point(x1, y0, "lineTo") + point(x1, y1, "lineTo") + point(x0, y1, "lineTo") +
           point(x0, y0, "lineTo") + "push 0, " + r + ", \"endFill\"; callMethod; pop\n";
}

// What scripts draw: clips made by script, moved and hidden by their
// properties, shapes made by the drawing methods, masks, scroll
// rectangles and backgrounds that scripts give clips.
TEST(FlashScript, ClipsAndDrawing) {
    const std::string redAndMask = DrawnBox("d", 1, 1, 0, 0, 100, 100, kRed) + DrawnBox("m", 2, 2, 0, 0, 50, 100, kGreen) +
                                   R"(push r2, 1, r1, "setMask"; callMethod; pop
)";
    const struct {
        const char* what;
        std::string source;
        int ticks;
        std::vector<std::pair<int, int>> green, white, red;
    } rows[] = {
        {"the box as placed", "", 0, {{5, 5}}, {{55, 5}}, {}},
        {"_x moves it, _visible hides it", R"(push "box"; getVariable; push "_x", 50; setMember)", 0, {{55, 5}}, {{5, 5}}, {}},
        {"hidden", R"(push "box"; getVariable; push "_visible", false; setMember)", 0, {}, {{5, 5}}, {}},
        {"Color.setRGB tints it",
         R"(push "box"; getVariable; push 1, "Color"; newObject; store r1; pop; push 0xFF0000, 1, r1, "setRGB"; callMethod; pop)", 0,
         {}, {{15, 5}}, {{5, 5}}},
        {"duplicateMovieClip places a copy at the original's place, moved after",
         R"(push 10, "copy", 2, "box"; getVariable; push "duplicateMovieClip"; callMethod; push "_y", 50; setMember)", 0,
         {{5, 5}, {5, 55}}, {{55, 55}}, {}},
        {"duplicateMovieClip copies what the drawing methods drew",
         R"(push "box"; getVariable; store r1; pop
            push 100, 0xFF0000, 2, r1, "beginFill"; callMethod; pop
            push 0, 20, 2, r1, "moveTo"; callMethod; pop
            push 0, 40, 2, r1, "lineTo"; callMethod; pop
            push 20, 40, 2, r1, "lineTo"; callMethod; pop
            push 20, 20, 2, r1, "lineTo"; callMethod; pop
            push 0, r1, "endFill"; callMethod; pop
            push 10, "copy", 2, r1, "duplicateMovieClip"; callMethod; push "_y", 50; setMember)", 0,
         {{5, 5}, {5, 55}}, {{55, 55}, {30, 35}}, {{30, 10}, {30, 60}}},
        {"attachMovie by linkage name, with an init object",
         R"(push "_x", 30, "_y", 30, 2; initObject
            push 5, "made", "square", 4, "_root"; getVariable; push "attachMovie"; callMethod; pop)", 0,
         {{5, 5}, {35, 35}}, {{55, 55}}, {}},
        {"attachMovie of a class that Object.registerClass gave the linkage name",
         R"(function _()
              push "this"; getVariable; push "_y", 50; setMember
            end
            push "square", 2, "Object"; getVariable; push "registerClass"; callMethod; pop
            push 5, "made", "square", 3, "_root"; getVariable; push "attachMovie"; callMethod; pop)", 0,
         {{5, 5}, {5, 55}}, {{55, 55}}, {}},
        {"_xscale, and a removed copy",
         R"(push "box"; getVariable; push "_xscale", 300; setMember
            push 3, "gone", 2, "box"; getVariable; push "duplicateMovieClip"; callMethod; push 0; swap; push "removeMovieClip"; callMethod)", 0,
         {{25, 5}}, {{35, 5}}, {}},
        {"onEnterFrame moves the box each step",
         R"(push "box"; getVariable; push "onEnterFrame"
            function _()
              push "this"; getVariable; push "_x", "this"; getVariable; push "_x"; getMember; push 20; add2; setMember
            end
            setMember)", 2,
         {{45, 5}}, {{5, 5}, {25, 5}}, {}},
        {"the drawing methods fill a square and stroke a line",
         R"(push 1, "d", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r1; pop
            push 100, 0xFF0000, 2, r1, "beginFill"; callMethod; pop
            push 50, 50, 2, r1, "moveTo"; callMethod; pop
            push 50, 90, 2, r1, "lineTo"; callMethod; pop
            push 90, 90, 2, r1, "lineTo"; callMethod; pop
            push 90, 50, 100, 70, 4, r1, "curveTo"; callMethod; pop
            push 0, r1, "endFill"; callMethod; pop
            push 0x00FF00, 4, 2, r1, "lineStyle"; callMethod; pop
            push 10, 70, 2, r1, "moveTo"; callMethod; pop
            push 40, 70, 2, r1, "lineTo"; callMethod; pop)", 0,
         {{70, 25}}, {{60, 25}, {45, 70}}, {{60, 70}, {85, 85}}},
        {"setMask shows a clip where its mask clip covers, the mask clip itself not", redAndMask, 0, {},
         {{75, 50}}, {{25, 50}}},
        {"setMask(null) takes the mask away", redAndMask + R"(push null, 1, r1, "setMask"; callMethod; pop)", 0,
         {{25, 50}}, {}, {{75, 50}}},
        {"a drawn clip with a blend mode is drawn whole",
         DrawnBox("d", 1, 1, 20, 20, 100, 100, kRed) + R"(push r1, "blendMode", "multiply"; setMember)", 0, {},
         {{10, 50}}, {{50, 50}}},
        {"scrollRect shows the part it covers, moved to the clip's origin",
         R"(push "box"; getVariable; push "scrollRect", 20, 3, 0, 5, 4, "flash"; getVariable; push "geom"; getMember
            push "Rectangle"; newMethod; setMember)", 0,
         {{1, 5}}, {{4, 5}, {8, 5}}, {}},
        {"opaqueBackground fills the clip's box beneath it",
         R"(push 1, "d", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r1; pop
            push 100, 0x00FF00, 2, r1, "beginFill"; callMethod; pop
            push 40, 0, 2, r1, "lineTo"; callMethod; pop
            push 0, 40, 2, r1, "lineTo"; callMethod; pop
            push 0, r1, "endFill"; callMethod; pop
            push r1, "opaqueBackground", 0xFF0000; setMember)", 0,
         {{5, 20}}, {{60, 60}}, {{35, 35}}},
        {"lineGradientStyle strokes with a gradient",
         R"(push 1, "d", 2, "_root"; getVariable; push "createEmptyMovieClip"; callMethod; store r1; pop
            push 0, 10, 2, r1, "lineStyle"; callMethod; pop
            push "matrixType", "box", "x", 0, "y", 0, "w", 100, "h", 100, "r", 0, 6; initObject
            push 155, 100, 2; initArray; push 100, 100, 2; initArray; push 0x00FF00, 0xFF0000, 2; initArray
            push "linear", 5, r1, "lineGradientStyle"; callMethod; pop
            push 50, 0, 2, r1, "moveTo"; callMethod; pop
            push 50, 100, 2, r1, "lineTo"; callMethod; pop)", 0,
         {{80, 50}}, {{20, 30}}, {{20, 50}}},
    };
    for (const auto& r : rows) {
        SwfWriter w(100, 100, 12, 1);
        w.Background(kWhite);
        w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(kGreen)));
        SpriteOf(w, 2, 1);
        ExportAsset(w, 2, "square");
        w.Place(1, 2, 0, 0, false, -1, 0, "box");
        w.Actions(Avm1Assembler::Assemble(r.source));
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        for (int i = 0; i < r.ticks; ++i) player->Tick();
        gfx::Surface s = Paint(*player, 100, 100);
        for (auto [x, y] : r.green) EXPECT_TRUE(Near(s.Pixel(x, y), kGreen)) << r.what << " at " << x << "," << y;
        for (auto [x, y] : r.white) EXPECT_TRUE(Near(s.Pixel(x, y), kWhite)) << r.what << " at " << x << "," << y;
        for (auto [x, y] : r.red) EXPECT_TRUE(Near(s.Pixel(x, y), kRed)) << r.what << " at " << x << "," << y;
    }
}

// DoInitAction once at the start, then onClipEvent handlers in the order
// of a step: load once, enterFrame each step before the frame's actions.
TEST(FlashScript, ClipEventsRunInFlashPlayersOrder) {
    SwfWriter w(100, 100, 12, 4);
    w.Tag(32, RectShape(1, 0, 0, 200, 200, Solid(kGreen)));
    SpriteOf(w, 2, 1);
    auto say = [](const char* word) { return Avm1Assembler::Assemble(std::string("push \"") + word + "\"; trace"); };
    Bits init;   // DoInitAction of sprite 2: once, before the first frame's actions
    init.U16(2), init.Append(say("init")), init.U8(0);
    w.Tag(59, init.Data());
    PlaceWithClipEvent(w, 1, 2, 0, 0, "a", 1, say("load"));
    w.Actions(say("frame1"));
    w.ShowFrame();
    PlaceWithClipEvent(w, 2, 2, 0, 0, "b", 2, say("enter"));
    w.Actions(say("frame2"));
    w.ShowFrame();
    w.Actions(say("frame3"));
    w.ShowFrame();
    w.Remove(2);
    w.Actions(say("frame4"));
    w.ShowFrame();
    w.End();
    std::vector<std::string> lines;
    auto player = Traced(WithVersion(w.Fws(), 6), lines);
    player->SetLoop(false);
    for (int i = 0; i < 3; ++i) player->Tick();
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "|") + line;
    EXPECT_EQ(out, "init|frame1|load|frame2|enter|frame3|frame4");
}

// Scripts past a limit are abandoned; the timeline plays on and so does
// the show.
TEST(FlashScript, ScriptsPastALimitAreAbandoned) {
    const struct {
        const char* what;
        const char* source;
    } rows[] = {
        {"an endless loop", "again:\n jump again"},
        {"endless recursion", R"(function f()
                                   push 0, "f"; callFunction
                                 end
                                 push 0, "f"; callFunction)"},
        {"memory without end", R"(push "keep", 0; initArray; setVariable
                                  more:
                                  push 100000, 1, "Array"; newObject; push 1, "keep"; getVariable; push "push"; callMethod; pop
                                  jump more)"},
        {"a string that doubles", R"(push "s", "xxxxxxxxxxxxxxxx"; setVariable
                                     more:
                                     push "s", "s"; getVariable; push "s"; getVariable; add2; setVariable
                                     jump more)"},
    };
    for (const auto& r : rows) {
        SwfWriter w(100, 100, 12, 2);
        w.Actions(Avm1Assembler::Assemble(r.source));
        w.ShowFrame();
        w.ShowFrame();
        w.End();
        auto player = Open(w.Fws());
        EXPECT_TRUE(player->IsAbandoned()) << r.what;
        player->Tick();
        EXPECT_EQ(player->CurrentFrame(), 1) << r.what;
        EXPECT_TRUE(player->IsPlaying()) << r.what;
    }
}

} // namespace
} // namespace showsaver::flash::test
