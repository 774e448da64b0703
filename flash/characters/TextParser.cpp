// Fonts, static and edit text, and buttons.

#include "flash/characters/Parsers.h"

#include <cctype>
#include <cstring>

namespace showsaver::flash {
namespace {

constexpr int kDefineFont = 10, kDefineFont3 = 75, kDefineText2 = 33, kDefineButton2 = 34;
constexpr size_t kMaxGlyphs = 65535;

bool ReadGlyphs(std::span<const uint8_t> table, const std::vector<uint32_t>& offsets, FontCharacter& font,
                MemoryBudget& budget, std::string& error) {
    for (size_t i = 0; i < offsets.size(); ++i) {
        if (offsets[i] >= table.size()) {
            font.glyphs.emplace_back();
            continue;
        }
        Reader glyph(table.subspan(offsets[i]));
        auto shape = ParseGlyph(glyph, budget, error);
        font.glyphs.push_back(shape ? std::move(*shape) : Shape{});
    }
    error.clear();
    return true;
}

// What an HTML text field shows: the text between the tags, with a line
// break for <br> and each paragraph's end, and the five named entities and
// &nbsp; put back. Styles are not kept.
std::string PlainFromHtml(const std::string& html) {
    static constexpr std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&nbsp;", " "}};
    std::string plain;
    for (size_t i = 0; i < html.size();) {
        if (html[i] == '<') {
            size_t end = html.find('>', i);
            if (end == std::string::npos) break;
            std::string tag = html.substr(i + 1, end - i - 1);
            for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (tag == "br" || tag == "br/" || tag == "br /" || tag == "/p") plain += '\n';
            i = end + 1;
            continue;
        }
        bool named = false;
        if (html[i] == '&')
            for (auto [entity, text] : kEntities)
                if (html.compare(i, std::strlen(entity), entity) == 0) {
                    plain += text;
                    i += std::strlen(entity);
                    named = true;
                    break;
                }
        if (!named) plain += html[i++];
    }
    while (!plain.empty() && plain.back() == '\n') plain.pop_back();
    return plain;
}

// A password field shows a star for every character (UTF-8 lead byte).
std::string Stars(const std::string& text) {
    std::string stars;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) stars += '*';
    return stars;
}

} // namespace

std::unique_ptr<FontCharacter> ParseFont(Reader& r, int code, MemoryBudget& budget, std::string& error) {
    auto font = std::make_unique<FontCharacter>();
    std::vector<uint32_t> offsets;
    std::span<const uint8_t> table;
    if (code == kDefineFont) {
        table = r.Bytes().subspan(r.Position());
        size_t count = r.U16() / 2;
        offsets.push_back(count * 2);
        for (size_t i = 1; i < count && !r.Failed(); ++i) offsets.push_back(r.U16());
    } else {
        uint8_t flags = r.U8();
        r.U8();
        r.Skip(r.U8());
        size_t count = r.U16();
        table = r.Bytes().subspan(std::min(r.Position(), r.Bytes().size()));
        bool wide = (flags & 0x08) != 0;
        for (size_t i = 0; i < count && i < kMaxGlyphs && !r.Failed(); ++i) offsets.push_back(wide ? r.U32() : r.U16());
        if (code == kDefineFont3) font->emSquare = 20480;
    }
    if (r.Failed() || !budget.Charge(offsets.size() * sizeof(Shape))) {
        error = "broken font";
        return nullptr;
    }
    ReadGlyphs(table, offsets, *font, budget, error);
    return font;
}

// A glyph may take no bits at all, so every one is charged: a few bytes of
// text records must not become megabytes of glyphs.
std::unique_ptr<TextCharacter> ParseText(Reader& r, int code, MemoryBudget& budget, std::string& error) {
    auto text = std::make_unique<TextCharacter>();
    text->bounds = r.ReadRect();
    text->matrix = r.ReadMatrix();
    int glyphBits = r.U8(), advanceBits = r.U8();
    uint16_t font = 0;
    Rgba color;
    double x = 0, y = 0, height = 0;
    while (!r.Failed()) {
        uint8_t flags = r.U8();
        if (flags == 0) break;
        if (flags & 0x08) font = r.U16();
        if (flags & 0x04) color = r.ReadColor(code == kDefineText2);
        if (flags & 0x01) x = r.S16();
        if (flags & 0x02) y = r.S16();
        if (flags & 0x08) height = r.U16();
        int count = r.U8();
        for (int i = 0; i < count && !r.Failed(); ++i) {
            uint32_t glyph = r.Bits(glyphBits);
            int32_t advance = r.SignedBits(advanceBits);
            if (text->glyphs.size() >= 100'000 || !budget.Charge(sizeof(TextGlyph))) {
                error = "text too large";
                return nullptr;
            }
            text->glyphs.push_back({font, glyph, x, y, height, color});
            x += advance;
        }
        r.Align();
    }
    if (r.Failed() && text->glyphs.empty()) {
        error = "broken text records";
        return nullptr;
    }
    text->glyphs.shrink_to_fit();   // hold what was charged, not what the vector grew to
    return text;
}

std::unique_ptr<TextCharacter> ParseEditText(Reader& r, std::string& error) {
    auto text = std::make_unique<TextCharacter>();
    text->isEdit = true;
    text->bounds = r.ReadRect();
    uint8_t first = r.U8(), second = r.U8();
    if (first & 0x01) r.U16();     // the font, drawn with ours
    if (second & 0x80) r.String(); // the font's class name
    if ((first & 0x01) || (second & 0x80)) text->editHeight = r.U16();
    if (first & 0x04) text->editColor = r.ReadRgba();
    if (first & 0x02) r.U16();
    if (second & 0x20) r.Skip(9);
    r.String();   // the variable name
    if (first & 0x80) text->editText = r.String();
    if (r.Failed()) {
        error = "broken edit text";
        return nullptr;
    }
    if (second & 0x02) text->editText = PlainFromHtml(text->editText);
    if (first & 0x10) text->editText = Stars(text->editText);
    text->editBorder = (second & 0x08) != 0;
    return text;
}

std::unique_ptr<ButtonCharacter> ParseButton(Reader& r, int code, MemoryBudget& budget, std::string& error) {
    auto button = std::make_unique<ButtonCharacter>();
    if (code == kDefineButton2) {
        r.U8();
        r.U16();
    }
    auto& up = button->up.frames.emplace_back().commands;
    while (!r.Failed()) {
        uint8_t flags = r.U8();
        if (flags == 0) break;
        FrameCommand record;
        record.place.character = r.U16();
        record.place.depth = r.U16();
        record.place.matrix = r.ReadMatrix();
        if (code == kDefineButton2) record.place.color = r.ReadColorTransform(true);
        if (code == kDefineButton2 && (flags & 0x10)) {
            std::vector<Filter> filters;
            if (!ParseFilters(r, filters, &budget)) break;
            record.place.filters = std::move(filters);
        }
        if (code == kDefineButton2 && (flags & 0x20)) record.place.blend = ToBlendMode(r.U8());
        // The state bits, lowest first: up, over, down, hit test.
        if ((flags & 0x01) && up.size() < 1000 && !r.Failed() && budget.Charge(sizeof(FrameCommand)))
            up.push_back(std::move(record));
    }
    if (r.Failed() && up.empty()) {
        error = "broken button records";
        return nullptr;
    }
    return button;
}

} // namespace showsaver::flash
