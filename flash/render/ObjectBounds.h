#pragma once
// Where an object's pixels can fall on the device: a rectangle holding all
// it draws (strokes and smoothing included), for sizing the surfaces that
// filters and blend modes draw into.

#include <optional>

#include "flash/display/Playhead.h"

namespace showsaver::flash {

struct DeviceBox {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    DeviceBox Grown(double dx, double dy) const { return {x0 - dx, y0 - dy, x1 + dx, y1 + dy}; }
    DeviceBox Intersect(const DeviceBox& o) const {
        return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
    }
    DeviceBox Union(const DeviceBox& o) const {
        if (Empty()) return o;
        if (o.Empty()) return *this;
        return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
    }
};

// A twips rectangle through `m`.
DeviceBox Transform(const Rect& r, const Matrix& m);

// The box of `character` placed as `object` (null for a character drawn by
// itself) through `m`; nullopt when it cannot be told (edit text).
std::optional<DeviceBox> ObjectBounds(const Character& character, const DisplayObject* object, const Matrix& m, int depth);

} // namespace showsaver::flash
