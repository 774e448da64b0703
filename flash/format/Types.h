#pragma once
// The small value types of a movie: colours, twip rectangles, the affine
// matrices and colour transforms that the display list composes.

#include <algorithm>
#include <cstdint>

namespace showsaver::flash {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

// In twips (1/20 pixel); right and bottom are the maxima.
struct Rect {
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    int32_t Width() const { return xMax - xMin; }
    int32_t Height() const { return yMax - yMin; }
};

// x' = a·x + c·y + tx, y' = b·x + d·y + ty (the order cairo_matrix_t keeps:
// xx = a, yx = b, xy = c, yy = d).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    // This after `inner`: (this * inner)(p) = this(inner(p)).
    Matrix operator*(const Matrix& inner) const {
        return {a * inner.a + c * inner.b, b * inner.a + d * inner.b,
                a * inner.c + c * inner.d, b * inner.c + d * inner.d,
                a * inner.tx + c * inner.ty + tx, b * inner.tx + d * inner.ty + ty};
    }
    static Matrix Lerp(const Matrix& p, const Matrix& q, double t) {
        auto mix = [t](double x, double y) { return x + (y - x) * t; };
        return {mix(p.a, q.a), mix(p.b, q.b), mix(p.c, q.c), mix(p.d, q.d), mix(p.tx, q.tx), mix(p.ty, q.ty)};
    }
};

// c' = c · mult + add, per channel, colours in 0..255, multipliers 1.0 = keep.
struct ColorTransform {
    double mr = 1, mg = 1, mb = 1, ma = 1;
    double ar = 0, ag = 0, ab = 0, aa = 0;

    // This applied after `inner`.
    ColorTransform operator*(const ColorTransform& inner) const {
        return {mr * inner.mr, mg * inner.mg, mb * inner.mb, ma * inner.ma,
                inner.ar * mr + ar, inner.ag * mg + ag, inner.ab * mb + ab, inner.aa * ma + aa};
    }
    Rgba Apply(Rgba c) const {
        auto one = [](double v, double m, double add) {
            return static_cast<uint8_t>(std::clamp(v * m + add, 0.0, 255.0) + 0.0);
        };
        return {one(c.r, mr, ar), one(c.g, mg, ag), one(c.b, mb, ab), one(c.a, ma, aa)};
    }
};

} // namespace showsaver::flash
