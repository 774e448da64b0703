#pragma once
// Shared by the codec's own source files: the error value that every step
// returns, the bounds checks before allocation, little-endian loads, and the
// public boundary that turns a step's error into the thread's last error.

#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>

#include "codec/Codec.h"
#include "codec/Limits.h"
#include "platform/sys/Result.h"

namespace showsaver::codec::detail {

// What failed: the code the program sees and a fixed sentence for people.
struct CodecError {
    ErrorCode code;
    const char* what;
};

template <typename T>
using Result = showsaver::Result<T, CodecError>;
using Status = showsaver::Status<CodecError>;

// Writes the calling thread's last error (Errors.cpp).
void RecordError(const CodecError& error);
// The announced size of a picture refused for its size; the next RecordError
// makes it this thread's LastRefusedSize.
void NoteRefusedSize(int64_t width, int64_t height);

// Runs a reader's steps at the public boundary: its error, or a failed
// allocation, becomes the thread's last error and an empty result.
template <typename T = RgbImage, typename Step>
std::optional<T> AtBoundary(Step&& step) {
    try {
        Result<T> result = step();
        if (!result) {
            RecordError(result.Error());
            return std::nullopt;
        }
        return std::move(*result);
    } catch (const std::bad_alloc&) {
        RecordError({ErrorCode::OutOfMemory, "an allocation failed"});
    } catch (const std::length_error&) {
        RecordError({ErrorCode::OutOfMemory, "an allocation was too large"});
    }
    return std::nullopt;
}

// Checks an announced picture size before anything is allocated for it.
// `describable` is the number of pixels the input could hold at most; a
// size beyond it fails with the format's code, a size beyond kMaxPixels
// with OutOfMemory.
// Whether a surface could draw a picture of this size; when not, the size is
// noted (NoteRefusedSize) whatever failure the reader reports, so that the
// caller can name it.
inline bool NoteIfTooLarge(int64_t width, int64_t height) {
    const bool tooLarge = width > kMaxSide || height > kMaxSide || static_cast<uint64_t>(width * height) > kMaxPixels;
    if (tooLarge) NoteRefusedSize(width, height);
    return tooLarge;
}

inline Status CheckPictureSize(int64_t width, int64_t height, uint64_t describable, ErrorCode code) {
    if (width <= 0 || height <= 0) return CodecError{code, "the picture has no pixels"};
    const bool tooLarge = NoteIfTooLarge(width, height);
    if (static_cast<uint64_t>(width) > kMaxPixels || static_cast<uint64_t>(height) > kMaxPixels) return CodecError{code, "a side is implausibly long"};
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixels > describable) return CodecError{code, "the header announces more pixels than the data can hold"};
    if (tooLarge) return CodecError{ErrorCode::OutOfMemory, "the picture is larger than the codec accepts"};
    return {};
}

// a × b, saturated, for bounds that must not wrap.
inline uint64_t SaturatingMultiply(uint64_t a, uint64_t b) {
    if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
    return a * b;
}

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t LeSigned32(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// Widens a channel of `bits` bits (1 to 8) to 8 bits by repeating its high
// bits below it: 5-bit 31 becomes 255, 16 becomes 132.
inline uint8_t WidenChannel(uint32_t value, int bits) {
    uint32_t wide = value << (8 - bits);
    for (int filled = bits; filled < 8; filled += bits) wide |= wide >> bits;
    return static_cast<uint8_t>(wide);
}

// Rounded a × b / 255 for a, b in 0..255.
inline uint8_t MultiplyScaled(uint32_t a, uint32_t b) {
    const uint32_t t = a * b + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

} // namespace showsaver::codec::detail
