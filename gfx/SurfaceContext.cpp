#include "gfx/SurfaceContext.h"

#include "gfx/LineDrawing.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace showsaver::gfx {

namespace {

// A copy of a w × h block, clipped: `dest` on the destination surface and
// the source pixel that goes to its top-left corner.
struct ClippedCopy {
    Rect dest;
    int sourceX = 0;
    int sourceY = 0;
};

// Clips a copy of w × h pixels from (sx, sy) to (x, y) to both surfaces. The
// arithmetic is 64-bit so that no coordinate can overflow.
ClippedCopy ClipCopy(int x, int y, int w, int h, Size destSize, int sx, int sy, Size sourceSize) {
    if (w <= 0 || h <= 0) return {};
    int64_t offsetX = int64_t{x} - sx, offsetY = int64_t{y} - sy;   // dest = source + offset
    int64_t left = std::max({int64_t{x}, int64_t{0}, offsetX});
    int64_t top = std::max({int64_t{y}, int64_t{0}, offsetY});
    int64_t right = std::min({int64_t{x} + w, int64_t{destSize.width}, sourceSize.width + offsetX});
    int64_t bottom = std::min({int64_t{y} + h, int64_t{destSize.height}, sourceSize.height + offsetY});
    if (right <= left || bottom <= top) return {};
    return {Rect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom)},
            static_cast<int>(left - offsetX), static_cast<int>(top - offsetY)};
}

// For each destination pixel d in [first, end) of a stretch of `length`
// pixels from `start` onto `destLength` pixels at `destStart`, the source
// pixel, nearest neighbour. Returns the sub-range whose source pixels lie in
// [0, sourceExtent) (the mapping is monotonic, so it is one range).
struct StretchAxis {
    int first = 0;   // destination coordinates
    int end = 0;
    std::vector<int> source;   // source coordinate of destination first + i
};

StretchAxis MapAxis(int destStart, int destLength, int destExtent, int start, int length, int sourceExtent) {
    StretchAxis axis;
    int64_t first = std::max<int64_t>(destStart, 0);
    int64_t end = std::min<int64_t>(int64_t{destStart} + destLength, destExtent);
    std::vector<int> source;
    int64_t validFirst = end, validEnd = first;
    for (int64_t d = first; d < end; ++d) {
        int64_t s = start + (d - destStart) * length / destLength;
        if (s < 0 || s >= sourceExtent) continue;
        if (validFirst == end) validFirst = d;
        validEnd = d + 1;
        source.push_back(static_cast<int>(s));
    }
    if (source.empty()) return {};
    axis.first = static_cast<int>(validFirst);
    axis.end = static_cast<int>(validEnd);
    axis.source = std::move(source);
    return axis;
}

} // namespace

SurfaceContext::SurfaceContext(std::shared_ptr<Surface> target, Size screenSize, bool isScreen)
    : m_target(std::move(target)), m_screenSize(screenSize), m_isScreen(isScreen) {}

std::unique_ptr<SurfaceContext> SurfaceContext::ForScreen(std::shared_ptr<Surface> screen) {
    if (!screen) screen = std::make_shared<Surface>();
    Size size = screen->Size();
    return std::unique_ptr<SurfaceContext>(new SurfaceContext(std::move(screen), size, true));
}

std::unique_ptr<SurfaceContext> SurfaceContext::ForMemory(Size screenSize) {
    // Like a new memory device context: a 1 × 1 black bitmap is selected.
    auto defaultBitmap = std::make_shared<Surface>(1, 1);
    screenSize = {std::max(0, screenSize.width), std::max(0, screenSize.height)};
    std::unique_ptr<SurfaceContext> dc(new SurfaceContext(defaultBitmap, screenSize, false));
    dc->m_defaultBitmap = std::move(defaultBitmap);
    return dc;
}

std::unique_ptr<DeviceContext> SurfaceContext::CreateCompatible() const { return ForMemory(m_screenSize); }

std::shared_ptr<Surface> SurfaceContext::SelectBitmap(std::shared_ptr<Surface> bitmap) {
    if (m_isScreen) return nullptr;
    m_target = bitmap ? bitmap : m_defaultBitmap;
    return std::exchange(m_selected, std::move(bitmap));
}

Pen SurfaceContext::SelectPen(const Pen& pen) { return std::exchange(m_pen, pen); }

std::shared_ptr<Font> SurfaceContext::SelectFont(std::shared_ptr<Font> font) {
    return std::exchange(m_font, std::move(font));
}

