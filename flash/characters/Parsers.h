#pragma once
// The tag parsers of the loader, each over one tag's body (the character id
// already read). Each returns nothing and says why in `error` when the tag
// is broken; the loader then drops that tag alone.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "flash/format/Limits.h"
#include "flash/characters/Movie.h"
#include "flash/format/Reader.h"

namespace showsaver::flash {

// DefineShape `version` 1..4.
std::unique_ptr<ShapeCharacter> ParseShape(Reader& reader, int version, MemoryBudget& budget, std::string& error);
// DefineMorphShape `version` 1 or 2.
std::unique_ptr<MorphCharacter> ParseMorph(Reader& reader, int version, MemoryBudget& budget, std::string& error);
// A glyph outline (a SHAPE without style lists), filled with one solid fill.
std::optional<Shape> ParseGlyph(Reader& reader, MemoryBudget& budget, std::string& error);

// FILLSTYLE and LINESTYLE records for shape `version` (3 and up carry alpha).
FillStyle ParseFillStyle(Reader& reader, int version);
LineStyle ParseLineStyle(Reader& reader, int version);

// DefineBits (with the movie's JPEGTables), DefineBitsJPEG2/3/4 (tag code
// 6, 21, 35, 90), DefineBitsLossless/2 (20, 36).
std::unique_ptr<BitmapCharacter> ParseJpegBitmap(Reader& reader, int code, std::span<const uint8_t> tables,
                                                 MemoryBudget& budget, std::string& error);
std::unique_ptr<BitmapCharacter> ParseLosslessBitmap(Reader& reader, int code, MemoryBudget& budget,
                                                     std::string& error);

// A FILTERLIST; false when it breaks (the filters read so far are kept).
// Convolution weights are charged to `budget` when one is given.
bool ParseFilters(Reader& reader, std::vector<Filter>& filters, MemoryBudget* budget = nullptr);

// PlaceObject (code 4), PlaceObject2 (26), PlaceObject3 (70).
std::optional<PlaceCommand> ParsePlace(Reader& reader, int code);

// DefineFont (10), DefineFont2/3 (48, 75); DefineText/2 (11, 33);
// DefineEditText (37); DefineButton/2 (7, 34).
std::unique_ptr<FontCharacter> ParseFont(Reader& reader, int code, MemoryBudget& budget, std::string& error);
std::unique_ptr<TextCharacter> ParseText(Reader& reader, int code, MemoryBudget& budget, std::string& error);
std::unique_ptr<TextCharacter> ParseEditText(Reader& reader, std::string& error);
// DefineFontInfo/2 (13, 62), after the font's id: the name, style and codes
// of a DefineFont's glyphs.
void ParseFontInfo(Reader& reader, int code, FontCharacter& font, MemoryBudget& budget);
// DefineVideoStream (60); its frames come later, one VideoFrame tag each.
std::unique_ptr<VideoCharacter> ParseVideoStream(Reader& reader, std::string& error);
std::unique_ptr<ButtonCharacter> ParseButton(Reader& reader, int code, MemoryBudget& budget, std::string& error);

} // namespace showsaver::flash
