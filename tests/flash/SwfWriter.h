#pragma once
// Builds Flash movies tag by tag for the tests: bit-packed records, the
// tags the player reads, and the three containers (plain, zlib, LZMA).

#include <lzma.h>
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace showsaver::flash::test {

using Bytes = std::vector<uint8_t>;

class Bits {
public:
    void Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (m_used == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= uint8_t(0x80 >> m_used);
            m_used = (m_used + 1) % 8;
        }
    }
    void Signed(int32_t value, int count) { Put(static_cast<uint32_t>(value) & ((count == 32) ? ~0u : ((1u << count) - 1)), count); }
    void Align() { m_used = 0; }
    void U8(uint8_t v) { Align(), m_bytes.push_back(v); }
    void U16(uint16_t v) { U8(v & 0xFF), U8(v >> 8); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Append(const Bytes& b) { Align(), m_bytes.insert(m_bytes.end(), b.begin(), b.end()); }
    void String(const std::string& s) { Append(Bytes(s.begin(), s.end())), U8(0); }
    void Rgb(uint32_t c) { U8(c >> 16), U8(c >> 8), U8(c); }
    void Rgba(uint32_t c, uint8_t a) { Rgb(c), U8(a); }
    // Twips; every field 20 bits wide (enough for ±26 000 px).
    void Rect(int x0, int x1, int y0, int y1) {
        Align();
        Put(20, 5), Signed(x0, 20), Signed(x1, 20), Signed(y0, 20), Signed(y1, 20);
        Align();
    }
    void Matrix(double sx, double sy, double r0, double r1, int tx, int ty) {
        Align();
        bool scale = sx != 1 || sy != 1, rotate = r0 != 0 || r1 != 0;
        Put(scale, 1);
        if (scale) Put(31, 5), Signed(int32_t(std::lround(sx * 65536)), 31), Signed(int32_t(std::lround(sy * 65536)), 31);
        Put(rotate, 1);
        if (rotate) Put(31, 5), Signed(int32_t(std::lround(r0 * 65536)), 31), Signed(int32_t(std::lround(r1 * 65536)), 31);
        Put(24, 5), Signed(tx, 24), Signed(ty, 24);
        Align();
    }
    void Translate(int tx, int ty) { Matrix(1, 1, 0, 0, tx, ty); }
    Bytes& Data() { return m_bytes; }

private:
    Bytes m_bytes;
    int m_used = 0;
};

inline Bytes Zlib(const Bytes& in) {
    uLongf size = compressBound(in.size());
    Bytes out(size);
    compress(out.data(), &size, in.data(), in.size());
    out.resize(size);
    return out;
}

class SwfWriter {
public:
    SwfWriter(int widthPx, int heightPx, double fps, int frames) : m_width(widthPx), m_height(heightPx), m_fps(fps), m_frames(frames) {}

    void Tag(int code, const Bytes& body) {
        Bits b;
        if (body.size() < 0x3F && code != 20 && code != 36 && code != 6 && code != 21 && code != 35) {
            b.U16(uint16_t(code << 6 | body.size()));
        } else {
            b.U16(uint16_t(code << 6 | 0x3F));
            b.U32(uint32_t(body.size()));
        }
        b.Append(body);
        m_tags.insert(m_tags.end(), b.Data().begin(), b.Data().end());
    }
    void Background(uint32_t rgb) { Bits b; b.Rgb(rgb); Tag(9, b.Data()); }
    void ShowFrame() { Tag(1, {}); }
    void Label(const std::string& name) { Bits b; b.String(name); Tag(43, b.Data()); }
    void Remove(uint16_t depth) { Bits b; b.U16(depth); Tag(28, b.Data()); }
    // PlaceObject2; `move` modifies what the depth shows.
    void Place(uint16_t depth, int id, int tx, int ty, bool move = false, int ratio = -1, int clipDepth = 0,
               const std::string& name = {}) {
        Bits b;
        b.U8(uint8_t((move ? 1 : 0) | (id >= 0 ? 2 : 0) | 4 | (ratio >= 0 ? 0x10 : 0) | (name.empty() ? 0 : 0x20) |
                     (clipDepth ? 0x40 : 0)));
        b.U16(depth);
        if (id >= 0) b.U16(uint16_t(id));
        b.Translate(tx, ty);
        if (ratio >= 0) b.U16(uint16_t(ratio));
        if (!name.empty()) b.String(name);
        if (clipDepth) b.U16(uint16_t(clipDepth));
        Tag(26, b.Data());
    }
    void Actions(const Bytes& code) { Bytes c = code; c.push_back(0); Tag(12, c); }
    void End() { Tag(0, {}); }

    Bytes Fws() const { return Container('F', Body(), Body().size()); }
    Bytes Cws() const { return Container('C', Zlib(Body()), Body().size()); }
    Bytes Zws() const {
        Bytes body = Body();
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 6);
        lzma_stream s = LZMA_STREAM_INIT;
        if (lzma_alone_encoder(&s, &options) != LZMA_OK) return {};
        Bytes out(body.size() * 2 + 1024);
        s.next_in = body.data(), s.avail_in = body.size(), s.next_out = out.data(), s.avail_out = out.size();
        if (lzma_code(&s, LZMA_FINISH) != LZMA_STREAM_END) out.clear();
        if (!out.empty()) out.resize(out.size() - s.avail_out);
        lzma_end(&s);
        // .lzma: 5 property bytes, 8 size bytes, data. ZWS: its size, the properties, the data.
        Bits z;
        z.U32(uint32_t(out.size() - 13));
        z.Append(Bytes(out.begin(), out.begin() + 5));
        z.Append(Bytes(out.begin() + 13, out.end()));
        return Container('Z', z.Data(), body.size());
    }
    Bytes Tags() const { return m_tags; }

private:
    Bytes Body() const {
        Bits b;
        b.Rect(0, m_width * 20, 0, m_height * 20);
        b.U16(uint16_t(std::lround(m_fps * 256)));
        b.U16(uint16_t(m_frames));
        b.Append(m_tags);
        return b.Data();
    }
    static Bytes Container(char kind, const Bytes& payload, size_t plainSize) {
        Bits b;
        b.U8(uint8_t(kind)), b.U8('W'), b.U8('S'), b.U8(10);
        b.U32(uint32_t(8 + plainSize));
        b.Append(payload);
        return b.Data();
    }

    int m_width, m_height;
    double m_fps;
    int m_frames;
    Bytes m_tags;
};

