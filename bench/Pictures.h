#pragma once
// Pictures the benchmarks draw for themselves.

#include "codec/Codec.h"

#include <algorithm>
#include <cmath>

namespace showsaver::bench {

// A photograph-like picture: smooth gradients with a little grain.
inline codec::RgbImage Photograph(int width, int height) {
    auto image = codec::RgbImage::Uninitialized(width, height);
    uint32_t grain = 7;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            grain = grain * 1103515245u + 12345u;
            int noise = static_cast<int>((grain >> 16) & 15) - 8;
            double u = x / double(width), v = y / double(height);
            row[3 * x] = static_cast<uint8_t>(std::clamp(int(200 * v + 40 * std::sin(9 * u)) + noise, 0, 255));
            row[3 * x + 1] = static_cast<uint8_t>(std::clamp(int(120 + 90 * std::cos(5 * u + 3 * v)) + noise, 0, 255));
            row[3 * x + 2] = static_cast<uint8_t>(std::clamp(int(230 - 180 * v) + noise, 0, 255));
        }
    }
    return image;
}

} // namespace showsaver::bench
