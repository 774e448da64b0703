#include "codec/RgbImage.h"

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

} // namespace showsaver::codec
