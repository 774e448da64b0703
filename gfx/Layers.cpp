#include "gfx/Layers.h"

#include <algorithm>
#include <utility>

namespace showsaver::gfx {

Layer::Layer(Surface& screen, const Rect& area, PixelSource source)
    : m_screen(screen), m_source(std::move(source)), m_area(area), m_pixels(area.Width(), area.Height(), m_source) {}

Rect Layer::Area() const {
    std::lock_guard lock(m_mutex);
    return m_area;
}

bool Layer::IsVisible() const {
    std::lock_guard lock(m_mutex);
    return m_visible;
}

void Layer::MoveTo(Point topLeft) {
    Rect before, after;
    {
        std::lock_guard lock(m_mutex);
        before = m_area;
        m_area = {topLeft.x, topLeft.y, topLeft.x + before.Width(), topLeft.y + before.Height()};
        after = m_area;
        if (!m_visible) return;
    }
    m_screen.MarkDirty(before.United(after));
}

void Layer::SetArea(const Rect& area) {
    Rect before;
    bool visible;
    {
        // Made before the lock: a failed allocation changes nothing.
        Surface pixels;
        bool resized = area.Width() != m_area.Width() || area.Height() != m_area.Height();
        if (resized) pixels = Surface(area.Width(), area.Height(), m_source);
        std::lock_guard lock(m_mutex);
        before = std::exchange(m_area, area);
        if (resized) m_pixels = std::move(pixels);
        visible = m_visible;
    }
    if (visible) m_screen.MarkDirty(before.United(area));
}

void Layer::SetVisible(bool visible) {
    Rect area;
    {
        std::lock_guard lock(m_mutex);
        if (m_visible == visible) return;
        m_visible = visible;
        area = m_area;
    }
    m_screen.MarkDirty(area);
}

void Layer::Paint(const std::function<void(Surface&)>& draw) {
    Rect area;
    bool visible;
    {
        std::lock_guard lock(m_mutex);
        draw(m_pixels);
        area = m_area;
        visible = m_visible;
    }
    if (visible) m_screen.MarkDirty(area);
}

void Layer::IfVisible(const std::function<void(const Surface&, const Rect&)>& use) const {
    std::lock_guard lock(m_mutex);
    if (m_visible) use(m_pixels, m_area);
}

LayerHandle::LayerHandle(LayerHandle&& other) noexcept
    : m_stack(std::exchange(other.m_stack, nullptr)), m_layer(std::exchange(other.m_layer, nullptr)) {}

LayerHandle& LayerHandle::operator=(LayerHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        m_stack = std::exchange(other.m_stack, nullptr);
        m_layer = std::exchange(other.m_layer, nullptr);
    }
    return *this;
}

void LayerHandle::Reset() {
    if (m_stack && m_layer) m_stack->Remove(*m_layer);
    m_stack = nullptr;
    m_layer = nullptr;
}

LayerHandle LayerStack::Add(const Rect& area) {
    if (area.Width() < 0 || area.Height() < 0 || area.Width() > Surface::kMaxDimension ||
        area.Height() > Surface::kMaxDimension ||
        int64_t{area.Width()} * area.Height() > Surface::kMaxPixels)
        return {};
    std::unique_ptr<Layer> layer(new Layer(m_screen, area, m_source));
    Layer* raw = layer.get();
    std::lock_guard lock(m_mutex);
    m_layers.push_back(std::move(layer));
    return {this, raw};
}

void LayerStack::Remove(Layer& layer) {
    std::unique_ptr<Layer> gone;
    {
        std::lock_guard lock(m_mutex);
        auto found = std::find_if(m_layers.begin(), m_layers.end(), [&](const auto& l) { return l.get() == &layer; });
        if (found == m_layers.end()) return;
        gone = std::move(*found);
        m_layers.erase(found);
    }
    if (gone->IsVisible()) m_screen.MarkDirty(gone->Area());
}

size_t LayerStack::Count() const {
    std::lock_guard lock(m_mutex);
    return m_layers.size();
}

void LayerStack::ForEachVisible(const std::function<void(const Surface&, const Rect&)>& use) const {
    std::lock_guard lock(m_mutex);
    for (const auto& layer : m_layers) layer->IfVisible(use);
}

void LayerStack::ComposeOnto(Surface& target, const Rect& clip) const {
    Rect bounds = clip.Intersected(target.Bounds());
    ForEachVisible([&](const Surface& pixels, const Rect& area) {
        Rect shown = area.Intersected(bounds);
        for (int y = shown.top; y < shown.bottom; ++y) {
            const uint32_t* from = pixels.Row(y - area.top) + (shown.left - area.left);
            std::copy_n(from, shown.Width(), target.Row(y) + shown.left);
        }
    });
}

} // namespace showsaver::gfx
