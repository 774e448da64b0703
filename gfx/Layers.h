#pragma once
// Window layers: rectangles of pixels above a screen surface, as child
// windows sit above their parent's drawing. A video or Flash player fills
// its layer from its own thread; the presenter shows the screen with the
// visible layers over it, in the order they were added, clipped to the
// screen. Whatever a layer changes (pixels, place, visibility, removal) is
// marked dirty on the screen, so the presenter shows it, and only there.
//
// Locks: the stack's, then a layer's; the screen's lock is never held while
// taking either, except by the presenter, which takes the screen's first.

#include "gfx/Surface.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace showsaver::gfx {

class LayerStack;

class Layer {
public:
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    Rect Area() const;
    bool IsVisible() const;
    // Moves the layer's top-left corner to `topLeft`.
    void MoveTo(Point topLeft);
    // Gives the layer a new place and size; the pixels of a new size start
    // black.
    void SetArea(const Rect& area);
    void SetVisible(bool visible);
    // Runs `draw` on the layer's pixels (layer coordinates, the layer's
    // size) under its lock, then shows the change.
    void Paint(const std::function<void(Surface&)>& draw);

private:
    friend class LayerStack;
    Layer(Surface& screen, const Rect& area, PixelSource source);
    // Calls `use` with the pixels and the area when the layer is visible.
    void IfVisible(const std::function<void(const Surface&, const Rect&)>& use) const;

    Surface& m_screen;
    const PixelSource m_source;
    mutable std::mutex m_mutex;
    Rect m_area;
    bool m_visible = false;
    Surface m_pixels;
};

// Removes its layer from the stack when it goes.
class LayerHandle {
public:
    LayerHandle() = default;
    LayerHandle(LayerStack* stack, Layer* layer) : m_stack(stack), m_layer(layer) {}
    LayerHandle(LayerHandle&& other) noexcept;
    LayerHandle& operator=(LayerHandle&& other) noexcept;
    LayerHandle(const LayerHandle&) = delete;
    LayerHandle& operator=(const LayerHandle&) = delete;
    ~LayerHandle() { Reset(); }

    // Removes the layer now; the screen beneath shows again.
    void Reset();
    explicit operator bool() const { return m_layer != nullptr; }
    Layer* operator->() const { return m_layer; }
    Layer& operator*() const { return *m_layer; }

private:
    LayerStack* m_stack = nullptr;
    Layer* m_layer = nullptr;
};

class LayerStack {
public:
    // The stack must outlive its layers' handles; `screen` outlives both.
    // Layers take their pixels from `source` (the heap when empty).
    explicit LayerStack(Surface& screen, PixelSource source = {})
        : m_screen(screen), m_source(std::move(source)) {}
    LayerStack(const LayerStack&) = delete;
    LayerStack& operator=(const LayerStack&) = delete;

    // A new layer at `area`, hidden until SetVisible(true), above every
    // earlier one. Null when the size is one a surface refuses.
    LayerHandle Add(const Rect& area);
    void Remove(Layer& layer);
    size_t Count() const;

    // Draws every visible layer over `target` (the screen's size and
    // coordinates), in order, inside `clip`.
    void ComposeOnto(Surface& target, const Rect& clip) const;
    // Calls `use` for every visible layer, in order, with its pixels and
    // area, each under the layer's lock: for presenters that draw with
    // their own means.
    void ForEachVisible(const std::function<void(const Surface&, const Rect&)>& use) const;

private:
    Surface& m_screen;
    const PixelSource m_source;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Layer>> m_layers;
};

} // namespace showsaver::gfx