// Shape records: 2 fill bits and 1 line bit throughout; edges of ±3 200 px.
inline void StyleChange(Bits& b, int x, int y, int fill0, int fill1, int line = 0) {
    b.Put(0, 1), b.Put(0, 1), b.Put(1, 1), b.Put(1, 1), b.Put(1, 1), b.Put(1, 1);   // line, fill1, fill0, move
    b.Put(20, 5), b.Signed(x, 20), b.Signed(y, 20);
    b.Put(uint32_t(fill0), 2), b.Put(uint32_t(fill1), 2), b.Put(uint32_t(line), 1);
}
inline void LineTo(Bits& b, int dx, int dy) {
    b.Put(1, 1), b.Put(1, 1), b.Put(15, 4), b.Put(1, 1), b.Signed(dx, 17), b.Signed(dy, 17);
}
inline void CurveTo(Bits& b, int cx, int cy, int ax, int ay) {
    b.Put(1, 1), b.Put(0, 1), b.Put(15, 4), b.Signed(cx, 17), b.Signed(cy, 17), b.Signed(ax, 17), b.Signed(ay, 17);
}
inline void EndShape(Bits& b) { b.Put(0, 6), b.Align(); }
inline void Box(Bits& b, int x0, int y0, int x1, int y1, int fill0, int fill1, int line = 0) {
    StyleChange(b, x0, y0, fill0, fill1, line);
    LineTo(b, x1 - x0, 0), LineTo(b, 0, y1 - y0), LineTo(b, x0 - x1, 0), LineTo(b, 0, y0 - y1);
}

