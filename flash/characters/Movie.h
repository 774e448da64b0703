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
// the depth had; `move` false with a character places anew.
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

enum class CharacterKind : uint8_t { Shape, Morph, Bitmap, Sprite, Button, Text, Font };

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
};

struct TextGlyph {
    uint16_t font = 0;
    uint32_t glyph = 0;
    double x = 0, y = 0, height = 0;   // twips
    Rgba color;
};
// Static text as glyph runs, and edit text as a string drawn with Pango.
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
