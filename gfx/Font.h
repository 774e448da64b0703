#pragma once
// Fonts described the way a show stores them (a LOGFONT's fields), resolved
// through fontconfig and drawn with Pango over cairo.
//
// Size rules of the description's height:
//   height < 0: the character (em) height is -height pixels;
//   height > 0: the cell height (ascent + descent) is height pixels;
//   height = 0: a default cell height of kDefaultCellHeight pixels.
// Weight 0 means normal (400); 700 is bold. Windows face names without an
// installed font of that name fall back to metric-compatible fonts: "Arial"
// through fontconfig's aliases, "MS Sans Serif" and the other dialog faces
// through our own table (fontconfig has no alias for them).

#include "gfx/Geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

typedef struct _PangoFontDescription PangoFontDescription;

namespace showsaver::gfx {

struct FontSpec {
    int32_t height = 0;
    int32_t width = 0;          // average character width; kept, text is drawn at its natural width
    int32_t escapement = 0;     // tenths of a degree; kept, text is drawn horizontally
    int32_t orientation = 0;
    int32_t weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charSet = 0;
    // 3 (non-antialiased) and any value with both low bits set draw hard
    // pixel edges; other values draw greyscale-antialiased glyphs.
    uint8_t quality = 0;
    std::string faceName;       // UTF-8

    FontSpec() = default;
    FontSpec(std::string face, int32_t height, int32_t weight = 0)
        : height(height), weight(weight), faceName(std::move(face)) {}
    FontSpec(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
             bool italic, bool underline, bool strikeOut, uint8_t charSet, uint8_t quality,
             std::string faceName)
        : height(height), width(width), escapement(escapement), orientation(orientation),
          weight(weight), italic(italic), underline(underline), strikeOut(strikeOut),
          charSet(charSet), quality(quality), faceName(std::move(faceName)) {}

    bool NonAntialiased() const { return (quality & 3) == 3; }
};

// What GetTextMetrics reports, in pixels.
struct FontMetrics {
    int ascent = 0;
    int descent = 0;
    int height = 0;            // ascent + descent: the cell height and the line height
    int internalLeading = 0;   // height - em height
    int averageCharWidth = 0;
    int maxCharWidth = 0;
};

class Font {
public:
    static constexpr int kDefaultCellHeight = 16;
    // Heights beyond this are clamped: no caption needs more, and Pango and
    // cairo lose precision long before.
    static constexpr int kMaxHeight = 4096;

    // Resolves `request` to an installed font. Null only when no font at all
    // can be loaded (no fonts installed).
    static std::shared_ptr<Font> Create(const FontSpec& request);

    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    ~Font();

    const FontSpec& Requested() const { return m_request; }
    const FontMetrics& Metrics() const { return m_metrics; }
    // The em height in pixels that the description resolved to.
    int EmHeight() const { return m_emHeight; }
    // The family of the installed font that was picked, e.g. "Liberation Sans".
    const std::string& ResolvedFamily() const { return m_family; }
    // The Pango description used to draw; owned by the font.
    const PangoFontDescription* Description() const { return m_description; }
    bool Antialiased() const { return !m_request.NonAntialiased(); }

    // The family list handed to fontconfig for a face name: the name itself,
    // then its stand-ins, then the generic sans fonts.
    static std::string FamilyListFor(const std::string& faceName);

private:
    Font(FontSpec request, PangoFontDescription* description);

    FontSpec m_request;
    PangoFontDescription* m_description = nullptr;
    FontMetrics m_metrics;
    int m_emHeight = 0;
    std::string m_family;
};

// Releases the calling thread's Pango font map (other threads' maps go when
// those threads end), so that a leak checker at process end reports no
// fonts. Call it last, on the main thread, after every other thread that
// drew text has ended. fontconfig still keeps a few hundred bytes of its
// parsed configuration that it never frees; leak checks suppress them.
void ReleaseTextCaches();

} // namespace showsaver::gfx
