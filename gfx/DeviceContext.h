#pragma once
// The drawing interface the engine plays through: a device context with a
// selected bitmap, pen and font, block transfers between contexts, solid
// fills, lines and text, with the semantics the show relies on from GDI.
//
// It is abstract so that tests can put a recording double in place of the
// screen. SurfaceContext (gfx/SurfaceContext.h) is the real one.
//
// Rules every implementation keeps:
//  - every operation clips to the source and the destination surface;
//  - negative or empty sizes draw nothing;
//  - bad coordinates or texts never crash;
//  - texts are UTF-8 (invalid sequences are drawn as U+FFFD).

#include "gfx/Color.h"
#include "gfx/Font.h"
#include "gfx/Geometry.h"
#include "gfx/Pen.h"
#include "gfx/Surface.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

namespace showsaver::gfx {

// Background mode of text and styled lines.
enum class BkMode : int32_t {
    Transparent = 1,   // only glyphs and dashes are drawn
    Opaque = 2,        // text cells and the gaps of styled lines are filled with the background colour
};

// DrawText format flags, with the values a show stores.
struct DrawTextFormat {
    static constexpr uint32_t kLeft = 0x0;
    static constexpr uint32_t kCenter = 0x1;
    static constexpr uint32_t kRight = 0x2;
    static constexpr uint32_t kVCenter = 0x4;      // with kSingleLine
    static constexpr uint32_t kBottom = 0x8;       // with kSingleLine
    static constexpr uint32_t kSingleLine = 0x20;  // line breaks are drawn as spaces
    static constexpr uint32_t kNoClip = 0x100;
    static constexpr uint32_t kCalcRect = 0x400;   // measure only: sets rect.right and rect.bottom
    static constexpr uint32_t kNoPrefix = 0x800;   // '&' is drawn as it is
};

class DeviceContext {
public:
    virtual ~DeviceContext() = default;

    // Selects `bitmap` into a memory context and returns the one selected
    // before. Null selects the context's own 1 × 1 default bitmap, and null
    // is returned when that default was selected. A screen context keeps its
    // surface: it ignores the call and returns null.
    virtual std::shared_ptr<Surface> SelectBitmap(std::shared_ptr<Surface> bitmap) = 0;
    // Selects a pen and returns the previous one. A new context has a solid
    // black pen of width 1.
    virtual Pen SelectPen(const Pen& pen) = 0;
    // Selects a font and returns the previous one; null means the context's
    // default font (FontSpec{}), which a new context has selected.
    virtual std::shared_ptr<Font> SelectFont(std::shared_ptr<Font> font) = 0;

    // Copies w × h pixels from (sx, sy) of `source` to (x, y) of this
    // context. Only the part inside both surfaces is copied; the rest of the
    // destination stays as it was. Source and destination may overlap.
    virtual void BitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) = 0;
    // Scales sw × sh pixels from (sx, sy) of `source` onto w × h pixels at
    // (x, y), nearest neighbour. Destination pixels whose source pixel lies
    // outside the source surface stay as they were.
    virtual void StretchBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy,
                            int sw, int sh) = 0;
    // Fills `rect` (right and bottom exclusive) with a solid colour.
    virtual void FillSolid(const Rect& rect, ColorRef color) = 0;

    // Moves the current position and returns the previous one.
    virtual Point MoveTo(int x, int y) = 0;
    // Draws a line with the selected pen from the current position to (x, y)
    // and makes (x, y) the current position. A pen of width 1 leaves out the
    // end point; wider pens have round ends.
    virtual void LineTo(int x, int y) = 0;

    // Each returns the previous value. A new context draws black text on an
    // opaque white background.
    virtual ColorRef SetTextColor(ColorRef color) = 0;
    virtual ColorRef SetBkColor(ColorRef color) = 0;
    virtual BkMode SetBkMode(BkMode mode) = 0;

    // The advance width of `text` drawn on one line with the selected font
    // (line breaks are not interpreted), and the font's cell height.
    virtual Size GetTextExtent(std::string_view text) = 0;
    virtual FontMetrics GetTextMetrics() = 0;
    // Draws `text` into `rect`: lines split at CR LF (or a lone CR or LF; a
    // break at the very end starts no line), one cell height apart from
    // rect.top, each aligned by the format flags. An opaque background fills
    // each line's text cell (advance width × cell height), not the rectangle.
    // '&' marks the next character as underlined ("&&" draws '&') unless
    // kNoPrefix is given. With kCalcRect nothing is drawn and rect.right and
    // rect.bottom are set to bound the text. Returns the text's height (with
    // kVCenter or kBottom, its bottom's offset from rect.top).
    virtual int DrawText(std::string_view text, Rect& rect, uint32_t format) = 0;

    // The size of the screen this context belongs to (HORZRES × VERTRES).
    virtual Size ScreenSize() const = 0;
    // A new memory context for the same screen with its 1 × 1 default bitmap.
    virtual std::unique_ptr<DeviceContext> CreateCompatible() const = 0;
    // The surface drawn into: the selected bitmap or the screen. Null for a
    // context without pixels (a test double).
    virtual Surface* Target() = 0;
};

// Selects a bitmap, pen or font for the life of the guard and selects the
// previous one back when the guard ends, on every path out of a scope.
class [[nodiscard]] ScopedSelection {
public:
    ScopedSelection(DeviceContext& dc, std::shared_ptr<Surface> bitmap)
        : m_dc(dc), m_kind(Kind::Bitmap), m_bitmap(dc.SelectBitmap(std::move(bitmap))) {}
    ScopedSelection(DeviceContext& dc, const Pen& pen)
        : m_dc(dc), m_kind(Kind::Pen), m_pen(dc.SelectPen(pen)) {}
    ScopedSelection(DeviceContext& dc, std::shared_ptr<Font> font)
        : m_dc(dc), m_kind(Kind::Font), m_font(dc.SelectFont(std::move(font))) {}
    ~ScopedSelection() {
        switch (m_kind) {
        case Kind::Bitmap: m_dc.SelectBitmap(std::move(m_bitmap)); break;
        case Kind::Pen: m_dc.SelectPen(m_pen); break;
        case Kind::Font: m_dc.SelectFont(std::move(m_font)); break;
        }
    }
    ScopedSelection(const ScopedSelection&) = delete;
    ScopedSelection& operator=(const ScopedSelection&) = delete;

private:
    enum class Kind { Bitmap, Pen, Font };
    DeviceContext& m_dc;
    Kind m_kind;
    std::shared_ptr<Surface> m_bitmap;
    Pen m_pen;
    std::shared_ptr<Font> m_font;
};

} // namespace showsaver::gfx
