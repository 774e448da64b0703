#pragma once
// The wipes and cell grids whose frames copy their whole revealed pattern
// again in every frame, or their pieces one line at a time, written out copy
// by copy as the effects draw them when nothing is left out or joined. The
// effects themselves copy only what a frame changes, in as few blocks as
// their pauses allow; the tests play both and compare the screens.

#include "transitions/TransitionEffect.h"

#include <algorithm>
#include <cstdint>

namespace showsaver::testing::full_frame {

inline void Row(const TransitionFrame& f, int r) { f.Block(f.w, 1, 0, r); }
inline void Column(const TransitionFrame& f, int c) { f.Block(1, f.h, c, 0); }

// 8
inline void BoxOut(const TransitionFrame& f) {
    int w = f.w, h = f.h;
    int row = h / 2, column = w / 2;
    for (;;) {
        f.Block(w - 2 * column, 1, column, row);
        if (row > 0) f.Block(w - 2 * column, 1, column, h - row);
        f.Block(1, h - 2 * row, column, row);
        if (column > 0) f.Block(1, std::min(h - 2 * row + 1, h - row), w - column, row);
        if (row == 0 && column == 0) break;
        if (column > 0) --column;
        if (row > 0) --row;
        f.Pause();
    }
}

// 52
inline void ColumnsMiddleOut(const TransitionFrame& f) {
    int n = f.w, half = n / 2;
    for (int i = 0;; ++i) {
        if (i >= 1) Column(f, half - i);
        if (i < half) Column(f, half + i);
        f.Pause();
        if (n < 2 * i + 2) break;
    }
    f.CopyAll();
}

// 57-60
inline void Staircase(int32_t number, const TransitionFrame& f) {
    int w = f.w, h = f.h;
    bool fromRight = number == 57 || number == 58;
    bool bottomFirst = number == 58 || number == 60;
    int bands = h / 8 + 1;
    for (int z = 0; z <= 8 * bands + w; ++z) {
        for (int n = 0; n <= bands; ++n) {
            int width = z - 8 * n;
            if (width <= 0 || width > w) continue;
            int y0 = 8 * (bottomFirst ? bands - n : n);
            f.Block(width, 8, fromRight ? w - width : 0, y0);
        }
        f.Pause();
    }
}

// 61, 63
inline void Triangles(bool bottomLeft, const TransitionFrame& f) {
    int w = f.w, h = f.h;
    float slope = static_cast<float>(w) / static_cast<float>(h);
    for (int s = 0; s <= h; ++s) {
        for (int i = 0; i <= s && i < h; ++i) {
            int width = static_cast<int>(static_cast<float>(s - i) * slope);
            f.Block(width, 1, bottomLeft ? 0 : w - width, h - 1 - i);
            f.Block(width, 1, bottomLeft ? w - width : 0, i);
        }
        f.Pause();
    }
    f.CopyAll();
}

// 62, 64
inline void Band(bool fromTopLeft, const TransitionFrame& f) {
    int w = f.w, h = f.h;
    float slope = static_cast<float>(w) / static_cast<float>(h);
    float reach = static_cast<float>(fromTopLeft ? h : h + 1) * slope;
    for (int z = 0;; ++z) {
        for (int t = 0; t < h; ++t) {
            int i = fromTopLeft ? t : t + 1;
            int row = fromTopLeft ? t : h - i;
            int a0 = static_cast<int>(static_cast<float>(i) * slope) - z / 2;
            f.Block(std::min(z, w - a0), 1, a0, row);
        }
        if (z % 15 == 0) f.pacer.CalibratedWait(static_cast<uint32_t>(f.speed / 2), f.total);
        if (!(reach - static_cast<float>(z / 2) > 0.0f || z <= w)) break;
    }
}

// 67-70
inline void Snake(int32_t number, const TransitionFrame& f) {
    bool columns = number == 67 || number == 69;
    bool fromFar = number == 69 || number == 70;
    int across = columns ? f.w : f.h;
    int along = columns ? f.h : f.w;
    int bands = across / 8 + (fromFar ? 2 : 1);
    for (int band = 0; band < bands; ++band) {
        int start = fromFar ? across - 8 * band : 8 * band;
        for (int step = 0; step <= along; ++step) {
            int at = band % 2 == 0 ? step : along - step;
            if (columns)
                f.Block(8, 1, start, at);
            else
                f.Block(1, 8, at, start);
            if (step % 10 == 0) f.Pause();
        }
    }
}

// 77, 78, with the middle column of an odd width put in place after the frames
inline void Fan(bool fromTopLeft, const TransitionFrame& f) {
    int w = f.w, h = f.h;
    for (int s = 0; s <= w; ++s) {
        float ratio = static_cast<float>(s) / static_cast<float>(h);
        for (int z = 0; z <= h; ++z) {
            int length = s == w ? w / 2 : static_cast<int>(static_cast<float>(z) * ratio);
            f.Block(length, 1, 0, fromTopLeft ? z : h - z);
            f.Block(length, 1, w - length, fromTopLeft ? h - z : z);
        }
        f.Pause();
    }
    if (w % 2 == 1) Column(f, w / 2);
    if (w % 2 == 1 && h % 2 == 1) f.Block(3, 11, w / 2 - 1, h / 2 - 5);
}

// 79 and 81: the 40-pixel grid, cells numbered row by row, an odd column count.
template <class CellFrame>
void Grid40(const TransitionFrame& f, int first, int last, int pauses, uint32_t elapsed, double total,
            CellFrame cellFrame) {
    int cols = (f.w + 39) / 40, rows = (f.h + 39) / 40;
    if (cols % 2 == 0) {
        ++cols;
        ++rows;
    }
    for (int step = first; step <= last; ++step) {
        for (int j = 0; j < cols * rows; ++j) cellFrame(40 * (j % cols), 40 * (j / cols), step);
        for (int i = 0; i < pauses; ++i) f.pacer.CalibratedWait(elapsed, total);
    }
}

inline void GrowingSquares(const TransitionFrame& f) {
    Grid40(f, 0, 20, 5, static_cast<uint32_t>(f.s2), 3000.0,
           [&](int left, int top, int j) { f.Block(2 * j, 2 * j, left + 20 - j, top + 20 - j); });
}

inline void DiagonalCells(const TransitionFrame& f) {
    Grid40(f, 0, 80, 3, static_cast<uint32_t>(f.speed), f.total, [&](int left, int top, int z) {
        for (int i = 0; i < z; ++i) f.Block(std::min(z - i, 40), 1, left, top + std::min(i, 40));
    });
}

// 82-87: line c of frame f in place up to m = max(f - B, 0), mirrored beyond
// it; one line per copy.
inline void Rolling(int32_t number, const TransitionFrame& f) {
    bool columns = number == 82 || number == 83 || number == 86;
    bool near = number == 82 || number == 84 || number == 86 || number == 87;
    bool far = number == 83 || number == 85 || number == 86 || number == 87;
    bool both = near && far;
    int n = columns ? f.w : f.h;
    int band = static_cast<int>(n * 0.1);
    int extent = both ? n / 2 : n, limit = both ? n / 2 + 1 : n;
    int firstFrame = number == 82 || number == 83 ? 1 : 0;
    int lastOffset = number == 82 || number == 84 ? -1 : 0;
    int perPause = number == 82 || number == 83 ? 75 : number == 86 ? 50 : 0;
    auto draw = [&](int source, int line) {
        if (columns)
            f.Copy(f.work, 1, f.h, source, 0, line, 0);
        else
            f.Copy(f.work, f.w, 1, 0, source, 0, line);
    };
    int last = 0, placed = -1;
    int64_t count = 0;
    int lastFrame = band + extent + lastOffset;
    for (int fr = firstFrame; fr <= lastFrame; ++fr) {
        int m = std::max(fr - band, 0);
        for (int c = last; c < fr; ++c) {
            if (c <= m) {
                if (near) draw(c, c);
                if (far) draw(n - c, n - c);
                last = placed = c;
            } else if (c < limit) {
                if (near) draw(m + fr - c, c);
                if (far) draw(n + c - m - fr, n - c);
            } else {
                continue;
            }
            if (perPause != 0 && ++count % perPause == 0) f.Pause();
        }
        if (perPause == 0) f.pacer.CalibratedWait(static_cast<uint32_t>(f.speed), f.total * f.k);
    }
    // Pictures without a band: the lines up to the last trailing edge.
    for (int c = placed + 1; c <= lastFrame - band; ++c) {
        if (near) draw(c, c);
        if (far) draw(n - c, n - c);
    }
}

// 10 and 33-36: the old picture's parts move away, the new picture fills the
// rest of the rectangle in place, all of it in every frame.
inline void Uncover(int32_t number, const TransitionFrame& f) {
    int w = f.w, h = f.h, W2 = w / 2, H2 = h / 2;
    auto old = f.TakeSnapshot();
    float a = 1.0f, b = 1.0f;
    if (h < w)
        a = static_cast<float>(w) / static_cast<float>(h);
    else
        b = static_cast<float>(h) / static_cast<float>(w);
    bool quarters = number == 10;
    bool vUp = number == 35 || quarters;
    float u = 0.0f, v = vUp ? 0.0f : static_cast<float>(h);
    auto uPassed = [&] { return quarters ? static_cast<int>(u) >= W2 : u >= static_cast<float>(w); };
    auto vPassed = [&] {
        if (quarters) return static_cast<int>(v) >= H2;
        return vUp ? v >= static_cast<float>(h) : v < 0.0f;
    };
    auto N = [&](int W, int H, int x, int y) { f.Copy(f.work, W, H, x, y, x, y); };
    auto O = [&](int W, int H, int sx, int sy, int dx, int dy) { f.Copy(*old, W, H, sx, sy, dx, dy); };
    for (;;) {
        int U = static_cast<int>(u), V = static_cast<int>(v);
        switch (number) {
        case 10:
            O(W2 - U, H2 - V, U, V, 0, 0);
            N(U, H2, W2 - U, 0);
            N(W2 - U, V, 0, H2 - V);
            O(w - W2 - U, H2 - V, W2, V, W2 + U, 0);
            N(U, H2, W2, 0);
            N(w - W2 - U, V, W2 + U, H2 - V);
            O(W2 - U, h - H2 - V, U, H2, 0, H2 + V);
            N(U, h - H2, W2 - U, H2);
            N(W2 - U, V, 0, H2);
            O(w - W2 - U, h - H2 - V, W2, H2, W2 + U, H2 + V);
            N(U, h - H2, W2, H2);
            N(w - W2 - U, V, W2 + U, H2);
            break;
        case 33: O(w - U, V, U, 0, 0, h - V); N(w, h - V, 0, 0); N(U, V, w - U, h - V); break;
        case 34: O(w - U, V, U, h - V, 0, 0); N(U, h, w - U, 0); N(w - U, h - V, 0, V); break;
        case 35: O(w - U, h - V, 0, 0, U, V); N(w, V, 0, 0); N(U, h - V, 0, V); break;
        case 36: O(w - U, V, 0, h - V, U, 0); N(w, h - V, 0, V); N(U, V, 0, 0); break;
        }
        if (uPassed() && vPassed()) break;
        if (!uPassed()) {
            u += a;
            if (quarters && uPassed()) u = static_cast<float>(W2);
        }
        if (!vPassed()) {
            v += vUp ? b : -b;
            if (quarters && vPassed()) v = static_cast<float>(H2);
        }
        f.Pause();
    }
    f.CopyAll();
}

// 71-74: 8-pixel strips one after another, each pushed in one pixel per step.
inline void Strips(int32_t number, const TransitionFrame& f) {
    auto old = f.TakeSnapshot();
    bool vertical = number == 71 || number == 73;
    bool fromFar = number == 73 || number == 74;
    int period = number == 73 ? 9 : 10;
    int length = vertical ? f.h : f.w, breadth = vertical ? f.w : f.h;
    auto copy = [&](gfx::DeviceContext& from, int size, int across, int source, int destination) {
        if (vertical)
            f.Copy(from, 8, size, across, source, across, destination);
        else
            f.Copy(from, size, 8, source, across, destination, across);
    };
    int last = breadth / 8 + (fromFar ? 1 : 0);
    for (int c = 0; c <= last; ++c) {
        int across = fromFar ? breadth - 8 * c : 8 * c;
        for (int z = 0; z <= length; ++z) {
            if (c % 2 == 0) {
                copy(f.work, z, across, length - z, 0);
                copy(*old, length - z, across, 0, z);
            } else {
                copy(f.work, z, across, 0, length - z);
                copy(*old, length - z, across, z, 0);
            }
            if (z % period == 0) f.Pause();
        }
    }
}

// Plays `number` if it is one of the effects above; false otherwise.
inline bool Play(int32_t number, const TransitionFrame& f) {
    switch (number) {
    case 8: BoxOut(f); return true;
    case 10: case 33: case 34: case 35: case 36: Uncover(number, f); return true;
    case 71: case 72: case 73: case 74: Strips(number, f); return true;
    case 52: ColumnsMiddleOut(f); return true;
    case 57: case 58: case 59: case 60: Staircase(number, f); return true;
    case 61: Triangles(true, f); return true;
    case 63: Triangles(false, f); return true;
    case 62: Band(true, f); return true;
    case 64: Band(false, f); return true;
    case 67: case 68: case 69: case 70: Snake(number, f); return true;
    case 77: Fan(true, f); return true;
    case 78: Fan(false, f); return true;
    case 79: GrowingSquares(f); return true;
    case 81: DiagonalCells(f); return true;
    case 82: case 83: case 84: case 85: case 86: case 87: Rolling(number, f); return true;
    default: return false;
    }
}

} // namespace showsaver::testing::full_frame
