#pragma once
// The largest picture the engine holds in memory. One limit for the readers
// that decode pictures and the surfaces that draw them, so that a picture
// that can be read can also be drawn.

#include <cstdint>

namespace showsaver::gfx {

// cairo draws into at most 32767 × 32767.
inline constexpr int kMaxPictureSide = 32767;
// 128 megapixels: 512 MiB of xRGB.
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 27;

} // namespace showsaver::gfx
