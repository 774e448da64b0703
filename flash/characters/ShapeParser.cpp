// DefineShape 1-4, DefineMorphShape/2 and glyph outlines: style lists, then
// bit-packed shape records (style changes, straight and curved edges).

#include "flash/characters/Parsers.h"

namespace showsaver::flash {
namespace {

constexpr uint8_t kSolid = 0x00, kLinear = 0x10, kRadial = 0x12, kFocal = 0x13;

Gradient ParseGradient(Reader& r, int version, bool focal) {
    Gradient g;
    // The reserved spread mode pads.
    const uint32_t spread = r.Bits(2);
    g.spread = spread == 3 ? Spread::Pad : static_cast<Spread>(spread);
    g.linearRgb = r.Bits(2) == 1;
    size_t count = r.Bits(4);
    for (size_t i = 0; i < count && i < Limits::kMaxGradientStops; ++i) {
        GradientStop stop;
        stop.ratio = r.U8();
        stop.color = r.ReadColor(version >= 3);
        g.stops.push_back(stop);
    }
    if (focal) g.focal = std::clamp(r.S16() / 256.0, -1.0, 1.0);
    return g;
}

// The style lists' counts: one byte, or 0xFF then a u16 from version 2 on.
size_t ReadCount(Reader& r, int version) {
    size_t count = r.U8();
    if (count == 0xFF && version >= 2) count = r.U16();
    return count;
}

struct Styles {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
};

size_t StyleBytes(const FillStyle& fill) { return sizeof(FillStyle) + fill.gradient.stops.size() * sizeof(GradientStop); }

// Each style is charged as it is read; one the budget cannot cover breaks
// the shape (`ok` false).
Styles ParseStyles(Reader& r, int version, MemoryBudget& budget, bool& ok) {
    Styles styles;
    size_t fills = ReadCount(r, version);
    for (size_t i = 0; i < fills && !r.Failed() && ok; ++i) {
        styles.fills.push_back(ParseFillStyle(r, version));
        ok = budget.Charge(StyleBytes(styles.fills.back()));
    }
    size_t lines = ReadCount(r, version);
    for (size_t i = 0; i < lines && !r.Failed() && ok; ++i) {
        styles.lines.push_back(ParseLineStyle(r, version));
        ok = budget.Charge(sizeof(LineStyle) + StyleBytes(styles.lines.back().fill));
    }
    return styles;
}

// Reads shape records into layers. `styled` false for glyphs and the end
// shape of a morph, whose records carry no style lists.
class RecordReader {
public:
    RecordReader(Reader& r, int version, MemoryBudget& budget) : m_r(r), m_version(version), m_budget(budget) {}

    // Reads until the end record; false when the data breaks or is too big.
    bool Read(std::vector<StyledEdge>& edges, std::vector<size_t>* layerStarts, std::vector<Styles>* styles) {
        m_fillBits = static_cast<int>(m_r.Bits(4));
        m_lineBits = static_cast<int>(m_r.Bits(4));
        while (!m_r.Failed()) {
            if (edges.size() >= Limits::kMaxEdgesPerShape || !m_budget.Charge(sizeof(StyledEdge))) return false;
            if (m_r.Flag()) {
                edges.push_back({ReadEdge(), m_fill0, m_fill1, m_line});
                continue;
            }
            uint32_t flags = m_r.Bits(5);
            if (flags == 0) return true;
            if (!StyleChange(flags, edges, layerStarts, styles)) return false;
        }
        return false;
    }

private:
    Edge ReadEdge() {
        Point from = m_pen;
        bool straight = m_r.Flag();
        int bits = static_cast<int>(m_r.Bits(4)) + 2;
        if (straight) {
            int32_t dx = 0, dy = 0;
            if (m_r.Flag()) {
                dx = m_r.SignedBits(bits);
                dy = m_r.SignedBits(bits);
            } else if (m_r.Flag()) {
                dy = m_r.SignedBits(bits);
            } else {
                dx = m_r.SignedBits(bits);
            }
            m_pen = {from.x + dx, from.y + dy};
            return {from, {(from.x + m_pen.x) / 2, (from.y + m_pen.y) / 2}, m_pen, false};
        }
        Point control{from.x + m_r.SignedBits(bits), from.y + m_r.SignedBits(bits)};
        m_pen = {control.x + m_r.SignedBits(bits), control.y + m_r.SignedBits(bits)};
        return {from, control, m_pen, true};
    }

    bool StyleChange(uint32_t flags, std::vector<StyledEdge>& edges, std::vector<size_t>* layerStarts,
                     std::vector<Styles>* styles) {
        if (flags & 1) {
            int bits = static_cast<int>(m_r.Bits(5));
            m_pen.x = m_r.SignedBits(bits);
            m_pen.y = m_r.SignedBits(bits);
        }
        if (flags & 2) m_fill0 = static_cast<uint16_t>(m_r.Bits(m_fillBits));
        if (flags & 4) m_fill1 = static_cast<uint16_t>(m_r.Bits(m_fillBits));
        if (flags & 8) m_line = static_cast<uint16_t>(m_r.Bits(m_lineBits));
        if (flags & 16) {
            if (!styles || !layerStarts) return false;
            bool ok = true;
            styles->push_back(ParseStyles(m_r, m_version, m_budget, ok));
            if (!ok) return false;
            layerStarts->push_back(edges.size());
            m_fillBits = static_cast<int>(m_r.Bits(4));
            m_lineBits = static_cast<int>(m_r.Bits(4));
        }
        return true;
    }

