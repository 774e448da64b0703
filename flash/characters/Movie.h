#pragma once
// A loaded movie: its header, its dictionary of characters and the root
// timeline, all parsed once at load. Playing never changes a Movie, so the
// player's state (FlashPlayer.h) can be rebuilt from it at any time.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <cairo.h>

#include "flash/format/Container.h"
#include "flash/characters/Filters.h"
#include "flash/characters/Shape.h"
#include "flash/characters/SoundData.h"

namespace showsaver::flash {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;

// An onClipEvent handler of a placed sprite: the events it answers (the
// movie's event bits: 1 load, 2 enterFrame, 4 unload, ...) and its actions.
struct ClipAction {
    uint32_t events = 0;
    std::vector<uint8_t> code;
};
using ClipActions = std::shared_ptr<const std::vector<ClipAction>>;

// PlaceObject, PlaceObject2 and PlaceObject3: what is given replaces what
// the depth had; `move` false with a character places anew on a free depth
// (on a taken one it is ignored, and the object there stays).
struct PlaceCommand {
    uint16_t depth = 0;
    bool move = false;
    std::optional<uint16_t> character;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> color;
    std::optional<uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<uint16_t> clipDepth;
    std::optional<std::vector<Filter>> filters;   // PlaceObject3 from here on
    std::optional<BlendMode> blend;
    std::optional<bool> cacheAsBitmap;
    bool hasClipActions = false;   // they follow what ParsePlace read
    ClipActions clipActions;
};

struct FrameCommand {
    enum class Kind : uint8_t { Place, Remove } kind = Kind::Place;
    PlaceCommand place;   // for Remove only `place.depth` counts
};

struct Frame {
    std::vector<FrameCommand> commands;
    std::vector<std::vector<uint8_t>> actions;   // DoAction bodies, in order
    std::vector<SoundStart> sounds;
    std::optional<size_t> streamBlock;           // index into the timeline's stream blocks
};

struct Timeline {
    std::vector<Frame> frames;
    std::map<std::string, int> labels;           // FrameLabel names, as written
    std::optional<StreamHead> stream;
    std::vector<std::vector<uint8_t>> streamBlocks;
};

enum class CharacterKind : uint8_t { Shape, Morph, Bitmap, Sprite, Button, Text, Font, Video };

struct Character {
    explicit Character(CharacterKind k) : kind(k) {}
    virtual ~Character() = default;
    CharacterKind kind;
};

struct ShapeCharacter final : Character {
    ShapeCharacter() : Character(CharacterKind::Shape) {}
    Shape shape;
};

struct MorphFill {
    FillStyle start, end;
};
struct MorphLine {
    LineStyle start, end;
};
struct MorphCharacter final : Character {
    MorphCharacter() : Character(CharacterKind::Morph) {}
    std::vector<MorphFill> fills;
    std::vector<MorphLine> lines;
    std::vector<StyledEdge> start, end;   // the same length, edge for edge
};

struct BitmapCharacter final : Character {
    BitmapCharacter() : Character(CharacterKind::Bitmap) {}
    CairoSurfacePtr surface;   // premultiplied ARGB32
    int width = 0, height = 0;
    bool smooth = true;        // drawn by itself: filtered when scaled, or nearest pixels
};

struct SpriteCharacter final : Character {
    SpriteCharacter() : Character(CharacterKind::Sprite) {}
    Timeline timeline;
    int frameCount = 0;
};

// A button in its up state: a timeline of one frame that places the
// characters it shows.
struct ButtonCharacter final : Character {
    ButtonCharacter() : Character(CharacterKind::Button) {}
    Timeline up;
};

struct FontCharacter final : Character {
    FontCharacter() : Character(CharacterKind::Font) {}
    std::vector<Shape> glyphs;   // in EM squares of 1024 twips (20480 for DefineFont3)
    double emSquare = 1024;
    // DefineFont2/3 (or DefineFontInfo for DefineFont): the name, the
    // character each glyph draws and, with a layout, the advances and
    // line metrics, all in the EM square's units.
    std::string name;
    bool bold = false, italic = false;
    std::vector<uint16_t> codes;
    std::vector<int16_t> advances;
    double ascent = 0, descent = 0, leading = 0;
    bool hasLayout = false;

