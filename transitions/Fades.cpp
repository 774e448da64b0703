// Effects that compute pixels: the fades in from and out to black (4, 65)
// and the colour morph from the old picture to the new one (66).
//
// Fades: level L = 0 … 255 draws every byte v of the decoded picture as
// table[L][v] into a private display surface (xRGB, the size of the visible
// part) and copies that to the screen; the levels are paced by the tick
// clock, skipping levels when drawing falls behind:
//
//   start = ticks
//   L = 0: draw L; elapsed = ticks − start
//          elapsed > L × interval ? L = max(L + 1, elapsed ⁄ interval)
//                                 : Sleep(L × interval − elapsed), L + 1
//   end:   4 copies the new picture, 65 fills the rectangle black
//
// Morph: old and new as RGB images; every pass moves each byte of old one
// step towards new, shows old (one copy), tests the stop request, pauses,
// and ends after the pass that reached new.

#include "codec/RgbCapture.h"
#include "transitions/Families.h"

#include <algorithm>
#include <array>
#include <vector>

namespace showsaver {
namespace {

constexpr int kLevels = 256;

struct FadeSpec {
    int32_t number;
    bool toBlack;        // 65: level L scales by (255 − L) ⁄ 256; 4: by L ⁄ 256
    int32_t slowest;     // the interval in ms is slowest − speed ⁄ 100
};

constexpr std::array<FadeSpec, 2> kFades{{{4, false, 11}, {65, true, 12}}};

// Row L, column v: v scaled to level L, truncated.
std::vector<uint8_t> ScalingTable(bool toBlack) {
    std::vector<uint8_t> table(kLevels * 256);
    for (int level = 0; level < kLevels; ++level) {
        int factor = toBlack ? 255 - level : level;
        for (int v = 0; v < 256; ++v) table[level * 256 + v] = static_cast<uint8_t>(v * factor / 256);
    }
    return table;
}

// Scales every byte of the visible part of the decoded picture, which
// starts at (sx, sy), through one row of the table into `display`.
void ScaleLevel(const uint8_t* scale, const gfx::Surface& picture, int sx, int sy, gfx::Surface& display) {
    const size_t bytes = static_cast<size_t>(display.Width()) * 4;
    for (int y = 0; y < display.Height(); ++y) {
        const auto* __restrict from = reinterpret_cast<const uint8_t*>(picture.Row(sy + y) + sx);
        auto* __restrict to = reinterpret_cast<uint8_t*>(display.Row(y));
        for (size_t i = 0; i < bytes; ++i) to[i] = scale[from[i]];
    }
}

// Draws the levels at the pace of the tick clock. Tick counts wrap, so
// only their differences are compared.
template <class DrawLevel>
void RunLevels(TransitionPacer& pacer, uint32_t interval, DrawLevel draw) {
    uint32_t start = pacer.TickCount();
    for (uint32_t level = 0; level < kLevels;) {
        draw(level);
        uint32_t elapsed = pacer.TickCount() - start;
        uint32_t due = level * interval;
        if (elapsed > due) {
            // Late: go on with the level the clock has reached, but never
            // draw the same level twice.
            level = std::max(level + 1, elapsed / interval);
        } else {
            pacer.Sleep(due - elapsed);
            ++level;
        }
    }
}

void Fade(const FadeSpec& spec, const TransitionFrame& frame) {
    // The decoded picture is the source; without it nothing is drawn.
    const gfx::Surface* picture = frame.fadeBitmap.get();
    if (!picture || frame.xOffset < 0 || frame.yOffset < 0) return;
    // Only the visible part, from the offsets on, is faded, and only inside
    // the picture's rectangle: a cut picture must not spill its hidden part
    // over the screen.
    int width = std::min(frame.w, picture->Width() - frame.xOffset);
    int height = std::min(frame.h, picture->Height() - frame.yOffset);
    if (width <= 0 || height <= 0) return;
    auto bitmap = gfx::Surface::Create(width, height);
    if (!bitmap) return;
    auto display = frame.screen.CreateCompatible();
    display->SelectBitmap(bitmap);

    // A speed above the valid range leaves no interval: the levels are skipped.
    int32_t interval = spec.slowest - frame.speed / 100;
    if (interval > 0) {
        std::vector<uint8_t> table = ScalingTable(spec.toBlack);
        RunLevels(frame.pacer, static_cast<uint32_t>(interval), [&](uint32_t level) {
            ScaleLevel(table.data() + level * 256, *picture, frame.xOffset, frame.yOffset, *bitmap);
            frame.screen.BitBlt(frame.x, frame.y, width, height, *display, 0, 0);
        });
    }
    if (spec.toBlack)
        frame.screen.FillSolid(gfx::Rect::FromSize(frame.x, frame.y, frame.w, frame.h), 0);
    else
        frame.CopyAll();
}

// Moves byte `a` one step towards `b`.
inline uint8_t StepByte(uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + (a < b) - (a > b)); }

// Moves each of the `size` bytes of `a` one step towards `b`; true when
// they are now equal. The bytes go in blocks of 16 with a fixed-length inner
// loop over plain locals, which the compiler turns into vector instructions
// at -O2 (kept out of line so that the pointers stay restrict); that makes a
// pass about ten times faster than a plain byte loop.
[[gnu::noinline]] bool StepTowards(uint8_t* __restrict a, const uint8_t* __restrict b, size_t size) {
    constexpr size_t kBlock = 16;
    uint8_t lanes[kBlock] = {};
    size_t i = 0;
    for (; i + kBlock <= size; i += kBlock)
        for (size_t k = 0; k < kBlock; ++k) {
            uint8_t v = StepByte(a[i + k], b[i + k]);
            a[i + k] = v;
            lanes[k] |= static_cast<uint8_t>(v ^ b[i + k]);
        }
    uint8_t differs = 0;
    for (; i < size; ++i) {
        a[i] = StepByte(a[i], b[i]);
        differs |= static_cast<uint8_t>(a[i] ^ b[i]);
    }
    for (uint8_t lane : lanes) differs |= lane;
    return differs == 0;
}

} // namespace

void PlayFade(int32_t number, const TransitionFrame& frame) {
    for (const FadeSpec& spec : kFades)
        if (spec.number == number) return Fade(spec, frame);
}

void PlayMorph(int32_t, const TransitionFrame& frame) {
    codec::RgbImage old = codec::CaptureRgb(frame.screen, frame.x, frame.y, frame.w, frame.h);
    codec::RgbImage target = codec::CaptureRgb(frame.work, 0, 0, frame.w, frame.h);
    auto bitmap = gfx::Surface::Create(frame.w, frame.h);
    // Without both pictures there is nothing to morph: the new picture, which
    // the work surface still holds, is shown at once.
    if (old.Empty() || target.Empty() || !bitmap) return frame.CopyAll();
    auto canvas = frame.screen.CreateCompatible();
    canvas->SelectBitmap(bitmap);
    auto show = [&] {
        codec::PaintRgb(*canvas, old, 0, 0);
        frame.screen.BitBlt(frame.x, frame.y, frame.w, frame.h, *canvas, 0, 0);
    };

    show();
    for (;;) {
        bool done = StepTowards(old.Data(), target.Data(), old.SizeBytes());
        show();
        if (frame.pacer.IsStopRequested()) return;
        frame.Pause();
        if (done) return;
    }
}

} // namespace showsaver
