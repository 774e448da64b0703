#pragma once
// Plays transition effects against a memory screen and records, in order,
// every copy and fill the effect makes on the screen and every pause it
// takes, so that tests can check an effect's sequence exactly and compare
// the pixels it leaves.

#include "gfx/SurfaceContext.h"
#include "transitions/TransitionEffect.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace showsaver::testing {

struct EffectStep {
    enum class Kind { Copy, Fill, Pause, Sleep };
    Kind kind = Kind::Copy;
    // Copy: where from. New: the work surface; Old: any other context (the
    // effect's snapshot); Screen: the screen itself.
    enum class Source { None, New, Old, Screen } source = Source::None;
    gfx::Rect destination{};  // Copy and Fill: the rectangle on the screen
    gfx::Point from{};        // Copy: the source position
    gfx::ColorRef color = 0;  // Fill
    uint32_t elapsed = 0;     // Pause: CalibratedWait's arguments; Sleep: milliseconds
    double total = 0;
};

// The screen: draws into a real surface and logs what reaches it.
class RecordingContext final : public gfx::DeviceContext {
public:
    RecordingContext(std::shared_ptr<gfx::Surface> screen, std::vector<EffectStep>& log)
        : m_inner(gfx::SurfaceContext::ForScreen(std::move(screen))), m_log(log) {}

    void SetWork(const gfx::DeviceContext* work) { m_work = work; }

    std::shared_ptr<gfx::Surface> SelectBitmap(std::shared_ptr<gfx::Surface> bitmap) override {
        return m_inner->SelectBitmap(std::move(bitmap));
    }
    gfx::Pen SelectPen(const gfx::Pen& pen) override { return m_inner->SelectPen(pen); }
    std::shared_ptr<gfx::Font> SelectFont(std::shared_ptr<gfx::Font> font) override {
        return m_inner->SelectFont(std::move(font));
    }
    void BitBlt(int x, int y, int w, int h, gfx::DeviceContext& source, int sx, int sy) override {
        EffectStep step;
        step.kind = EffectStep::Kind::Copy;
        step.source = &source == m_work ? EffectStep::Source::New
                      : &source == this ? EffectStep::Source::Screen
                                        : EffectStep::Source::Old;
        step.destination = gfx::Rect::FromSize(x, y, w, h);
        step.from = {sx, sy};
        m_log.push_back(step);
        m_inner->BitBlt(x, y, w, h, &source == this ? *m_inner : source, sx, sy);
    }
    void StretchBlt(int x, int y, int w, int h, gfx::DeviceContext& source, int sx, int sy, int sw,
                    int sh) override {
        m_inner->StretchBlt(x, y, w, h, &source == this ? *m_inner : source, sx, sy, sw, sh);
    }
    void FillSolid(const gfx::Rect& rect, gfx::ColorRef color) override {
        EffectStep step;
        step.kind = EffectStep::Kind::Fill;
        step.destination = rect;
        step.color = color;
        m_log.push_back(step);
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
    std::unique_ptr<gfx::SurfaceContext> m_inner;
    std::vector<EffectStep>& m_log;
    const gfx::DeviceContext* m_work = nullptr;
};

// The pacer: logs pauses and sleeps, keeps a virtual clock that only sleeps
// (and, to imitate a slow machine, every reading) move, and can raise the
// stop request after a number of pauses.
class RecordingPacer final : public TransitionPacer {
public:
    explicit RecordingPacer(std::vector<EffectStep>& log) : m_log(log) {}

    void CalibratedWait(uint32_t elapsed, double total) override {
        EffectStep step;
        step.kind = EffectStep::Kind::Pause;
        step.elapsed = elapsed;
        step.total = total;
        m_log.push_back(step);
        if (stopAfterPauses && ++m_pauses >= *stopAfterPauses) stopRequested = true;
    }
    bool IsStopRequested() const override { return stopRequested; }
    void Sleep(uint32_t ms) override {
        EffectStep step;
        step.kind = EffectStep::Kind::Sleep;
        step.elapsed = ms;
        m_log.push_back(step);
        clock += ms;
    }
    uint32_t Times() const override { return 100000; }
    uint32_t TickCount() const override {
        uint32_t now = clock;
        clock += ticksPerReading;
        return now;
    }

