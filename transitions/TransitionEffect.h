#pragma once
// The engine that brings a new picture onto the screen: it composes the
// picture, chooses the effect by its number (4 to 87), paces the steps by
// calibrated waits and leaves the new picture on the screen.
//
// Numbers used by every effect: w × h is the picture rectangle's size,
// (x, y) the destination on the screen; the new picture is the work
// surface's (0, 0)–(w, h), the old one what the screen shows there when the
// effect starts. Numbers 0 to 2 are placements drawn by the picture item;
// 3 asks for a random effect.

#include "gfx/DeviceContext.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace showsaver {

// What an effect needs of the scene thread: its pauses and its stop event.
class TransitionPacer {
public:
    virtual ~TransitionPacer() = default;
    // Polls the stop event trunc((1 - elapsed / total) * Times * total * 1e-5) times.
    virtual void CalibratedWait(uint32_t elapsed, double total) = 0;
    virtual bool IsStopRequested() const = 0;
    // A pause of `ms` milliseconds (the fades); wakes early on a stop.
    virtual void Sleep(uint32_t ms) = 0;
    // The calibration count: polls per second.
    virtual uint32_t Times() const = 0;
    // The millisecond clock the fades are paced by; it advances with Sleep.
    virtual uint32_t TickCount() const = 0;
};

inline constexpr int32_t kFirstEffect = 4;
inline constexpr int32_t kLastEffect = 87;
inline constexpr int32_t kRandomEffect = 3;

// The values every effect of one showing works with.
struct TransitionFrame {
    gfx::DeviceContext& screen;   // the window's context: target of every copy
    gfx::DeviceContext& work;     // holds the composed new picture at (0, 0)
    TransitionPacer& pacer;
    int x, y;                     // destination on the screen
    int w, h;                     // picture size
    int32_t speed;                // 0 slowest .. 1000 fastest
    double total;                 // the pause total T = 1000
    int32_t k;                    // (1100 - speed) / 1000 + 2
    int32_t s2;                   // 2 * speed
    std::shared_ptr<gfx::Surface> fadeBitmap;   // the decoded picture, for the fades
    int xOffset = 0, yOffset = 0;               // where the visible part starts in the decoded picture

    // The standard pause between two steps: elapsed = speed, total = T.
    void Pause() const { pacer.CalibratedWait(static_cast<uint32_t>(speed), total); }

    // Copies W × H from (sx, sy) of `from` (the new picture or a snapshot of
    // the old one, both in picture coordinates) to (x + dx, y + dy). The copy
    // is clipped so that its source and its destination both stay inside
    // (0, 0)–(w, h): the parts beyond an edge and copies of no size draw
    // nothing.
    void Copy(gfx::DeviceContext& from, int W, int H, int sx, int sy, int dx, int dy) const;
    // Copies W × H of the new picture at (a, b) to the same place, clipped.
    void Block(int W, int H, int a, int b) const { Copy(work, W, H, a, b, a, b); }
    // Copies the whole new picture into place.
    void CopyAll() const { screen.BitBlt(x, y, w, h, work, 0, 0); }
    // A memory context holding what the screen shows in the picture's
    // rectangle now: the old picture, for the effects that move it.
    std::unique_ptr<gfx::DeviceContext> TakeSnapshot() const;
};

// One family's player: draws the effect `number` in `frame`, whose picture
// is at least 1 × 1.
using EffectPlayer = void (*)(int32_t number, const TransitionFrame& frame);

class TransitionEffect {
public:
    explicit TransitionEffect(int32_t effectNumber) : m_effectNumber(effectNumber) {}

    // The picture rectangle (only its size is used; read when the transition
    // starts) and the background the surfaces are filled with (none: they
    // are not filled).
    void SetTarget(const gfx::Rect* rectangle, std::optional<gfx::ColorRef> background);
    // The surface the new picture is composed into and the one holding the
    // decoded picture; both borrowed.
    void SetSurfaces(gfx::DeviceContext* work, gfx::DeviceContext* picture);
    // The decoded picture's own pixels, for the fades (effects 4 and 65).
    void SetFadeBitmap(std::shared_ptr<gfx::Surface> bitmap) { m_fadeBitmap = std::move(bitmap); }

    // Fills the work surface with the background and copies the picture into
    // it from (xOffset, yOffset).
    void ComposeFrame(int xOffset, int yOffset);
    // Composes the frame, writes 0 into the coordinates of `position` whose
    // offset is not 0, and plays the effect at `position`. Numbers outside
    // 4 to 87 draw nothing.
    void PlayTransition(gfx::DeviceContext& dc, TransitionPacer& pacer, gfx::Point& position, int32_t speed,
                        int xOffset, int yOffset);

    int32_t EffectNumber() const { return m_effectNumber; }

    // The effect a picture scene uses: `stored` itself, or for 3 a random
    // number from 4 to 87 (which the caller stores in place of the 3).
    static int32_t PickRandomEffect(int32_t stored);
    // The family player of an effect number (null outside 4 to 87).
    static EffectPlayer PlayerFor(int32_t number);

private:
    int32_t m_effectNumber;
    const gfx::Rect* m_rectangle = nullptr;
    std::optional<gfx::ColorRef> m_background;
    gfx::DeviceContext* m_work = nullptr;
    gfx::DeviceContext* m_picture = nullptr;
    std::shared_ptr<gfx::Surface> m_fadeBitmap;
};

} // namespace showsaver