// A DefineShape3 of one rectangle in twips, with the fill style that
// `fill` writes (a FILLSTYLE record).
template <typename Fill>
Bytes RectShape(uint16_t id, int x0, int y0, int x1, int y1, Fill fill) {
    Bits b;
    b.U16(id);
    b.Rect(x0, x1, y0, y1);
    b.U8(1);
    fill(b);
    b.U8(0);
    b.Put(2, 4), b.Put(1, 4);
    Box(b, x0, y0, x1, y1, 0, 1);
    EndShape(b);
    return b.Data();
}
inline auto Solid(uint32_t rgb, uint8_t alpha = 255) {
    return [=](Bits& b) { b.U8(0), b.Rgba(rgb, alpha); };
}
// The solid fill of DefineShape and DefineShape2, which have no alpha.
inline auto SolidRgb(uint32_t rgb) {
    return [=](Bits& b) { b.U8(0), b.Rgb(rgb); };
}
// Gradient square ±16384 twips scaled to `half` twips and centred at (cx, cy).
inline auto Radial(int cx, int cy, int half, uint32_t inner, uint32_t outer) {
    return [=](Bits& b) {
        b.U8(0x12);
        b.Matrix(half / 16384.0, half / 16384.0, 0, 0, cx, cy);
        b.Put(0, 2), b.Put(0, 2), b.Put(2, 4);
        b.U8(0), b.Rgba(inner, 255), b.U8(255), b.Rgba(outer, 255);
    };
}
// A bitmap fill whose pixels are `scale` twips wide, from (x, y).
inline auto BitmapFill(uint16_t bitmap, double scale, int x, int y, uint8_t type = 0x41) {
    return [=](Bits& b) { b.U8(type), b.U16(bitmap), b.Matrix(scale, scale, 0, 0, x, y); };
}

// DefineBitsLossless (code 20) or Lossless2 (36) of one colour: `format` 3
// (colour-mapped), 4 (15-bit, code 20 only) or 5 (32-bit).
inline Bytes Lossless(uint16_t id, int code, int format, int w, int h, uint32_t rgb, uint8_t alpha = 255) {
    const bool two = code == 36;
    Bytes pixels;
    auto premul = [&](uint32_t c) { return uint8_t(two ? (c * alpha + 127) / 255 : c); };
    uint8_t r = uint8_t(rgb >> 16), g = uint8_t(rgb >> 8), b = uint8_t(rgb);
    if (format == 3) {
        pixels = {premul(r), premul(g), premul(b)};   // Lossless2's table is premultiplied too
        if (two) pixels.push_back(alpha);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < ((w + 3) & ~3); ++x) pixels.push_back(0);
    } else if (format == 4) {
        uint16_t v = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < ((2 * w + 3) & ~3) / 2; ++x) pixels.push_back(uint8_t(v >> 8)), pixels.push_back(uint8_t(v));
    } else {
        for (int i = 0; i < w * h; ++i)
            pixels.insert(pixels.end(), {two ? alpha : uint8_t(255), premul(r), premul(g), premul(b)});
    }
    Bits out;
    out.U16(id), out.U8(uint8_t(format)), out.U16(uint16_t(w)), out.U16(uint16_t(h));
    if (format == 3) out.U8(0);
    out.Append(Zlib(pixels));
    return out.Data();
}