    bool stopRequested = false;
    std::optional<size_t> stopAfterPauses;
    mutable uint32_t clock = 0;
    uint32_t ticksPerReading = 0;

private:
    std::vector<EffectStep>& m_log;
    size_t m_pauses = 0;
};

// Distinct, non-black pixel values for the old screen and the new picture.
inline uint32_t OldPixel(int x, int y) { return 0x00400000u | static_cast<uint32_t>((x * 7 + y * 131) & 0xFFFF); }
inline uint32_t NewPixel(int x, int y) { return 0x00C00000u | static_cast<uint32_t>((x * 13 + y * 257) & 0xFFFF); }

// One showing of one effect: a screen filled with OldPixel, a picture filled
// with NewPixel, played through TransitionEffect::PlayTransition.
class EffectHarness {
public:
    struct Options {
        gfx::Size screen{200, 150};
        gfx::Point position{0, 0};   // where the picture goes (before offsets)
        int xOffset = 0, yOffset = 0;
        int32_t speed = 1000;
    };

    EffectHarness(int w, int h) : EffectHarness(w, h, Options{}) {}
    EffectHarness(int w, int h, Options options)
        : m_options(options), m_w(w), m_h(h), m_pacer(log) {
        m_screen = std::make_shared<gfx::Surface>(options.screen.width, options.screen.height);
        for (int y = 0; y < m_screen->Height(); ++y)
            for (int x = 0; x < m_screen->Width(); ++x) m_screen->Row(y)[x] = OldPixel(x, y);
        m_before = std::make_shared<gfx::Surface>(m_screen->Clone());
        // The decoded picture holds the visible part at the offsets.
        m_picture = std::make_shared<gfx::Surface>(w + options.xOffset, h + options.yOffset);
        for (int y = 0; y < m_picture->Height(); ++y)
            for (int x = 0; x < m_picture->Width(); ++x) m_picture->Row(y)[x] = NewPixel(x, y);
        m_dc = std::make_unique<RecordingContext>(m_screen, log);
        m_work = m_dc->CreateCompatible();
        m_work->SelectBitmap(gfx::Surface::Create(w, h));
        m_pictureDc = m_dc->CreateCompatible();
        m_pictureDc->SelectBitmap(m_picture);
        m_dc->SetWork(m_work.get());
    }

    RecordingPacer& Pacer() { return m_pacer; }

    // Plays `number` and returns the position it was played at.
    gfx::Point Play(int32_t number) {
        TransitionEffect effect(number);
        gfx::Rect rect = gfx::Rect::FromSize(0, 0, m_w, m_h);
        effect.SetTarget(&rect, std::nullopt);
        effect.SetSurfaces(m_work.get(), m_pictureDc.get());
        if (number == 4 || number == 65) effect.SetFadeBitmap(m_picture);
        gfx::Point position = m_options.position;
        effect.PlayTransition(*m_dc, m_pacer, position, m_options.speed, m_options.xOffset, m_options.yOffset);
        m_played = position;
        return position;
    }

    // What the screen shows at (x, y) of the picture's rectangle.
    uint32_t At(int x, int y) const { return m_screen->Row(m_played.y + y)[m_played.x + x]; }
    // The new picture's pixel at (x, y) of the rectangle.
    uint32_t NewAt(int x, int y) const { return NewPixel(x + m_options.xOffset, y + m_options.yOffset); }
    // The old screen's pixel at (x, y) of the rectangle.
    uint32_t OldAt(int x, int y) const { return m_before->Row(m_played.y + y)[m_played.x + x]; }

    // The first pixel of the rectangle that differs from `expected(x, y)`,
    // or of the screen outside it that changed; nullopt when none.
    template <class Expected>
    std::optional<gfx::Point> FirstMismatch(Expected expected) const {
        gfx::Rect rect = gfx::Rect::FromSize(m_played, {m_w, m_h});
        for (int y = 0; y < m_screen->Height(); ++y)
            for (int x = 0; x < m_screen->Width(); ++x) {
                uint32_t now = m_screen->Row(y)[x];
                bool inside = rect.Contains({x, y});
                uint32_t want = inside ? expected(x - m_played.x, y - m_played.y) : m_before->Row(y)[x];
                if (now != want) return gfx::Point{x, y};
            }
        return std::nullopt;
    }
    std::optional<gfx::Point> FirstDifferenceFromNew() const {
        return FirstMismatch([this](int x, int y) { return NewAt(x, y); });
    }

    size_t Count(EffectStep::Kind kind) const {
        size_t n = 0;
        for (const auto& step : log) n += step.kind == kind;
        return n;
    }
    size_t Pauses() const { return Count(EffectStep::Kind::Pause); }
    size_t Copies() const { return Count(EffectStep::Kind::Copy); }

    std::vector<EffectStep> log;

private:
    Options m_options;
    int m_w, m_h;
    RecordingPacer m_pacer;
    std::shared_ptr<gfx::Surface> m_screen, m_before, m_picture;
    std::unique_ptr<RecordingContext> m_dc;
    std::unique_ptr<gfx::DeviceContext> m_work, m_pictureDc;
    gfx::Point m_played{};
};

} // namespace showsaver::testing
