#pragma once
// Draws a display list with cairo: shapes, morphs, bitmaps, text, buttons
// and sprites (the last two through their playheads), composed with their matrices and colour transforms, masked
// by clip depths. The cairo context's own matrix is ignored: every object
// sets the one it needs from its twips-to-device matrix.

#include <cairo.h>

#include "flash/display/Playhead.h"

namespace showsaver::flash {

class Renderer {
public:
    Renderer(cairo_t* cr, const Movie& movie) : m_cr(cr), m_movie(movie) {}

    void DrawList(const Playhead& playhead, const Matrix& toDevice, const ColorTransform& color, int depth);
    // One layer of a shape (also used for an interpolated morph).
    void DrawLayer(const ShapeLayer& layer, const Matrix& toDevice, const ColorTransform& color, bool nonZero);
    size_t EdgesDrawn() const { return m_edges; }

private:
    void DrawObject(const DisplayObject& object, const Matrix& toDevice, const ColorTransform& color, int depth);
    void DrawCharacter(const Character& character, const DisplayObject* object, const Matrix& toDevice,
                       const ColorTransform& color, int depth);
    void DrawMasked(const DisplayObject& mask, const std::vector<const DisplayObject*>& masked, const Matrix& toDevice,
                    const ColorTransform& color, int depth);
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
    void Stroke(const LineStyle& line, const Matrix& toDevice, const ColorTransform& color);

    cairo_t* m_cr;
    const Movie& m_movie;
    size_t m_edges = 0;
    size_t m_objects = 0;
    int m_masks = 0;
};

} // namespace showsaver::flash
