#pragma once
// How large a picture the readers agree to allocate. Every reader checks the
// announced size against two bounds before it allocates anything:
//  - what its input can describe: an uncompressed format needs all its
//    pixel bytes present; a compressed one is allowed a fixed, generous
//    number of pixels per input byte (below);
//  - an absolute cap, so that even a consistent file cannot ask for more
//    than a screensaver picture could ever need.

#include "gfx/PixelLimits.h"

#include <cstdint>

namespace showsaver::codec {

// What a drawing surface takes: 128 megapixels (384 MiB of RGB), at most
// 32767 on a side. A larger picture could be read but never drawn.
inline constexpr uint64_t kMaxPixels = static_cast<uint64_t>(gfx::kMaxPicturePixels);
inline constexpr int64_t kMaxSide = gfx::kMaxPictureSide;

// Pixels per input byte allowed to compressed formats whose densest valid
// encoding we cannot bound exactly: BMP RLE (whose escapes can skip whole
// rows) and JPEG (a flat Huffman-coded JPEG stays below 512 pixels a byte).
inline constexpr uint64_t kMaxPixelsPerCompressedByte = 1024;

// Deflate never expands one input byte into more than 1032 output bytes;
// PNG's filtered rows are bounded by this times the file size.
inline constexpr uint64_t kMaxDeflateRatio = 1032;

// Files larger than this are refused before they are read into memory.
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

// A progressive JPEG needs about ten scans; libjpeg decodes every scan over
// the whole image, so a file made of thousands of tiny scans would take
// minutes. Files with more scans than this are refused.
inline constexpr int kMaxJpegScans = 100;

} // namespace showsaver::codec
