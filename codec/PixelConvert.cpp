// Moves RGB images to and from the engine's xRGB pixel buffers: native-
// endian 32-bit pixels 0x00RRGGBB, rows `strideBytes` apart.

#include <algorithm>

#include "codec/CodecInternal.h"

namespace showsaver::codec {
namespace {

uint32_t* RowAt(uint32_t* base, size_t strideBytes, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(base) + strideBytes * static_cast<size_t>(y));
}
const uint32_t* RowAt(const uint32_t* base, size_t strideBytes, int y) {
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(base) + strideBytes * static_cast<size_t>(y));
}

uint32_t ToXrgb(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }

} // namespace

void RgbToXrgb(const RgbImage& image, uint32_t* destination, size_t strideBytes) {
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* src = image.Row(y);
        uint32_t* dst = RowAt(destination, strideBytes, y);
        for (int x = 0; x < image.Width(); ++x, src += 3) dst[x] = ToXrgb(src);
    }
}

RgbImage XrgbToRgb(const uint32_t* source, int width, int height, size_t strideBytes) {
    if (source == nullptr || width <= 0 || height <= 0 || strideBytes < static_cast<size_t>(width) * 4) {
        detail::RecordError({ErrorCode::BadParameter, "the pixel buffer's size or stride is invalid"});
        return {};
    }
    RgbImage image;
    try {
        image = RgbImage::Uninitialized(width, height);
    } catch (const std::bad_alloc&) {
        detail::RecordError({ErrorCode::OutOfMemory, "no memory for the RGB image"});
        return {};
    }
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = RowAt(source, strideBytes, y);
        uint8_t* dst = image.Row(y);
        for (int x = 0; x < width; ++x, dst += 3) {
            dst[0] = static_cast<uint8_t>(src[x] >> 16);
            dst[1] = static_cast<uint8_t>(src[x] >> 8);
            dst[2] = static_cast<uint8_t>(src[x]);
        }
    }
    return image;
}

void DrawRgbKeyed(const RgbImage& image, uint32_t* destination, size_t strideBytes, int destinationWidth,
                  int destinationHeight, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    // Clip the image's rectangle to the destination, in 64 bits so that no
    // position or size can overflow.
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + image.Width(), destinationWidth);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + image.Height(), destinationHeight);
    if (left >= right || top >= bottom) return;
    const uint32_t key = uint32_t{r} << 16 | uint32_t{g} << 8 | b;
    for (int64_t row = top; row < bottom; ++row) {
        const uint8_t* src = image.Row(static_cast<int>(row - y)) + 3 * static_cast<size_t>(left - x);
        uint32_t* dst = RowAt(destination, strideBytes, static_cast<int>(row));
        for (int64_t column = left; column < right; ++column, src += 3) {
            const uint32_t pixel = ToXrgb(src);
            if (pixel != key) dst[column] = pixel;
        }
    }
}

} // namespace showsaver::codec
