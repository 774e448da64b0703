// Fonts, static and edit text, and buttons.

#include "flash/characters/Parsers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace showsaver::flash {
namespace {

constexpr int kDefineFont = 10, kDefineFontInfo2 = 62, kDefineFont3 = 75, kDefineText2 = 33, kDefineButton2 = 34;
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

constexpr std::pair<const char*, const char*> kEntities[] = {
    {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&nbsp;", "\xC2\xA0"}};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The value of `name` inside a tag's text (quoted with either quote, or
// bare), or nullopt.
std::optional<std::string> Attribute(const std::string& tag, const std::string& name) {
    std::string lower = Lower(tag);
    for (size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
        size_t eq = at + name.size();
        while (eq < lower.size() && lower[eq] == ' ') ++eq;
        if ((at > 0 && std::isalnum(static_cast<unsigned char>(lower[at - 1]))) || eq >= lower.size() || lower[eq] != '=')
            continue;
        size_t v = eq + 1;
        while (v < tag.size() && tag[v] == ' ') ++v;
        if (v >= tag.size()) return std::string{};
        char quote = tag[v];
        if (quote == '"' || quote == '\'') {
            size_t close = tag.find(quote, v + 1);
            return tag.substr(v + 1, close == std::string::npos ? std::string::npos : close - v - 1);
        }
        size_t close = tag.find(' ', v);
        return tag.substr(v, close == std::string::npos ? std::string::npos : close - v);
    }
    return std::nullopt;
}

std::optional<Rgba> HtmlColor(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return std::nullopt;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str() + 1, &end, 16);
    if (*end) return std::nullopt;
    return Rgba{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), 255};
}

// Edit text's HTML as styled runs: <b>, <i>, <u>, <font face size color>
// (sizes in pixels, or relative with a sign), <p align>, <br>, and the
// named entities. Other tags are passed over, their text kept.
class HtmlRuns {
public:
    static constexpr size_t kMaxRuns = 4096;

    explicit HtmlRuns(const TextRun& base) : m_base(base) { m_stack.push_back({"", base}); }

    std::vector<TextRun> Parse(const std::string& html) {
        for (size_t i = 0; i < html.size();) {
            if (html[i] == '<') {
                size_t end = html.find('>', i);
                if (end == std::string::npos) break;
                Tag(html.substr(i + 1, end - i - 1));
                i = end + 1;
            } else if (html[i] == '&') {
                i = Entity(html, i);
            } else {
                Add(std::string(1, html[i++]));
            }
        }
        while (!m_runs.empty() && !m_runs.back().text.empty() && m_runs.back().text.back() == '\n') {
            m_runs.back().text.pop_back();
            if (m_runs.back().text.empty()) m_runs.pop_back();
        }
        return std::move(m_runs);
    }

private:
    void Tag(const std::string& tag) {
        std::string lower = Lower(tag);
        std::string name = lower.substr(0, lower.find_first_of(" /"));
        if (lower.empty()) return;
        if (lower[0] == '/') {
            name = lower.substr(1);
            if (name == "p") {
                Add("\n");
                m_align = m_base.align;
            }
            for (size_t i = m_stack.size(); i-- > 1;)
                if (m_stack[i].first == name) {
                    m_stack.resize(i);
                    break;
                }
            return;
        }
        if (name == "br") return Add("\n");
        TextRun style = m_stack.back().second;
        if (name == "p") {
            static constexpr std::pair<const char*, TextAlign> kAligns[] = {
                {"left", TextAlign::Left}, {"right", TextAlign::Right}, {"center", TextAlign::Center}, {"justify", TextAlign::Justify}};
            if (auto align = Attribute(tag, "align"))
                for (auto [word, value] : kAligns)
                    if (Lower(*align) == word) m_align = value;
        } else if (name == "b") {
            style.bold = true;
        } else if (name == "i") {
            style.italic = true;
        } else if (name == "u") {
            style.underline = true;
        } else if (name == "font") {
            if (auto face = Attribute(tag, "face")) style.face = *face, style.font = 0;
            if (auto color = Attribute(tag, "color"); color && HtmlColor(*color)) style.color = *HtmlColor(*color);
            if (auto size = Attribute(tag, "size"); size && !size->empty()) {
                double px = std::atof(size->c_str());
                double height = (*size)[0] == '+' || (*size)[0] == '-' ? style.height + px * 20 : px * 20;
                style.height = std::clamp(height, 20.0, 2000.0 * 20);
            }
        } else {
            return;   // a tag we pass over has no end to match
        }
        if (m_stack.size() < 256) m_stack.push_back({name, style});
    }

    size_t Entity(const std::string& html, size_t i) {
        for (auto [entity, text] : kEntities)
            if (html.compare(i, std::strlen(entity), entity) == 0) {
                Add(text);
                return i + std::strlen(entity);
            }
        Add("&");
        return i + 1;
    }

    void Add(const std::string& text) {
        TextRun style = m_stack.back().second;
        style.align = m_align;
        if (!m_runs.empty()) {
            TextRun& last = m_runs.back();
            // Past the limit of runs, the rest of the text takes the last style.
            if (m_runs.size() >= kMaxRuns || (last.font == style.font && last.face == style.face && last.height == style.height &&
                last.color == style.color && last.bold == style.bold && last.italic == style.italic &&
                last.underline == style.underline && last.align == style.align)) {
                last.text += text;
                return;
            }
        }
        style.text = text;
        m_runs.push_back(std::move(style));
    }

