#include "codec/RgbImage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace showsaver::codec {

RgbImage RgbImage::Uninitialized(int width, int height) {
    RgbImage image;
    if (width <= 0 || height <= 0) return image;
    image.m_width = width;
    image.m_height = height;
    image.m_pixels = std::make_unique_for_overwrite<uint8_t[]>(image.SizeBytes());
    return image;
}

RgbImage RgbImage::Black(int width, int height) {
    RgbImage image = Uninitialized(width, height);
    std::fill_n(image.Data(), image.SizeBytes(), uint8_t{0});
    return image;
}

RgbImage RgbImage::Clone() const {
    RgbImage copy = Uninitialized(m_width, m_height);
    if (!Empty()) std::memcpy(copy.Data(), Data(), SizeBytes());
    return copy;
}

void RgbImage::GiveBackRowsBefore(int row) {
    if (Empty() || row <= 0) return;
    static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(m_pixels.get());
    const size_t done = Stride() * static_cast<size_t>(std::min(row, m_height));
    // Whole pages only: the first and last may hold bytes of other blocks.
    const uintptr_t from = (start + m_givenBack + page - 1) & ~(page - 1);
    const uintptr_t to = (start + done) & ~(page - 1);
    if (to <= from) return;
    madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    m_givenBack = to - start;
}

} // namespace showsaver::codec
