#pragma once
// Draws a display list with cairo: shapes, morphs, bitmaps, text, buttons
// and sprites (the last two through their playheads), composed with their matrices and colour transforms, masked
// by clip depths. The cairo context's own matrix is ignored: every object
// sets the one it needs from its twips-to-device matrix.

#include <cairo.h>

#include <functional>
#include <optional>

#include "flash/display/Playhead.h"
#include "flash/render/ObjectBounds.h"
#include "flash/render/ShapeCache.h"

namespace showsaver::flash {

// The size of an edit text field's text as laid out to draw it, in twips,
// without the field's inner margin.
struct TextSize {
    double width = 0, height = 0;
};
TextSize MeasureEditText(const TextCharacter& text, const Movie& movie);

class Renderer {
public:
    // `cache`, when given, keeps shapes' pixels from frame to frame.
    Renderer(cairo_t* cr, const Movie& movie, ShapeCache* cache = nullptr);

    void DrawList(const Playhead& playhead, const Matrix& toDevice, const ColorTransform& color, int depth);
    // One layer of a shape (also used for an interpolated morph and glyphs).
    // `kept` says the layer outlives the frame, so its paints may be cached.
    void DrawLayer(const ShapeLayer& layer, const Matrix& toDevice, const ColorTransform& color, bool nonZero,
                   bool kept = false);
    size_t EdgesDrawn() const { return m_edges; }

private:
    void DrawObject(const DisplayObject& object, const Matrix& toDevice, const ColorTransform& color, int depth);
    // An object with filters or a blend mode: drawn into a surface of its
    // own, filtered, coloured and composited; false when it cannot be (too
    // large), so that it is drawn plainly.
    bool DrawWithEffects(const DisplayObject& object, const Matrix& m, const ColorTransform& color, int depth);
    void Composite(cairo_surface_t* group, int x, int y, BlendMode mode);
    // Sets the source for a gradient or bitmap fill from the cache, the
    // current matrix `m`; false when it is to be set directly.
    bool SetCachedSource(const FillStyle& fill, const std::vector<Edge>& path, const Matrix& m, const ColorTransform& color);
    // A shape's layer copied from its kept pixels, which are drawn first
    // when the layer is worth keeping; false when it is to be drawn plainly.
    bool DrawKeptLayer(const ShapeLayer& layer, const Matrix& m, const ColorTransform& color, bool nonZero);
    void DrawCharacter(const Character& character, const DisplayObject* object, const Matrix& toDevice,
                       const ColorTransform& color, int depth);
    using ListIterator = std::map<uint16_t, DisplayObject>::const_iterator;
    // The objects of a list from `first` to `last`: the masks among them
    // (clip depths) over the depths they mask.
    void DrawRun(const Playhead& playhead, ListIterator first, ListIterator last, const Matrix& toDevice,
                 const ColorTransform& color, int depth);
    void DrawMasked(const Playhead& playhead, const DisplayObject& mask, ListIterator first, ListIterator last,
                    const Matrix& toDevice, const ColorTransform& color, int depth);
    // An object that a script gave a mask clip: drawn where that clip covers.
    void DrawWithMaskClip(const Playhead& mask, const DisplayObject& object, const Matrix& toDevice,
                          const ColorTransform& color, int depth);
    // Draws `content` where what `mask` draws covers, both cut to `box`
    // (device pixels) when known. A mask gives only its fills' shape: its
    // strokes and colours count for nothing.
    void ThroughMask(const std::optional<DeviceBox>& box, const std::function<void()>& mask,
                     const std::function<void()>& content);
    // A script's scroll rectangle and opaque background: the clip set and the
    // background drawn; `m` becomes the matrix its content is drawn with.
    // False when nothing of it can show.
    bool BeginFrame(const DisplayObject& object, Matrix& m, const ColorTransform& color, int depth);
    void DrawMorph(const MorphCharacter& morph, uint16_t ratio, const Matrix& toDevice, const ColorTransform& color);
    void DrawBitmap(const BitmapCharacter& bitmap, const Matrix& toDevice, const ColorTransform& color);
    void DrawText(const TextCharacter& text, const Matrix& toDevice, const ColorTransform& color);
    void DrawEditText(const TextCharacter& text, const Matrix& toDevice, const ColorTransform& color);
    void DrawOutlineText(const TextCharacter& text, const Matrix& toDevice, const ColorTransform& color);
    void DrawDeviceText(const TextCharacter& text, const Matrix& toDevice, const ColorTransform& color);
    void DrawVideo(const VideoCharacter& video, const DisplayObject* object, const Matrix& toDevice,
                   const ColorTransform& color);
    bool SetMatrix(const Matrix& m);
    static CairoSurfacePtr Transformed(const BitmapCharacter& bitmap, const ColorTransform& color);
    bool AddPath(const std::vector<Edge>& edges);
    // Sets the source for a fill; false when there is nothing to draw with.
    bool SetSource(const FillStyle& fill, const ColorTransform& color);
    // Strokes `edges` in device space: the width scaled as the style says,
    // hinted ends, and each end with its own cap.
    void Stroke(const LineStyle& line, const std::vector<Edge>& edges, const Matrix& toDevice, const ColorTransform& color);
    double LineScale(const LineStyle& line, const Matrix& toDevice) const;

    cairo_t* m_cr;
    const Movie* m_movie;   // the dictionary of the list being drawn: a loaded movie has its own
    ShapeCache* m_cache;
    size_t m_edges = 0;
    size_t m_objects = 0;
    int m_masks = 0;
    bool m_maskPass = false;   // drawing a mask's shape: strokes are left out
    Matrix m_stage{0.05, 0, 0, 0.05, 0, 0};   // twips to device pixels for the root
    int64_t m_groupPixels = 0;   // in the effect surfaces alive now
    int64_t m_effectBudget;      // filter work left for this frame, by the target's size
};

} // namespace showsaver::flash
