#include "flash/render/ObjectBounds.h"

#include <cmath>

#include "flash/render/Effects.h"

namespace showsaver::flash {
namespace {

// Antialiasing and one-pixel hairlines reach this far past the outline.
constexpr double kSlack = 2;

Rect Extend(Rect r, Point p) {
    return {std::min(r.xMin, p.x), std::max(r.xMax, p.x), std::min(r.yMin, p.y), std::max(r.yMax, p.y)};
}

// Morphs keep no bounds we trust: every point of both ends, control points
// included, holds the curves between.
Rect MorphRect(const MorphCharacter& morph) {
    if (morph.start.empty()) return {};
    Point first = morph.start.front().edge.from;
    Rect r{first.x, first.x, first.y, first.y};
    for (const auto* list : {&morph.start, &morph.end})
        for (const StyledEdge& e : *list) r = Extend(Extend(Extend(r, e.edge.from), e.edge.control), e.edge.to);
    int32_t wide = 0;
    for (const MorphLine& l : morph.lines) wide = std::max({wide, static_cast<int32_t>(l.start.width), static_cast<int32_t>(l.end.width)});
    return {r.xMin - wide, r.xMax + wide, r.yMin - wide, r.yMax + wide};
}

// What a script drew: every point of its outlines, grown by its widest line.
std::optional<Rect> DrawnRect(const std::vector<ShapeLayer>& layers) {
    std::optional<Rect> r;
    int32_t wide = 0;
    for (const ShapeLayer& layer : layers) {
        for (const LineStyle& l : layer.lines) wide = std::max(wide, static_cast<int32_t>(std::min(l.width, 1e6)));
        for (const auto* paths : {&layer.fillPaths, &layer.linePaths})
            for (const auto& path : *paths)
                for (const Edge& e : path) {
                    if (!r) r = Rect{e.from.x, e.from.x, e.from.y, e.from.y};
                    r = Extend(Extend(Extend(*r, e.from), e.control), e.to);
                }
    }
    if (r) *r = {r->xMin - wide, r->xMax + wide, r->yMin - wide, r->yMax + wide};
    return r;
}

} // namespace

DeviceBox Transform(const Rect& r, const Matrix& m) {
    DeviceBox box{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (double x : {double(r.xMin), double(r.xMax)})
        for (double y : {double(r.yMin), double(r.yMax)}) {
            double dx = m.a * x + m.c * y + m.tx, dy = m.b * x + m.d * y + m.ty;
            box = {std::min(box.x0, dx), std::min(box.y0, dy), std::max(box.x1, dx), std::max(box.y1, dy)};
        }
    return box.Grown(kSlack, kSlack);
}

std::optional<DeviceBox> ObjectBounds(const Character& character, const DisplayObject* object, const Matrix& m, int depth) {
    if (depth > Limits::kMaxCharacterDepth) return DeviceBox{};
    // A scrolled object shows no more than its rectangle.
    if (object && object->scrollRect) {
        const Rect& r = *object->scrollRect;
        return Transform(Rect{0, r.xMax - r.xMin, 0, r.yMax - r.yMin}, m);
    }
    switch (character.kind) {
    case CharacterKind::Shape: return Transform(static_cast<const ShapeCharacter&>(character).shape.bounds, m);
    case CharacterKind::Morph: return Transform(MorphRect(static_cast<const MorphCharacter&>(character)), m);
    case CharacterKind::Bitmap: {
        const auto& bitmap = static_cast<const BitmapCharacter&>(character);
        return Transform(Rect{0, bitmap.width * 20, 0, bitmap.height * 20}, m);
    }
    case CharacterKind::Text: {
        const auto& text = static_cast<const TextCharacter&>(character);
        if (text.isEdit) return std::nullopt;   // its text may run past its box
        return Transform(text.bounds, m * text.matrix).Union(Transform(text.bounds, m));
    }
    case CharacterKind::Video: {
        // The picture is stretched over the stream's size.
        const auto& video = static_cast<const VideoCharacter&>(character);
        return Transform(Rect{0, video.width * 20, 0, video.height * 20}, m);
    }
    case CharacterKind::Font: return DeviceBox{};
    case CharacterKind::Sprite:
    case CharacterKind::Button: {
        DeviceBox all;
        if (!object || !object->sprite) return all;
        if (auto drawn = DrawnRect(object->sprite->Drawing())) all = Transform(*drawn, m);
        for (const auto& [at, child] : object->sprite->List()) {
            if (!child.character) continue;
            auto box = ObjectBounds(*child.character, &child, m * child.matrix, depth + 1);
            if (!box) return std::nullopt;
            FilterSpread spread = FilterMargin(child.filters);
            all = all.Union(box->Grown(spread.x, spread.y));
        }
        return all;
    }
    }
    return std::nullopt;
}

} // namespace showsaver::flash