    TextRun m_base;
    TextAlign m_align = m_base.align;
    std::vector<std::pair<std::string, TextRun>> m_stack;
    std::vector<TextRun> m_runs;
};

// A password field shows a star for every character (UTF-8 lead byte).
std::string Stars(const std::string& text) {
    std::string stars;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) stars += '*';
    return stars;
}

} // namespace

// DefineFont2/3's code table and, with a layout, the line metrics and
// the advances that follow it (bounds and kerning are not used).
void ReadCodesAndLayout(Reader& r, FontCharacter& font, size_t count, bool wideCodes, bool hasLayout,
                        MemoryBudget& budget) {
    if (!budget.Charge(count * (sizeof(uint16_t) + sizeof(int16_t)))) return;
    for (size_t i = 0; i < count && !r.Failed(); ++i) font.codes.push_back(wideCodes ? r.U16() : r.U8());
    if (r.Failed()) return font.codes.clear();
    if (!hasLayout) return;
    font.ascent = r.U16();
    font.descent = r.U16();
    font.leading = r.S16();
    for (size_t i = 0; i < count && !r.Failed(); ++i) font.advances.push_back(r.S16());
    font.hasLayout = !r.Failed();
    if (!font.hasLayout) font.advances.clear();
}

std::unique_ptr<FontCharacter> ParseFont(Reader& r, int code, MemoryBudget& budget, std::string& error) {
    auto font = std::make_unique<FontCharacter>();
    std::vector<uint32_t> offsets;
    std::span<const uint8_t> table;
    uint8_t flags = 0;
    uint32_t codeOffset = 0;
    if (code == kDefineFont) {
        table = r.Bytes().subspan(r.Position());
        size_t count = r.U16() / 2;
        offsets.push_back(count * 2);
        for (size_t i = 1; i < count && !r.Failed(); ++i) offsets.push_back(r.U16());
    } else {
        flags = r.U8();
        r.U8();
        auto name = r.Take(r.U8());
        font->name.assign(name.begin(), name.end());
        while (!font->name.empty() && font->name.back() == '\0') font->name.pop_back();
        font->bold = (flags & 0x01) != 0;
        font->italic = (flags & 0x02) != 0;
        size_t count = r.U16();
        table = r.Bytes().subspan(std::min(r.Position(), r.Bytes().size()));
        bool wide = (flags & 0x08) != 0;
        for (size_t i = 0; i < count && i < kMaxGlyphs && !r.Failed(); ++i) offsets.push_back(wide ? r.U32() : r.U16());
        if (count > 0) codeOffset = wide ? r.U32() : r.U16();
        if (code == kDefineFont3) font->emSquare = 20480;
    }
    if (r.Failed() || !budget.Charge(offsets.size() * sizeof(Shape))) {
        error = "broken font";
        return nullptr;
    }
    ReadGlyphs(table, offsets, *font, budget, error);
    if (code != kDefineFont && codeOffset > 0 && codeOffset < table.size()) {
        Reader codes(table.subspan(codeOffset));
        ReadCodesAndLayout(codes, *font, offsets.size(), (flags & 0x04) != 0, (flags & 0x80) != 0, budget);
    }
    return font;
}

void ParseFontInfo(Reader& r, int code, FontCharacter& font, MemoryBudget& budget) {
    auto name = r.Take(r.U8());
    uint8_t flags = r.U8();
    if (code == kDefineFontInfo2) r.U8();   // the language
    if (r.Failed()) return;
    font.name.assign(name.begin(), name.end());
    while (!font.name.empty() && font.name.back() == '\0') font.name.pop_back();
    font.bold = (flags & 0x02) != 0;
    font.italic = (flags & 0x04) != 0;
    font.codes.clear();
    ReadCodesAndLayout(r, font, font.glyphs.size(), (flags & 0x01) != 0, false, budget);
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
    TextRun base;
    if (first & 0x01) text->editFont = base.font = r.U16();
    if (second & 0x80) base.face = r.String();   // a font class, looked for by name
    if ((first & 0x01) || (second & 0x80)) text->editHeight = base.height = r.U16();
    if (first & 0x04) text->editColor = base.color = r.ReadRgba();
    if (first & 0x02) r.U16();   // the longest text typed in
    if (second & 0x20) {
        uint8_t align = r.U8();
        base.align = align <= 3 ? static_cast<TextAlign>(align) : TextAlign::Left;
        text->leftMargin = r.U16();
        text->rightMargin = r.U16();
        text->indent = r.U16();
        text->leading = r.S16();
    }
    r.String();   // the variable name
    std::string initial;
    if (first & 0x80) initial = r.String();
    if (r.Failed()) {
        error = "broken edit text";
        return nullptr;
    }
    text->wordWrap = (first & 0x40) != 0;
    text->multiline = (first & 0x20) != 0;
    text->useOutlines = (second & 0x01) != 0;
    text->editBorder = (second & 0x08) != 0;
    if (second & 0x02) {
        text->runs = HtmlRuns(base).Parse(initial);
    } else if (!initial.empty()) {
        // Plain text breaks its lines at CR, LF or both.
        std::string lines;
        for (size_t i = 0; i < initial.size(); ++i) {
            if (initial[i] == '\r' && i + 1 < initial.size() && initial[i + 1] == '\n') continue;
            lines += initial[i] == '\r' ? '\n' : initial[i];
        }
        base.text = std::move(lines);
        text->runs.push_back(std::move(base));
    }
    if (first & 0x10)
        for (TextRun& run : text->runs) run.text = Stars(run.text);
    for (const TextRun& run : text->runs) text->editText += run.text;
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