void SurfaceContext::BitBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy) {
    Surface* from = source.Target();
    Surface* to = m_target.get();
    if (!from) return;
    ClippedCopy copy = ClipCopy(x, y, w, h, to->Size(), sx, sy, from->Size());
    if (copy.dest.IsEmpty()) return;
    auto lock = to->LockForCopy(copy.dest, *from);

    const size_t rowBytes = static_cast<size_t>(copy.dest.Width()) * sizeof(uint32_t);
    const int rows = copy.dest.Height();
    // Within one surface a downward copy must start at the bottom row;
    // memmove takes care of the overlap inside a row.
    const bool bottomUp = from == to && copy.dest.top > copy.sourceY;
    for (int i = 0; i < rows; ++i) {
        int row = bottomUp ? rows - 1 - i : i;
        std::memmove(to->Row(copy.dest.top + row) + copy.dest.left, from->Row(copy.sourceY + row) + copy.sourceX,
                     rowBytes);
    }
}

void SurfaceContext::StretchBlt(int x, int y, int w, int h, DeviceContext& source, int sx, int sy, int sw, int sh) {
    Surface* from = source.Target();
    Surface* to = m_target.get();
    if (!from || w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
    StretchAxis columns = MapAxis(x, w, to->Width(), sx, sw, from->Width());
    StretchAxis rows = MapAxis(y, h, to->Height(), sy, sh, from->Height());
    if (columns.end <= columns.first || rows.end <= rows.first) return;
    Rect dest{columns.first, rows.first, columns.end, rows.end};
    auto lock = to->LockForCopy(dest, *from);

    // Reading and writing one surface: take the source rows first.
    Surface scratch;
    const Surface* read = from;
    int rowOffset = 0;
    if (from == to) {
        int firstRow = rows.source.front(), endRow = rows.source.back() + 1;
        scratch = Surface(from->Width(), endRow - firstRow);
        for (int r = firstRow; r < endRow; ++r)
            std::memcpy(scratch.Row(r - firstRow), from->Row(r), static_cast<size_t>(from->Width()) * sizeof(uint32_t));
        read = &scratch;
        rowOffset = firstRow;
    }
    const int* sourceColumn = columns.source.data();
    const int count = columns.end - columns.first;
    for (int dy = rows.first; dy < rows.end; ++dy) {
        const uint32_t* in = read->Row(rows.source[static_cast<size_t>(dy - rows.first)] - rowOffset);
        uint32_t* out = to->Row(dy) + columns.first;
        for (int i = 0; i < count; ++i) out[i] = in[sourceColumn[i]];
    }
}

void SurfaceContext::FillSolid(const Rect& rect, ColorRef color) {
    Rect area = rect.Intersected(m_target->Bounds());
    if (area.IsEmpty()) return;   // negative or empty sizes draw nothing
    auto lock = m_target->LockForDrawing(area);
    const uint32_t pixel = ToXrgb(color);
    for (int y = area.top; y < area.bottom; ++y)
        std::fill_n(m_target->Row(y) + area.left, area.Width(), pixel);
}

Point SurfaceContext::MoveTo(int x, int y) { return std::exchange(m_position, Point{x, y}); }

void SurfaceContext::LineTo(int x, int y) {
    Point from = std::exchange(m_position, Point{x, y});
    Point to{x, y};
    if (m_pen.style == PenStyle::Null) return;
    Rect area = LineBounds(from, to, m_pen).Intersected(m_target->Bounds());
    if (area.IsEmpty()) return;
    auto lock = m_target->LockForDrawing(area);
    CairoSurfacePtr surface = m_target->CreateCairoSurface();
    if (!surface) return;
    CairoPtr cr(cairo_create(surface.get()));
    ColorRef gap = m_bkColor;
    StrokeLine(cr.get(), m_target->Size(), from, to, m_pen, m_bkMode == BkMode::Opaque ? &gap : nullptr);
    cr.reset();
    cairo_surface_flush(surface.get());
}

ColorRef SurfaceContext::SetTextColor(ColorRef color) { return std::exchange(m_textColor, color); }
ColorRef SurfaceContext::SetBkColor(ColorRef color) { return std::exchange(m_bkColor, color); }
BkMode SurfaceContext::SetBkMode(BkMode mode) { return std::exchange(m_bkMode, mode); }

const Font* SurfaceContext::CurrentFont() {
    if (m_font) return m_font.get();
    if (!m_defaultFont) m_defaultFont = Font::Create(FontSpec{});
    return m_defaultFont.get();
}

FontMetrics SurfaceContext::GetTextMetrics() {
    const Font* font = CurrentFont();
    return font ? font->Metrics() : FontMetrics{};
}

} // namespace showsaver::gfx
