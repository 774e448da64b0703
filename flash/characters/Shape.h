#pragma once
// Shapes as the renderer wants them: per layer, per fill style, the edges
// chained into closed outlines; per line style, the edges in drawing order.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flash/format/Types.h"

namespace showsaver::flash {

struct Character;

struct Point {
    int32_t x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// A straight edge keeps its control point at its middle, so that a morph can
// blend it with a curve.
struct Edge {
    Point from, control, to;
    bool curve = false;
};

struct GradientStop {
    uint8_t ratio = 0;
    Rgba color;
};

enum class Spread : uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };

struct Gradient {
    std::vector<GradientStop> stops;
    Spread spread = Spread::Pad;
    bool linearRgb = false;
    double focal = 0;   // -1..1 along the gradient's x axis
};

enum class FillKind : uint8_t { Solid, Linear, Radial, Focal, Bitmap };

struct FillStyle {
    FillKind kind = FillKind::Solid;
    Rgba color;
    Matrix matrix;          // gradient square or bitmap pixels to shape twips
    Gradient gradient;
    uint16_t bitmapId = 0;
    std::shared_ptr<const Character> bitmap;   // a script's bitmap, in place of bitmapId
    bool repeat = true;
    bool smooth = true;
};

enum class Cap : uint8_t { Round = 0, None = 1, Square = 2 };
enum class Join : uint8_t { Round = 0, Bevel = 1, Miter = 2 };

struct LineStyle {
    double width = 0;   // twips; below a device pixel it is drawn one pixel wide
    Rgba color;
    bool hasFill = false;
    FillStyle fill;
    Cap cap = Cap::Round;        // at the start of each run of edges
    Cap endCap = Cap::Round;     // at its end
    Join join = Join::Round;
    double miterLimit = 3;
    bool noHScale = false, noVScale = false;   // the width ignores the object's scaling that way
    bool pixelHinting = false;   // ends on pixel centres or edges, so a thin line stays crisp
    bool noClose = false;        // a run that ends where it began keeps its caps
};

// Edges as read: each with its left and right fill and its line (1-based,
// 0 = none) in the style lists of its layer.
struct StyledEdge {
    Edge edge;
    uint16_t fill0 = 0, fill1 = 0, line = 0;
};

struct ShapeLayer {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    std::vector<std::vector<Edge>> fillPaths;   // one per fill style, chained
    std::vector<std::vector<Edge>> linePaths;   // one per line style
};

struct Shape {
    Rect bounds;
    bool nonZero = false;
    std::vector<ShapeLayer> layers;
};

// Turns a layer's styled edges into the paths of each fill and line style:
// the edges with a fill on their right run forward, those with it on their
// left run backward, and runs are joined end to start.
void BuildPaths(ShapeLayer& layer, const std::vector<StyledEdge>& edges);

} // namespace showsaver::flash
