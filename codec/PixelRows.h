#pragma once
// Row conversions the readers and writers share, with SSSE3 versions chosen
// at run time on x86 (the byte shuffles are most of a raw BMP's or TGA's
// decoding time).

#include <cstddef>
#include <cstdint>

namespace showsaver::codec::detail {

// `count` 3-byte pixels from src to dst with the first and third byte of
// each swapped: BGR to RGB and back. src and dst may be the same.
void SwapRedBlue(const uint8_t* src, uint8_t* dst, size_t count);

// `count` 4-byte B, G, R, x pixels from src to 3-byte R, G, B pixels.
void BgrxToRgb(const uint8_t* src, uint8_t* dst, size_t count);

// `count` pixels from three planes of one byte each (red, green, blue rows)
// to 3-byte R, G, B pixels.
void PlanesToRgb(const uint8_t* red, const uint8_t* green, const uint8_t* blue, uint8_t* dst, size_t count);

} // namespace showsaver::codec::detail