// DefineVideoStream (60): `flags` holds the deblocking (bits 1-3) and
// smoothing (bit 0) fields; VideoFrame (61) carries one frame's packet.
inline Bytes VideoStream(uint16_t id, int frames, int width, int height, int codec, uint8_t flags = 0) {
    Bits b;
    b.U16(id), b.U16(uint16_t(frames)), b.U16(uint16_t(width)), b.U16(uint16_t(height)), b.U8(flags), b.U8(uint8_t(codec));
    return b.Data();
}
inline Bytes VideoFrame(uint16_t id, int frame, const Bytes& packet) {
    Bits b;
    b.U16(id), b.U16(uint16_t(frame)), b.Append(packet);
    return b.Data();
}
// PlaceObject2 with a scale: a new placement, or with `move` a change of
// the ratio (and matrix) alone.
inline Bytes PlaceScaled(uint16_t depth, int id, double scale, int ratio, bool move = false) {
    Bits b;
    b.U8(uint8_t((move ? 1 : 0) | (id >= 0 ? 2 : 0) | 4 | (ratio >= 0 ? 0x10 : 0)));
    b.U16(depth);
    if (id >= 0) b.U16(uint16_t(id));
    b.Matrix(scale, scale, 0, 0, 0, 0);
    if (ratio >= 0) b.U16(uint16_t(ratio));
    return b.Data();
}

// The body of a DefineFont2 (code 48) or DefineFont3 (75; its EM square
// 20 times larger, which `widths` and `ascent` must follow) named `name`:
// glyph i draws `codes[i]` as a box `widths[i]` EM units wide standing on
// the baseline, `ascent` high; its advance is its width.
inline Bytes BoxFont(uint16_t id, const std::string& name, const std::vector<uint16_t>& codes,
                     const std::vector<int>& widths, int ascent, int descent, bool bold = false) {
    std::vector<Bytes> glyphs;
    for (int w : widths) {
        Bits g;
        g.U8(0x21);   // 2 fill bits, 1 line bit
        Box(g, 0, -ascent, w, 0, 0, 1);
        EndShape(g);
        glyphs.push_back(g.Data());
    }
    Bits b;
    b.U16(id), b.U8(uint8_t(0x80 | 0x04 | (bold ? 0x01 : 0))), b.U8(0), b.U8(uint8_t(name.size()));
    b.Append(Bytes(name.begin(), name.end()));
    b.U16(uint16_t(glyphs.size()));
    size_t offset = 2 * glyphs.size() + 2;
    for (const Bytes& g : glyphs) b.U16(uint16_t(offset)), offset += g.size();
    b.U16(uint16_t(offset));   // the code table's
    for (const Bytes& g : glyphs) b.Append(g);
    for (uint16_t c : codes) b.U16(c);
    b.U16(uint16_t(ascent)), b.U16(uint16_t(descent)), b.U16(0);
    for (int w : widths) b.U16(uint16_t(w));
    for (int w : widths) b.Rect(0, w, -ascent, 0);
    b.U16(0);   // no kerning
    return b.Data();
}

// DefineEditText (37) over `bounds` (twips), in font `font` at `height`
// twips and colour `rgb`; `align` >= 0 adds a layout with that alignment.
struct EditField {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    uint16_t font = 0;
    int height = 240;
    uint32_t rgb = 0;
    bool html = false, outlines = false, border = false, wordWrap = false, multiline = true;
    int align = -1;
    std::string text;
};
inline Bytes EditText(uint16_t id, const EditField& f) {
    Bits b;
    b.U16(id);
    b.Rect(f.x0, f.x1, f.y0, f.y1);
    b.U8(uint8_t(0x80 | (f.wordWrap ? 0x40 : 0) | (f.multiline ? 0x20 : 0) | 0x04 | (f.font ? 0x01 : 0)));
    b.U8(uint8_t((f.align >= 0 ? 0x20 : 0) | (f.border ? 0x08 : 0) | (f.html ? 0x02 : 0) | (f.outlines ? 0x01 : 0)));
    if (f.font) b.U16(f.font), b.U16(uint16_t(f.height));
    b.Rgba(f.rgb, 255);
    if (f.align >= 0) b.U8(uint8_t(f.align)), b.U16(0), b.U16(0), b.U16(0), b.U16(0);
    b.String("");
    b.String(f.text);
    return b.Data();
}

