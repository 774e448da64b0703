#include "gfx/Surface.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace showsaver::gfx {

Surface::Surface() noexcept = default;

Surface::Surface(int width, int height) : Surface(width, height, PixelSource{}) {}

Surface::Surface(int width, int height, const PixelSource& source) {
    if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension ||
        int64_t{width} * height > kMaxPixels)
        throw std::length_error("surface size out of range");
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    if (stride < 0 || stride % 4 != 0) throw std::length_error("surface size out of range");
    m_pitch = stride / 4;
    size_t count = static_cast<size_t>(m_pitch) * static_cast<size_t>(height);
    if (source && count > 0) m_memory = source(count * sizeof(uint32_t));
    if (m_memory) {
        m_data = static_cast<uint32_t*>(m_memory->Data());
    } else {
        m_pixels.assign(count, 0);
        m_data = m_pixels.data();
    }
    m_mutex = std::make_unique<std::mutex>();
    m_width = width;
    m_height = height;
}

std::shared_ptr<Surface> Surface::Create(int width, int height) noexcept { return Create(width, height, {}); }

std::shared_ptr<Surface> Surface::Create(int width, int height, const PixelSource& source) noexcept {
    try {
        return std::make_shared<Surface>(width, height, source);
    } catch (const std::length_error&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Surface::Surface(Surface&& other) noexcept
    : m_width(std::exchange(other.m_width, 0)),
      m_height(std::exchange(other.m_height, 0)),
      m_pitch(std::exchange(other.m_pitch, 0)),
      m_pixels(std::move(other.m_pixels)),
      m_memory(std::move(other.m_memory)),
      m_data(std::exchange(other.m_data, nullptr)),
      m_mutex(std::move(other.m_mutex)),
      m_dirty(std::exchange(other.m_dirty, Rect{})), m_onDirty(std::move(other.m_onDirty)) {
    other.m_pixels.clear();
}

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this != &other) {
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_pitch = std::exchange(other.m_pitch, 0);
        m_pixels = std::move(other.m_pixels);
        other.m_pixels.clear();
        m_memory = std::move(other.m_memory);
        m_data = std::exchange(other.m_data, nullptr);
        m_mutex = std::move(other.m_mutex);
        m_dirty = std::exchange(other.m_dirty, Rect{});
        m_onDirty = std::move(other.m_onDirty);
    }
    return *this;
}

Surface::~Surface() = default;

Surface Surface::Clone() const {
    Surface copy(m_width, m_height);
    auto lock = LockForReading();
    if (m_data) std::memcpy(copy.m_data, m_data, static_cast<size_t>(Stride()) * static_cast<size_t>(m_height));
    return copy;
}

uint32_t Surface::Pixel(int x, int y) const {
    if (!Bounds().Contains({x, y})) return 0;
    return Row(y)[x] & 0x00FFFFFFu;
}

void Surface::Widen(const Rect& area) {
    Rect clipped = area.Intersected(Bounds());
    if (clipped.IsEmpty()) return;
    bool wasClean = m_dirty.IsEmpty();
    m_dirty.Unite(clipped);
    if (wasClean && m_onDirty) m_onDirty();
}

void Surface::MarkDirty(const Rect& area) {
    if (!m_mutex) return;
    std::lock_guard guard(*m_mutex);
    Widen(area);
}

Surface::Lock Surface::LockForDrawing(const Rect& area) {
    Lock lock;
    if (m_mutex) lock.m_first = std::unique_lock(*m_mutex);
    Widen(area);
    return lock;
}

Surface::Lock Surface::LockForCopy(const Rect& area, const Surface& source) {
    if (&source == this || !source.m_mutex) return LockForDrawing(area);
    if (!m_mutex) return source.LockForReading();
    Lock lock;
    lock.m_first = std::unique_lock(*m_mutex, std::defer_lock);
    lock.m_second = std::unique_lock(*source.m_mutex, std::defer_lock);
    std::lock(lock.m_first, lock.m_second);
    Widen(area);
    return lock;
}

Surface::Lock Surface::LockForReading() const {
    Lock lock;
    if (m_mutex) lock.m_first = std::unique_lock(*m_mutex);
    return lock;
}

Rect Surface::TakeDirty() {
    if (!m_mutex) return {};
    std::lock_guard guard(*m_mutex);
    return std::exchange(m_dirty, Rect{});
}

CairoSurfacePtr Surface::CreateCairoSurface() {
    // cairo keeps a pointer to the data; a 0 × 0 surface still gets a valid
    // (empty) cairo surface so callers need no special case.
    static_assert(sizeof(uint32_t) == 4);
    unsigned char* data = m_data ? Data() : nullptr;
    CairoSurfacePtr surface(
        cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, m_width, m_height, Stride()));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return surface;
}

} // namespace showsaver::gfx