    Reader& m_r;
    int m_version;
    MemoryBudget& m_budget;
    int m_fillBits = 0, m_lineBits = 0;
    uint16_t m_fill0 = 0, m_fill1 = 0, m_line = 0;
    Point m_pen;
};

// A morph's styles interleave the start and end values of every field.
MorphFill ParseMorphFill(Reader& r) {
    MorphFill fill;
    uint8_t type = r.U8();
    if (type == kSolid) {
        fill.start.color = r.ReadRgba();
        fill.end.color = r.ReadRgba();
    } else if (type == kLinear || type == kRadial || type == kFocal) {
        FillKind kind = type == kLinear ? FillKind::Linear : type == kRadial ? FillKind::Radial : FillKind::Focal;
        fill.start.kind = fill.end.kind = kind;
        fill.start.matrix = r.ReadMatrix();
        fill.end.matrix = r.ReadMatrix();
        // Spread and interpolation as in a shape's gradient; a focal one
        // ends with the focal point of each end.
        const uint8_t flags = r.U8();
        const uint32_t spread = flags >> 6;
        fill.start.gradient.spread = fill.end.gradient.spread = spread == 3 ? Spread::Pad : static_cast<Spread>(spread);
        fill.start.gradient.linearRgb = fill.end.gradient.linearRgb = (flags >> 4 & 3) == 1;
        size_t count = flags & 0x0F;
        for (size_t i = 0; i < count; ++i) {
            GradientStop a, b;
            a.ratio = r.U8();
            a.color = r.ReadRgba();
            b.ratio = r.U8();
            b.color = r.ReadRgba();
            fill.start.gradient.stops.push_back(a);
            fill.end.gradient.stops.push_back(b);
        }
        if (type == kFocal) {
            fill.start.gradient.focal = std::clamp(r.S16() / 256.0, -1.0, 1.0);
            fill.end.gradient.focal = std::clamp(r.S16() / 256.0, -1.0, 1.0);
        }
    } else if (type >= 0x40 && type <= 0x43) {
        fill.start.kind = fill.end.kind = FillKind::Bitmap;
        fill.start.bitmapId = fill.end.bitmapId = r.U16();
        fill.start.matrix = r.ReadMatrix();
        fill.end.matrix = r.ReadMatrix();
        fill.start.repeat = fill.end.repeat = (type & 1) == 0;
        fill.start.smooth = fill.end.smooth = (type & 2) == 0;
    } else {
        r.Skip(r.Remaining());
    }
    return fill;
}

MorphLine ParseMorphLine(Reader& r, int version) {
    MorphLine line;
    line.start.width = r.U16();
    line.end.width = r.U16();
    if (version == 2) {
        line.start.cap = static_cast<Cap>(std::min<uint32_t>(r.Bits(2), 2));
        line.start.join = static_cast<Join>(std::min<uint32_t>(r.Bits(2), 2));
        line.start.hasFill = r.Flag();
        line.start.noHScale = r.Flag();
        line.start.noVScale = r.Flag();
        line.start.pixelHinting = r.Flag();
        r.Bits(5);
        line.start.noClose = r.Flag();
        line.start.endCap = static_cast<Cap>(std::min<uint32_t>(r.Bits(2), 2));
        if (line.start.join == Join::Miter) line.start.miterLimit = r.U16() / 256.0;
        double endWidth = line.end.width;
        line.end = line.start;
        line.end.width = endWidth;
        if (line.start.hasFill) {
            MorphFill fill = ParseMorphFill(r);
            line.start.fill = fill.start;
            line.end.fill = fill.end;
            return line;
        }
    }
    line.start.color = r.ReadRgba();
    line.end.color = r.ReadRgba();
    return line;
}

} // namespace

FillStyle ParseFillStyle(Reader& r, int version) {
    FillStyle fill;
    uint8_t type = r.U8();
    if (type == kSolid) {
        fill.color = r.ReadColor(version >= 3);
    } else if (type == kLinear || type == kRadial || type == kFocal) {
        fill.kind = type == kLinear ? FillKind::Linear : type == kRadial ? FillKind::Radial : FillKind::Focal;
        fill.matrix = r.ReadMatrix();
        fill.gradient = ParseGradient(r, version, type == kFocal);
    } else if (type >= 0x40 && type <= 0x43) {
        fill.kind = FillKind::Bitmap;
        fill.bitmapId = r.U16();
        fill.matrix = r.ReadMatrix();
        fill.repeat = (type & 1) == 0;
        fill.smooth = (type & 2) == 0;
    } else {
        r.Skip(r.Remaining());   // an unknown fill type: the rest cannot be read
    }
    return fill;
}

LineStyle ParseLineStyle(Reader& r, int version) {
    LineStyle line;
    line.width = r.U16();
    if (version < 4) {
        line.color = r.ReadColor(version >= 3);
        return line;
    }
    line.cap = static_cast<Cap>(std::min<uint32_t>(r.Bits(2), 2));
    line.join = static_cast<Join>(std::min<uint32_t>(r.Bits(2), 2));
    line.hasFill = r.Flag();
    line.noHScale = r.Flag();
    line.noVScale = r.Flag();
    line.pixelHinting = r.Flag();
    r.Bits(5);
    line.noClose = r.Flag();
    line.endCap = static_cast<Cap>(std::min<uint32_t>(r.Bits(2), 2));
    if (line.join == Join::Miter) line.miterLimit = r.U16() / 256.0;
    if (line.hasFill)
        line.fill = ParseFillStyle(r, version);
    else
        line.color = r.ReadRgba();
    return line;
}

std::unique_ptr<ShapeCharacter> ParseShape(Reader& r, int version, MemoryBudget& budget, std::string& error) {
    auto shape = std::make_unique<ShapeCharacter>();
    shape->shape.bounds = r.ReadRect();
    if (version == 4) {
        r.ReadRect();   // edge bounds
        shape->shape.nonZero = (r.U8() & 4) != 0;
    }
    bool stylesOk = true;
    std::vector<Styles> styles{ParseStyles(r, version, budget, stylesOk)};
    if (!stylesOk) {
        error = "shape too large";
        return nullptr;
    }
    std::vector<size_t> starts{0};
    std::vector<StyledEdge> edges;
    RecordReader records(r, version, budget);
    bool complete = records.Read(edges, &starts, &styles);
    if (!complete && edges.empty()) {
        error = "broken shape records";
        return nullptr;
    }
    starts.push_back(edges.size());
    for (size_t i = 0; i < styles.size(); ++i) {
        if (!budget.Charge(2 * sizeof(Edge) * (starts[i + 1] - starts[i]))) {
            error = "shape too large";
            return nullptr;
        }
        ShapeLayer layer;
        layer.fills = std::move(styles[i].fills);
        layer.lines = std::move(styles[i].lines);
        std::vector<StyledEdge> part(edges.begin() + starts[i], edges.begin() + starts[i + 1]);
        BuildPaths(layer, part);
        shape->shape.layers.push_back(std::move(layer));
    }
    return shape;
}

std::optional<Shape> ParseGlyph(Reader& r, MemoryBudget& budget, std::string& error) {
    std::vector<StyledEdge> edges;
    RecordReader records(r, 1, budget);
    if (!records.Read(edges, nullptr, nullptr) && edges.empty()) {
        error = "broken glyph";
        return std::nullopt;
    }
    Shape shape;
    ShapeLayer layer;
    layer.fills.resize(1);
    BuildPaths(layer, edges);
    shape.layers.push_back(std::move(layer));
    return shape;
}

std::unique_ptr<MorphCharacter> ParseMorph(Reader& r, int version, MemoryBudget& budget, std::string& error) {
    auto morph = std::make_unique<MorphCharacter>();
    r.ReadRect();
    r.ReadRect();
    if (version == 2) {
        r.ReadRect();
        r.ReadRect();
        r.U8();
    }
    uint32_t offset = r.U32();
    size_t endStart = r.Position() + offset;
    size_t fills = ReadCount(r, 2);
    bool charged = true;
    for (size_t i = 0; i < fills && !r.Failed() && charged; ++i) {
        morph->fills.push_back(ParseMorphFill(r));
        charged = budget.Charge(StyleBytes(morph->fills.back().start) + StyleBytes(morph->fills.back().end));
    }
    size_t lines = ReadCount(r, 2);
    for (size_t i = 0; i < lines && !r.Failed() && charged; ++i) {
        morph->lines.push_back(ParseMorphLine(r, version));
        charged = budget.Charge(sizeof(MorphLine) + StyleBytes(morph->lines.back().start.fill) * 2);
    }
    if (!charged) {
        error = "morph shape too large";
        return nullptr;
    }
    RecordReader startRecords(r, 3, budget);
    bool ok = startRecords.Read(morph->start, nullptr, nullptr);
    if (endStart > r.Bytes().size()) ok = false;
    if (ok) {
        Reader endReader(r.Bytes().subspan(endStart));
        RecordReader endRecords(endReader, 3, budget);
        ok = endRecords.Read(morph->end, nullptr, nullptr);
    }
    if (!ok || morph->start.size() != morph->end.size()) {
        error = "broken morph shape edges";
        return nullptr;
    }
    // The end shape's records carry no styles: they come from the start.
    for (size_t i = 0; i < morph->end.size(); ++i) {
        morph->end[i].fill0 = morph->start[i].fill0;
        morph->end[i].fill1 = morph->start[i].fill1;
        morph->end[i].line = morph->start[i].line;
    }
    return morph;
}

} // namespace showsaver::flash
