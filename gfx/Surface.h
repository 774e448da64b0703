#pragma once
// A bitmap: width × height 32-bit xRGB pixels laid out exactly like cairo's
// CAIRO_FORMAT_RGB24 image data, so that cairo and Pango can draw into the
// same memory that the blits copy with plain row loops.
//
// A surface may be drawn into from one thread while another reads it (the
// scene thread draws into the screen surface, the UI thread presents it).
// Every drawing call therefore takes the surface's lock for that one call
// through LockForDrawing, which also widens the dirty rectangle; the
// presenter takes the dirty rectangle with TakeDirty and reads the pixels
// under LockForReading.

#include "gfx/Geometry.h"
#include "gfx/PixelAllocator.h"
#include "gfx/PixelLimits.h"
#include "gfx/PixelMemory.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <functional>
#include <mutex>
#include <vector>

namespace showsaver::gfx {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;

class Surface {
public:
    // Larger sizes are refused: cairo draws into at most 32767 × 32767, and a
    // bad show must not make us allocate gigabytes.
    static constexpr int kMaxDimension = kMaxPictureSide;
    static constexpr int64_t kMaxPixels = kMaxPicturePixels;   // 512 MiB of pixels

    // Holds a surface's lock (or the two locks of a copy) for one call.
    class [[nodiscard]] Lock {
    public:
        Lock() = default;

    private:
        friend class Surface;
        std::unique_lock<std::mutex> m_first;
        std::unique_lock<std::mutex> m_second;
    };

    // A 0 × 0 surface.
    Surface() noexcept;
    // A black surface of width × height. Throws std::length_error when a side
    // is negative or the size is above the limits, std::bad_alloc when the
    // memory cannot be had.
    Surface(int width, int height);
    // The same with its pixels in memory from `source` (the heap when the
    // source is empty or gives none).
    Surface(int width, int height, const PixelSource& source);
    // The same, shared, or null for a size that Surface(width, height) refuses.
    static std::shared_ptr<Surface> Create(int width, int height) noexcept;
    static std::shared_ptr<Surface> Create(int width, int height, const PixelSource& source) noexcept;

    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface();

    // A copy of the pixels (not of the dirty rectangle).
    [[nodiscard]] Surface Clone() const;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    gfx::Size Size() const { return {m_width, m_height}; }
    Rect Bounds() const { return {0, 0, m_width, m_height}; }
    // Bytes from one row to the next (cairo_format_stride_for_width).
    int Stride() const { return m_pitch * 4; }
    // Pixels from one row to the next.
    int Pitch() const { return m_pitch; }

    // The first pixel of row y, 0 <= y < Height(). Callers clip.
    uint32_t* Row(int y) { return m_data + static_cast<size_t>(y) * static_cast<size_t>(m_pitch); }
    const uint32_t* Row(int y) const { return m_data + static_cast<size_t>(y) * static_cast<size_t>(m_pitch); }
    uint8_t* Data() { return reinterpret_cast<uint8_t*>(m_data); }
    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(m_data); }
    // The memory the pixels live in when a PixelSource gave it, else null.
    PixelMemory* Memory() const { return m_memory.get(); }

    // The pixel at (x, y) as 0x00RRGGBB, or 0 outside the surface.
    uint32_t Pixel(int x, int y) const;

    // Locks the surface for one drawing call and widens the dirty rectangle
    // by `area` clipped to the surface.
    Lock LockForDrawing(const Rect& area);
    // Locks two surfaces for a copy from `source` into this one (in a fixed
    // order, so two opposite copies cannot deadlock); `source` may be this.
    Lock LockForCopy(const Rect& area, const Surface& source);
    // Locks the surface for reading its pixels, leaving the dirty rectangle.
    Lock LockForReading() const;
    // Returns the rectangle drawn since the last call and clears it.
    Rect TakeDirty();
    // Widens the dirty rectangle without drawing: something above the
    // pixels (a layer) changed there.
    void MarkDirty(const Rect& area);
    // Called, under the surface's lock, whenever the dirty rectangle stops
    // being empty, so that a presenter can wake only when there is
    // something to show. Set it before other threads draw.
    void SetDirtyNotifier(std::function<void()> notifier) { m_onDirty = std::move(notifier); }

    // A cairo image surface over these pixels, for pens and text. It is valid
    // while this surface lives and is not moved or assigned; null on failure.
    CairoSurfacePtr CreateCairoSurface();

private:
    void Widen(const Rect& area);

    int m_width = 0;
    int m_height = 0;
    int m_pitch = 0;
    std::vector<uint32_t, PixelAllocator<uint32_t>> m_pixels;   // empty when m_memory holds them
    std::unique_ptr<PixelMemory> m_memory;
    uint32_t* m_data = nullptr;
    // Behind a pointer so the surface stays nothrow movable. Null in a
    // default-constructed or moved-from surface, which is 0 × 0 and so has
    // nothing to protect.
    std::unique_ptr<std::mutex> m_mutex;
    Rect m_dirty;
    std::function<void()> m_onDirty;
};

} // namespace showsaver::gfx
