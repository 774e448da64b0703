#pragma once
// Points, sizes and half-open rectangles in device pixels.
//
// A Rect covers the pixels left <= x < right and top <= y < bottom, the way
// GDI rectangles do. Coordinates come from show files and are not trusted:
// every operation saturates at the int range instead of overflowing, so a
// rectangle built from absurd numbers is merely huge or empty.

#include <algorithm>
#include <climits>
#include <cstdint>

namespace showsaver::gfx {

// Clamps a 64-bit intermediate back into the int range.
constexpr int SaturateToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

struct Point {
    int x = 0;
    int y = 0;

    friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;

    constexpr bool IsEmpty() const { return width <= 0 || height <= 0; }
    friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;    // exclusive
    int bottom = 0;   // exclusive

    // The rectangle of w × h pixels whose top-left pixel is (x, y).
    static constexpr Rect FromSize(int x, int y, int width, int height) {
        return {x, y, SaturateToInt(int64_t{x} + width), SaturateToInt(int64_t{y} + height)};
    }
    static constexpr Rect FromSize(Point origin, gfx::Size size) {
        return FromSize(origin.x, origin.y, size.width, size.height);
    }

    constexpr int Width() const { return SaturateToInt(int64_t{right} - left); }
    constexpr int Height() const { return SaturateToInt(int64_t{bottom} - top); }
    constexpr gfx::Size Size() const { return {Width(), Height()}; }
    constexpr Point TopLeft() const { return {left, top}; }
    // True when the rectangle holds no pixel, including negative sizes.
    constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
    constexpr bool Contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }

    // The common part of both rectangles; an empty result is Rect{}.
    [[nodiscard]] constexpr Rect Intersected(const Rect& other) const {
        Rect r{std::max(left, other.left), std::max(top, other.top),
               std::min(right, other.right), std::min(bottom, other.bottom)};
        return r.IsEmpty() ? Rect{} : r;
    }
    constexpr void Intersect(const Rect& other) { *this = Intersected(other); }

    // The smallest rectangle holding both; an empty side is ignored.
    [[nodiscard]] constexpr Rect United(const Rect& other) const {
        if (IsEmpty()) return other.IsEmpty() ? Rect{} : other;
        if (other.IsEmpty()) return *this;
        return {std::min(left, other.left), std::min(top, other.top),
                std::max(right, other.right), std::max(bottom, other.bottom)};
    }
    constexpr void Unite(const Rect& other) { *this = United(other); }

    [[nodiscard]] constexpr Rect Translated(int dx, int dy) const {
        return {SaturateToInt(int64_t{left} + dx), SaturateToInt(int64_t{top} + dy),
                SaturateToInt(int64_t{right} + dx), SaturateToInt(int64_t{bottom} + dy)};
    }
    [[nodiscard]] constexpr Rect Translated(Point delta) const { return Translated(delta.x, delta.y); }
    constexpr void Translate(int dx, int dy) { *this = Translated(dx, dy); }

    // Grown by `d` pixels on every side (shrunk for a negative d).
    [[nodiscard]] constexpr Rect Inflated(int d) const {
        return {SaturateToInt(int64_t{left} - d), SaturateToInt(int64_t{top} - d),
                SaturateToInt(int64_t{right} + d), SaturateToInt(int64_t{bottom} + d)};
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

} // namespace showsaver::gfx