    // The glyph that draws `code`, or -1.
    int GlyphFor(uint32_t code) const {
        for (size_t i = 0; i < codes.size() && i < glyphs.size(); ++i)
            if (codes[i] == code) return static_cast<int>(i);
        return -1;
    }
};

struct TextGlyph {
    uint16_t font = 0;
    uint32_t glyph = 0;
    double x = 0, y = 0, height = 0;   // twips
    Rgba color;
};
// A stretch of edit text in one style; '\n' in `text` ends a line, and
// each paragraph's runs share its alignment.
enum class TextAlign : uint8_t { Left, Right, Center, Justify };
struct TextRun {
    std::string text;     // UTF-8
    uint16_t font = 0;    // the field's embedded font; 0 for none
    std::string face;     // a font by name (HTML's face, or the field's font's name)
    double height = 240;  // twips
    Rgba color{0, 0, 0, 255};
    bool bold = false, italic = false, underline = false;
    TextAlign align = TextAlign::Left;
};

// Static text as glyph runs, and edit text as styled runs: drawn with the
// embedded font's glyphs when the field uses outlines, else with Pango.
struct TextCharacter final : Character {
    TextCharacter() : Character(CharacterKind::Text) {}
    Rect bounds;
    Matrix matrix;
    std::vector<TextGlyph> glyphs;
    std::string editText;      // DefineEditText's initial text, UTF-8, HTML tags taken out
    double editHeight = 240;   // twips
    Rgba editColor;
    bool isEdit = false;
    bool editBorder = false;   // a white field with a black border
    std::vector<TextRun> runs;   // the initial text, styled (HTML or the field's one style)
    uint16_t editFont = 0;
    bool wordWrap = false, multiline = false, useOutlines = false;
    double leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;   // twips
};

// DefineVideoStream, with the VideoFrame packets that the timelines carry,
// by frame number. A placed video shows the frame its ratio names.
enum class VideoCodec : uint8_t { H263 = 2, ScreenVideo = 3, Vp6 = 4, Vp6Alpha = 5, ScreenVideo2 = 6 };
struct VideoCharacter final : Character {
    VideoCharacter() : Character(CharacterKind::Video) {}
    VideoCodec codec = VideoCodec::H263;
    int width = 0, height = 0;   // pixels
    int frameCount = 0;          // as the stream declares it
    uint8_t deblocking = 0;      // 0 as each packet says, 1 off, 2 and up on
    bool smoothing = false;
    std::map<uint16_t, std::vector<uint8_t>> frames;
};

struct Movie {
    MovieHeader header;
    Rgba background{255, 255, 255, 255};
    std::map<uint16_t, std::unique_ptr<Character>> characters;
    Timeline root;
    std::vector<std::unique_ptr<SoundData>> sounds;   // DefineSound, by the index in `soundIds`
    std::map<uint16_t, size_t> soundIds;
    std::vector<std::string> warnings;                // the tags dropped, and why
    std::map<std::string, uint16_t> exports;             // ExportAssets: linkage name to character
    std::vector<std::vector<uint8_t>> initActions;       // DoInitAction bodies, in order
    uint64_t spareBytes = 0;                          // what the memory budget had left after loading

    const Character* Find(uint16_t id) const {
        auto it = characters.find(id);
        return it == characters.end() ? nullptr : it->second.get();
    }
    // The playback rate: 12 for 0, else bounded to 1..120.
    double FramesPerSecond() const;
};

// Parses a movie file. Nullopt with `error` for a file that is no movie;
// a broken tag is dropped (noted in `warnings`) and the rest kept.
std::unique_ptr<Movie> LoadMovie(std::span<const uint8_t> file, std::string& error);

} // namespace showsaver::flash
