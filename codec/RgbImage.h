#pragma once
// The picture exchange format between the codec layer and the rest of the
// engine: 3 bytes per pixel in the order R, G, B, rows from top to bottom
// with no padding, width × height × 3 bytes in one block.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace showsaver::codec {

class RgbImage {
public:
    RgbImage() = default;
    RgbImage(RgbImage&&) noexcept = default;
    RgbImage& operator=(RgbImage&&) noexcept = default;
    RgbImage(const RgbImage&) = delete;
    RgbImage& operator=(const RgbImage&) = delete;

    // Allocates width × height pixels whose bytes are left unset. A width or
    // height of 0 or less gives an empty image. Throws std::bad_alloc; the
    // readers check the size against their limits before calling this.
    static RgbImage Uninitialized(int width, int height);
    // The same, every byte 0 (black).
    static RgbImage Black(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Empty() const { return m_pixels == nullptr; }
    size_t Stride() const { return static_cast<size_t>(m_width) * 3; }
    size_t SizeBytes() const { return Stride() * static_cast<size_t>(m_height); }

    uint8_t* Data() { return m_pixels.get(); }
    const uint8_t* Data() const { return m_pixels.get(); }
    uint8_t* Row(int y) { return m_pixels.get() + Stride() * static_cast<size_t>(y); }
    const uint8_t* Row(int y) const { return m_pixels.get() + Stride() * static_cast<size_t>(y); }
    std::span<uint8_t> Bytes() { return {m_pixels.get(), SizeBytes()}; }
    std::span<const uint8_t> Bytes() const { return {m_pixels.get(), SizeBytes()}; }

    // A deep copy (images are move-only so that copies are never accidental).
    RgbImage Clone() const;

    // Gives the memory pages that hold only rows before `row` back to the
    // system, for a reader that consumes the image from the top and is done
    // with them: their bytes read as anything afterwards. A picture being
    // converted or resampled so need not live twice in memory.
    void GiveBackRowsBefore(int row);

private:
    int m_width = 0;
    int m_height = 0;
    std::unique_ptr<uint8_t[]> m_pixels;
    size_t m_givenBack = 0;   // bytes from the start whose pages went back
};

} // namespace showsaver::codec
