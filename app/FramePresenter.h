#pragma once
// A fast way of putting the screen surface and its layers on the display,
// beside GTK's own drawing. The window asks it first; when it has none, or
// the way stops working, the window queues a GTK redraw and paints with
// cairo instead.

#include "gfx/Layers.h"
#include "gfx/PixelMemory.h"

namespace showsaver {

class FramePresenter {
public:
    virtual ~FramePresenter() = default;
    // The memory to make the screen's and the layers' pixels in, so that
    // they are shown without a copy.
    virtual gfx::PixelSource Pixels() = 0;
    // Shows `dirty` of `screen` with the visible layers of `layers` over it,
    // on the UI thread. False when this presenter cannot show it: the
    // caller draws it another way.
    virtual bool Show(const gfx::Surface& screen, const gfx::LayerStack& layers, const gfx::Rect& dirty) = 0;
};

} // namespace showsaver
