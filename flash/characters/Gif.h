#pragma once
// A small GIF reader for the bitmaps of DefineBitsJPEG2/3, which may hold a
// GIF file instead of a JPEG: the first image of a GIF87a or GIF89a file,
// with its colour table and its transparent index. Animation, other images
// and comments are left alone.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "flash/format/Limits.h"

namespace showsaver::flash {

struct GifImage {
    int screenWidth = 0, screenHeight = 0;   // the logical screen: the bitmap's size
    int left = 0, top = 0;                   // where the image sits on it
    int width = 0, height = 0;               // the image; it may reach past the screen
    std::vector<uint8_t> indices;            // width × height, top row first (interlacing undone)
    std::array<uint32_t, 256> palette{};     // premultiplied ARGB; the transparent index is 0
};

// True when `data` starts like a GIF file.
bool LooksLikeGif(std::span<const uint8_t> data);

// Decodes the first image. Nullopt when the file is no GIF, has no image,
// or asks for a screen or image past the bitmap limits or `budget` (the
// index buffer is charged before it is made). Damaged or missing image
// data ends the image: the pixels not reached keep index 0.
std::optional<GifImage> DecodeGif(std::span<const uint8_t> data, MemoryBudget& budget);

} // namespace showsaver::flash
