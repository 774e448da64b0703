#pragma once
// Counts, for one effect played into a memory screen, the pixels its copies
// write and the pixels that really change from one frame to the next (a
// frame ends at every pause and at the end of the effect), so that a
// benchmark can tell work done from work needed.

#include "gfx/SurfaceContext.h"
#include "transitions/TransitionEffect.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace showsaver::bench {

// The screen: draws into a real surface, adds up the pixels each copy
// writes after clipping, and keeps the rectangles a frame wrote.
class CountingScreen final : public gfx::DeviceContext {
public:
    explicit CountingScreen(std::shared_ptr<gfx::Surface> screen)
        : m_inner(gfx::SurfaceContext::ForScreen(screen)), m_screen(std::move(screen)),
          m_previous(std::make_unique<gfx::Surface>(m_screen->Clone())) {}

    // Compares the rectangles written since the last frame with what the
    // screen showed then and counts the pixels that differ.
    void EndFrame() {
        for (const gfx::Rect& rect : m_written)
            for (int y = rect.top; y < rect.bottom; ++y) {
                const uint32_t* now = m_screen->Row(y);
                uint32_t* before = m_previous->Row(y);
                for (int x = rect.left; x < rect.right; ++x)
                    if (now[x] != before[x]) {
                        ++changed;
                        before[x] = now[x];
                    }
            }
        m_written.clear();
    }

    uint64_t copied = 0;
    uint64_t changed = 0;

    std::shared_ptr<gfx::Surface> SelectBitmap(std::shared_ptr<gfx::Surface> bitmap) override {
        return m_inner->SelectBitmap(std::move(bitmap));
    }
    gfx::Pen SelectPen(const gfx::Pen& pen) override { return m_inner->SelectPen(pen); }
    std::shared_ptr<gfx::Font> SelectFont(std::shared_ptr<gfx::Font> font) override {
        return m_inner->SelectFont(std::move(font));
    }
    void BitBlt(int x, int y, int w, int h, gfx::DeviceContext& source, int sx, int sy) override {
        if (gfx::Surface* from = source.Target()) Note(x, y, w, h, sx, sy, from->Size());
        m_inner->BitBlt(x, y, w, h, &source == this ? *m_inner : source, sx, sy);
    }
    void StretchBlt(int x, int y, int w, int h, gfx::DeviceContext& source, int sx, int sy, int sw,
                    int sh) override {
        Note(x, y, w, h, 0, 0, m_screen->Size());
        m_inner->StretchBlt(x, y, w, h, &source == this ? *m_inner : source, sx, sy, sw, sh);
    }
    void FillSolid(const gfx::Rect& rect, gfx::ColorRef color) override {
        Note(rect.left, rect.top, rect.Width(), rect.Height(), 0, 0, m_screen->Size());
        m_inner->FillSolid(rect, color);
    }
    gfx::Point MoveTo(int x, int y) override { return m_inner->MoveTo(x, y); }
    void LineTo(int x, int y) override { m_inner->LineTo(x, y); }
    gfx::ColorRef SetTextColor(gfx::ColorRef color) override { return m_inner->SetTextColor(color); }
    gfx::ColorRef SetBkColor(gfx::ColorRef color) override { return m_inner->SetBkColor(color); }
    gfx::BkMode SetBkMode(gfx::BkMode mode) override { return m_inner->SetBkMode(mode); }
    gfx::Size GetTextExtent(std::string_view text) override { return m_inner->GetTextExtent(text); }
    gfx::FontMetrics GetTextMetrics() override { return m_inner->GetTextMetrics(); }
    int DrawText(std::string_view text, gfx::Rect& rect, uint32_t format) override {
        return m_inner->DrawText(text, rect, format);
    }
    gfx::Size ScreenSize() const override { return m_inner->ScreenSize(); }
    std::unique_ptr<gfx::DeviceContext> CreateCompatible() const override { return m_inner->CreateCompatible(); }
    gfx::Surface* Target() override { return m_inner->Target(); }

private:
    // Clips a copy of w × h from (sx, sy) of a source of `from` to (x, y)
    // as the surface does and notes what it writes.
    void Note(int x, int y, int w, int h, int sx, int sy, gfx::Size from) {
        auto trim = [](int& length, int& source, int& destination, int sourceLimit, int limit) {
            int lead = std::max({0, -source, -destination});
            source += lead;
            destination += lead;
            length = std::min({length - lead, sourceLimit - source, limit - destination});
        };
        trim(w, sx, x, from.width, m_screen->Width());
        trim(h, sy, y, from.height, m_screen->Height());
        if (w <= 0 || h <= 0) return;
        copied += static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
        m_written.push_back(gfx::Rect::FromSize(x, y, w, h));
    }

    std::unique_ptr<gfx::SurfaceContext> m_inner;
    std::shared_ptr<gfx::Surface> m_screen;
    std::unique_ptr<gfx::Surface> m_previous;   // the screen at the end of the last frame
    std::vector<gfx::Rect> m_written;
};

// Pauses of no polls that close a frame of the counting screen.
class FramePacer final : public TransitionPacer {
public:
    explicit FramePacer(CountingScreen& screen) : m_screen(screen) {}
    void CalibratedWait(uint32_t, double) override { m_screen.EndFrame(); }
    bool IsStopRequested() const override { return false; }
    void Sleep(uint32_t) override { m_screen.EndFrame(); }
    uint32_t Times() const override { return 0; }
    uint32_t TickCount() const override { return m_clock++; }

private:
    CountingScreen& m_screen;
    mutable uint32_t m_clock = 0;
};

} // namespace showsaver::bench
