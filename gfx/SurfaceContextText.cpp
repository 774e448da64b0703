// The text operations of SurfaceContext: extents and DrawText.

#include "gfx/SurfaceContext.h"

#include "gfx/TextSupport.h"

#include <algorithm>

namespace showsaver::gfx {

namespace {

// One line of a DrawText call, laid out, with where it goes.
struct PlacedLine {
    text::PangoLayoutPtr layout;
    int width = 0;
    int64_t x = 0;
    int64_t y = 0;
};

std::vector<text::PreparedLine> PrepareLines(std::string_view utf8, uint32_t format) {
    std::vector<std::string_view> pieces;
    std::string singleLine;
    if (format & DrawTextFormat::kSingleLine) {
        // Line breaks do not break a single line; they show as blanks.
        singleLine.assign(utf8);
        std::replace_if(singleLine.begin(), singleLine.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        pieces.push_back(singleLine);
    } else {
        pieces = text::SplitLines(utf8);
        // A break at the very end starts no further line.
        if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
    }
    std::vector<text::PreparedLine> lines;
    lines.reserve(pieces.size());
    for (std::string_view piece : pieces) {
        if (format & DrawTextFormat::kNoPrefix) lines.push_back({std::string(piece), {}});
        else lines.push_back(text::StripPrefixes(piece));
    }
    return lines;
}

int64_t AlignedX(const Rect& rect, int width, uint32_t format) {
    if (format & DrawTextFormat::kCenter) return (int64_t{rect.left} + rect.right - width) / 2;
    if (format & DrawTextFormat::kRight) return int64_t{rect.right} - width;
    return rect.left;
}

} // namespace

Size SurfaceContext::GetTextExtent(std::string_view utf8) {
    const Font* font = CurrentFont();
    if (!font) return {};
    auto cr = text::CreateMeasuringCairo();
    auto context = text::CreateContext(cr.get(), font->Antialiased());
    auto layout = text::CreateLineLayout(context.get(), *font, {text::ToValidUtf8(utf8), {}});
    return {text::LayoutWidth(layout.get()), font->Metrics().height};
}

int SurfaceContext::DrawText(std::string_view utf8, Rect& rect, uint32_t format) {
    const Font* font = CurrentFont();
    if (!font) return 0;
    const FontMetrics& metrics = font->Metrics();
    const std::vector<text::PreparedLine> lines = PrepareLines(text::ToValidUtf8(utf8), format);
    const int64_t textHeight = static_cast<int64_t>(lines.size()) * metrics.height;

    const bool measureOnly = (format & DrawTextFormat::kCalcRect) != 0;
    CairoSurfacePtr surface = measureOnly ? nullptr : m_target->CreateCairoSurface();
    text::CairoPtr cr = surface ? text::CairoPtr(cairo_create(surface.get())) : text::CreateMeasuringCairo();
    auto context = text::CreateContext(cr.get(), font->Antialiased());

    if (measureOnly) {
        int widest = 0;
        for (const auto& line : lines)
            widest = std::max(widest, text::LayoutWidth(text::CreateLineLayout(context.get(), *font, line).get()));
        rect.right = SaturateToInt(int64_t{rect.left} + widest);
        rect.bottom = SaturateToInt(rect.top + textHeight);
        return SaturateToInt(textHeight);
    }

    int64_t top = rect.top;
    const bool single = (format & DrawTextFormat::kSingleLine) != 0;
    if (single && (format & DrawTextFormat::kBottom)) top = int64_t{rect.bottom} - metrics.height;
    else if (single && (format & DrawTextFormat::kVCenter)) top = rect.top + (int64_t{rect.Height()} - metrics.height) / 2;
    const int result = SaturateToInt((single && (format & (DrawTextFormat::kBottom | DrawTextFormat::kVCenter)))
                                         ? top + textHeight - rect.top
                                         : textHeight);
    if (!surface) return result;

    const Rect clip = (format & DrawTextFormat::kNoClip) ? m_target->Bounds() : rect.Intersected(m_target->Bounds());
    if (clip.IsEmpty() || metrics.height <= 0) return result;

    // Lay out only the lines that can reach the clip rectangle, and widen the
    // dirty rectangle by what they cover.
    std::vector<PlacedLine> placed;
    Rect covered;
    int64_t firstLine = std::max<int64_t>(0, (clip.top - top) / metrics.height - 1);
    for (size_t i = static_cast<size_t>(std::min<int64_t>(firstLine, static_cast<int64_t>(lines.size())));
         i < lines.size(); ++i) {
        int64_t y = top + static_cast<int64_t>(i) * metrics.height;
        if (y >= clip.bottom) break;
        if (y + metrics.height <= clip.top || lines[i].text.empty()) continue;
        PlacedLine line;
        line.layout = text::CreateLineLayout(context.get(), *font, lines[i]);
        line.width = text::LayoutWidth(line.layout.get());
        line.x = AlignedX(rect, line.width, format);
        line.y = y;
        if (line.x >= clip.right || line.x + line.width <= clip.left) continue;
        covered.Unite(text::LayoutBounds(line.layout.get(), SaturateToInt(line.x), SaturateToInt(y), metrics));
        placed.push_back(std::move(line));
    }
    Rect dirty = covered.Intersected(clip);
    if (dirty.IsEmpty()) return result;

    auto lock = m_target->LockForDrawing(dirty);
    cairo_rectangle(cr.get(), clip.left, clip.top, clip.Width(), clip.Height());
    cairo_clip(cr.get());
    for (const PlacedLine& line : placed) {
        auto x = static_cast<double>(line.x), y = static_cast<double>(line.y);
        if (m_bkMode == BkMode::Opaque) {
            // An opaque background fills each line's text cell, not the rectangle.
            cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
            cairo_set_source_rgb(cr.get(), RedOf(m_bkColor) / 255.0, GreenOf(m_bkColor) / 255.0, BlueOf(m_bkColor) / 255.0);
            cairo_rectangle(cr.get(), x, y, line.width, metrics.height);
            cairo_fill(cr.get());
        }
        text::DrawLayout(cr.get(), line.layout.get(), x, y, metrics, m_textColor);
    }
    cairo_surface_flush(surface.get());
    return result;
}

} // namespace showsaver::gfx