// Splits a JPEG file into the tables (SOI, DQT and DHT segments, EOI) that
// a JPEGTables tag holds and the image (SOI, the other segments, the scan)
// that DefineBits holds.
inline std::pair<Bytes, Bytes> SplitJpeg(const Bytes& jpeg) {
    Bytes tables{0xFF, 0xD8}, image{0xFF, 0xD8};
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        uint8_t marker = jpeg[i + 1];
        size_t length = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        Bytes& to = (marker == 0xDB || marker == 0xC4) ? tables : image;
        if (marker == 0xDA) break;
        to.insert(to.end(), jpeg.begin() + long(i), jpeg.begin() + long(i + 2 + length));
        i += 2 + length;
    }
    image.insert(image.end(), jpeg.begin() + long(i), jpeg.end());
    tables.insert(tables.end(), {0xFF, 0xD9});
    return {tables, image};
}

// A movie with the SWF version in its header set to `version`.
inline Bytes WithVersion(Bytes movie, uint8_t version) {
    if (movie.size() > 3) movie[3] = version;
    return movie;
}

// ExportAssets: `id` under the linkage name `name`.
inline void ExportAsset(SwfWriter& w, uint16_t id, const std::string& name) {
    Bits b;
    b.U16(1), b.U16(id), b.String(name);
    w.Tag(56, b.Data());
}

// A DefineSprite of one frame that places shape `shape` at depth 1.
inline void SpriteOf(SwfWriter& w, uint16_t id, uint16_t shape) {
    SwfWriter sprite(0, 0, 0, 0);
    sprite.Place(1, shape, 0, 0);
    sprite.ShowFrame();
    sprite.End();
    Bits def;
    def.U16(id), def.U16(1), def.Append(sprite.Tags());
    w.Tag(39, def.Data());
}

// PlaceObject2 of `id` named `name` at (tx, ty) twips with one onClipEvent
// handler for `events` (1 load, 2 enterFrame, 4 unload) of a version 6+
// movie.
inline void PlaceWithClipEvent(SwfWriter& w, uint16_t depth, uint16_t id, int tx, int ty, const std::string& name,
                               uint32_t events, const Bytes& code) {
    Bits b;
    b.U8(0x02 | 0x04 | 0x20 | 0x80);
    b.U16(depth), b.U16(id);
    b.Translate(tx, ty);
    b.String(name);
    b.U16(0), b.U32(events);
    b.U32(events), b.U32(uint32_t(code.size() + 1));
    b.Append(code), b.U8(0);
    b.U32(0);
    w.Tag(26, b.Data());
}

} // namespace showsaver::flash::test

namespace showsaver::flash::test {

// PlaceObject3 of character `id` at (tx, ty) twips with a FILTERLIST
// (`filters`, empty for none) and a blend mode (0 for none).
inline Bytes PlaceObject3(uint16_t depth, uint16_t id, int tx, int ty, const Bytes& filters, int blend) {
    Bits b;
    b.U8(0x02 | 0x04), b.U8(uint8_t((filters.empty() ? 0 : 0x01) | (blend ? 0x02 : 0)));
    b.U16(depth), b.U16(id), b.Translate(tx, ty);
    if (!filters.empty()) b.Append(filters);
    if (blend) b.U8(uint8_t(blend));
    return b.Data();
}

// DefineSprite `id` of one frame whose control tags `placements` wrote
// (say with Tag(26, ...) or Tag(70, ...)), ShowFrame and End added.
inline Bytes SpriteOf(uint16_t id, SwfWriter placements) {
    placements.ShowFrame();
    placements.End();
    Bits b;
    b.U16(id), b.U16(1), b.Append(placements.Tags());
    return b.Data();
}

// FIXED 16.16 and FLOAT fields of filter records.
inline void Fixed(Bits& b, double v) { b.U32(static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536)))); }
inline void Float(Bits& b, float v) {
    b.U32(std::bit_cast<uint32_t>(v));
}

} // namespace showsaver::flash::test
