#pragma once
// The image codec layer: recognises picture files by their signature, reads
// BMP, JPEG, PNG, PCX and TGA pictures into 24-bit RGB images, resamples
// them, moves them to and from the engine's xRGB pixel buffers and writes
// BMP and JPEG files.
//
// Failures: a call that can fail returns an empty result (null, nullopt or
// false) and records the reason as the calling thread's last error, which
// only failures write. Bad input never crashes, and no reader allocates more
// than its input can describe (see codec/Limits.h for the bounds).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "codec/RgbImage.h"
#include "codec/Source.h"

namespace showsaver::codec {

// The error codes the codec records. ErrorText knows the fixed text of every
// code from 1 to 57; these are the ones this layer produces.
enum class ErrorCode : int {
    None = 0,
    OutOfMemory = 1,
    FileOpen = 2,
    FileRead = 3,
    FileWrite = 4,
    BadParameter = 5,
    BadBmp = 6,
    UnsupportedCompression = 7, // a BMP compression we do not decode
    BadJpeg = 9,
    BadPng = 15,
    PngInternal = 16,
    Internal = 17,
    BadPcx = 22,
    BadTga = 32,
};

// The fixed text of a code: "Unknown error" outside 1..57, "reserved value"
// for codes in that range that have no text of their own.
std::string_view ErrorText(int code);

// The code of this thread's last failed call; 0 before any failure.
int LastError();
// A short description of what exactly was wrong at the last failure (for
// logs and tests; the program itself only uses the code).
std::string_view LastErrorDetail();

// The size a picture's header announced when the last failure was its size
// (beyond kMaxPixels, or a side beyond kMaxSide); nothing after other failures.
struct PictureSize {
    int64_t width = 0;
    int64_t height = 0;
};
std::optional<PictureSize> LastRefusedSize();

// Format codes as GuessFormat reports them. Codes 9, 11 and 12 belong to
// encrypted containers whose signatures we do not know; they are never
// reported (such files come out as Unknown).
enum class Format : int {
    Unknown = 0,
    Bmp = 1,
    Gif = 2,
    Jpeg = 3,
    Png = 4,
    Pcx = 5,
    Tiff = 6,
    WindowsMetafile = 7,
    EnhancedMetafile = 8,
    Photoshop = 10,
    WbmpOrTga = 13,
    Tga = 14,
};

// Compares the first 44 bytes of the source (fewer when it is shorter) with
// the known signatures in a fixed order and returns the first match. A file
// source whose match is WbmpOrTga becomes Tga when its name ends in ".tga"
// (any case). Does not move the position. An empty source gives Unknown and
// error 3.
Format GuessFormat(const Source& source);

// Readers: decode the bytes from the source's current position to its end
// into an RGB image. On failure nullopt, and the last error is the format's
// "bad file" code (6, 9, 15, 22, 32), 7 for a BMP compression we do not
// decode, or 1 when the picture is larger than the codec accepts.
//
// BMP: 1, 2, 4, 8 bits with a palette, 16 and 32 bits with bit-field masks
//   (default 5-5-5 and 8-8-8), 24 bits; RLE8, RLE4; bottom-up and top-down;
//   Windows info headers (40 to 124 bytes) and the OS/2 core header. Pixels
//   an RLE image skips stay black.
// JPEG: through libjpeg-turbo: baseline, progressive, greyscale, YCbCr, RGB,
//   CMYK and YCCK. CMYK data is taken as inverted (Adobe's convention) when
//   the file has an Adobe marker, as plain ink amounts otherwise.
// PNG: through libpng: every colour type and bit depth, interlaced or not.
//   16-bit samples v become v × 255 / 65535, rounded down. Alpha (an alpha channel or tRNS)
//   is dropped: the colour channels come out as stored, not composited.
// PCX: 1, 2, 4 bits and 1-bit planes (2 to 4 planes) through the 16-colour
//   header palette, a single 1-bit plane as black and white, 8 bits through
//   the 256-colour trailer (a grey ramp when the trailer is missing), 24 and
//   32 bits in three or four planes (the fourth plane is dropped); RLE or raw.
// TGA: colour-mapped (8 or 16-bit indexes into a 15, 16, 24 or 32-bit map),
//   true colour (15, 16, 24, 32 bits), greyscale (8 bits, or 16 with alpha);
//   raw and RLE; any origin corner. 5-bit channels are widened by repeating
//   their high bits.
std::optional<RgbImage> ReadBmp(Source& source);
std::optional<RgbImage> ReadJpeg(Source& source);
std::optional<RgbImage> ReadPng(Source& source);
std::optional<RgbImage> ReadPcx(Source& source);
std::optional<RgbImage> ReadTga(Source& source);

// A JPEG decoded at the smallest of its whole, half, quarter and eighth sizes
// that is still at least width × height (its whole size when either is 0):
// libjpeg's scaled decoding, for a large photograph shown small, costs a
// fraction of decoding it whole. `fullSize` gets the picture's own size.
std::optional<RgbImage> ReadJpegScaled(Source& source, int width, int height, PictureSize& fullSize);

// Decodes a JPEG to its end without keeping its pixels, much faster than
// ReadJpeg, and returns its size: fails exactly where ReadJpeg would, with
// the same last error.
std::optional<PictureSize> CheckJpeg(Source& source);

// Resamples `source` to width × height: each output pixel is the area-
// weighted average of the source pixels it covers along an axis that
// shrinks, and the bilinear interpolation of the nearest source pixels along
// an axis that grows. Error 5 for an empty source or a size below 1, 1 for
// a size beyond the codec's pixel limit.
std::optional<RgbImage> Resample(const RgbImage& source, int width, int height);
// The same from a source that is used up: its rows go back to the system
// as they are read, so that the picture is not held beside its resampling
// buffers. The source is empty afterwards, whatever the outcome.
std::optional<RgbImage> Resample(RgbImage&& source, int width, int height);
// The same into a caller's buffer of exactly width × height × 3 bytes.
bool ResampleInto(const RgbImage& source, std::span<uint8_t> destination, int width, int height);

// Writers. Both replace the file at `path`; on failure they remove what they
// wrote and record error 2 (cannot create), 4 (write failed) or 5 (empty
// image, quality outside 1..100, too large for the format).
// BMP: 24 bits, bottom-up, rows padded to 4 bytes, 40-byte info header.
bool WriteBmp(const std::filesystem::path& path, const RgbImage& image);
// JPEG: baseline, JFIF with the default density, 2×2 chroma subsampling.
bool WriteJpeg(const std::filesystem::path& path, const RgbImage& image, int quality = 100);

// The engine's pixel buffers hold native-endian 32-bit pixels 0x00RRGGBB
// (cairo's RGB24), rows `strideBytes` apart (a multiple of 4).
//
// Writes the image into the top-left of `destination`, which has room for
// at least the image's size; the high byte of each pixel written is 0.
void RgbToXrgb(const RgbImage& image, uint32_t* destination, size_t strideBytes);
// Reads width × height pixels; the high byte is ignored. Empty image, with
// error 5, for a size below 1 or a stride shorter than a row.
RgbImage XrgbToRgb(const uint32_t* source, int width, int height, size_t strideBytes);
// Draws the image with its top-left at (x, y) into a destination of
// destinationWidth × destinationHeight pixels, clipped to it, leaving every
// destination pixel unchanged where the image has exactly the colour
// (r, g, b).
void DrawRgbKeyed(const RgbImage& image, uint32_t* destination, size_t strideBytes,
                  int destinationWidth, int destinationHeight, int x, int y,
                  uint8_t r, uint8_t g, uint8_t b);

} // namespace showsaver::codec
