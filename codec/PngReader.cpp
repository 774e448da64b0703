// PNG reader over libpng. libpng reports errors by calling our handler,
// which longjmps back into the small guarded function that called libpng
// (ReadInfoGuarded, SetUpTransformsGuarded, ReadRowsGuarded); their locals
// are trivially destructible, while PngReadStructs, which owns libpng's
// pair of structs, and the output image live in the caller.
//
// Every picture comes out as 8-bit RGB: palettes expanded, grey widened to
// three channels, 16-bit samples scaled down, alpha dropped (the colour channels
// as stored, not composited over anything).

#include <png.h>

#include <cstring>
#include <vector>

#include "codec/CodecInternal.h"

namespace showsaver::codec {
namespace {

using detail::CheckPictureSize;
using detail::CodecError;
using detail::Result;
using detail::Status;

constexpr size_t kSignatureBytes = 8;
// libpng's own defaults, stated here so a distribution's build cannot widen
// them: the largest side and the most memory one ancillary chunk may take.
constexpr uint32_t kMaxSide = 1000000;
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct PngInput {
    const uint8_t* data;
    size_t size;
    size_t at;
};

void ReadInput(png_structp png, png_bytep out, size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (count > input->size - input->at) png_error(png, "the PNG data ends early");
    std::memcpy(out, input->data + input->at, count);
    input->at += count;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

class PngReadStructs {
public:
    PngReadStructs() {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
        if (png) info = png_create_info_struct(png);
    }
    ~PngReadStructs() { png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr); }
    PngReadStructs(const PngReadStructs&) = delete;
    PngReadStructs& operator=(const PngReadStructs&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
};

bool ReadInfoGuarded(png_structp png, png_infop info, PngInput* input) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, input, ReadInput);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);
    return true;
}

// Runs after libpng's own transforms: 16-bit RGB samples to 8 bits by
// v × 255 / 65535 rounded down, the conversion ImageMagick makes, so that
// both decoders agree to the last bit.
void SixteenToEightBits(png_structp, png_row_infop row, png_bytep data) {
    if (row->bit_depth != 16) return;
    const size_t samples = static_cast<size_t>(row->width) * row->channels;
    for (size_t i = 0; i < samples; ++i) data[i] = static_cast<png_byte>((data[2 * i] << 8 | data[2 * i + 1]) / 257);
    row->bit_depth = 8;
    row->pixel_depth = static_cast<png_byte>(8 * row->channels);
    row->rowbytes = samples;
}

bool SetUpTransformsGuarded(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int colorType = png_get_color_type(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    if (png_get_bit_depth(png, info) == 16) {
        png_set_read_user_transform_fn(png, SixteenToEightBits);
        png_set_user_transform_info(png, nullptr, 8, 3);
    }
    // Also removes the alpha that a palette's tRNS would otherwise become.
    png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadRowsGuarded(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

// The filtered rows of a non-interlaced picture; an interlaced one needs a
// little more, so this is a lower bound of what the deflate data expands to.
uint64_t FilteredBytes(uint64_t width, uint64_t height, int channels, int bitDepth) {
    const uint64_t rowBits = detail::SaturatingMultiply(width, static_cast<uint64_t>(channels * bitDepth));
    return detail::SaturatingMultiply(height, rowBits / 8 + 2);
}

int Channels(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
    }
}

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// libpng allocates an ancillary chunk's buffer from its length field before
// it reads the data, so a tiny file could make it allocate gigabytes. Every
// chunk up to IEND must therefore lie inside the data before libpng sees it;
// a file may end early only between chunks.
Status CheckChunksFit(std::span<const uint8_t> data) {
    constexpr uint32_t kIend = 0x49454E44;
    size_t at = kSignatureBytes;
    while (data.size() - at >= 8) {
        const uint64_t length = Be32(&data[at]);
        if (length + 12 > data.size() - at) return CodecError{ErrorCode::BadPng, "a chunk runs past the end of the data"};
        const uint32_t type = Be32(&data[at + 4]);
        at += 12 + length;
        if (type == kIend) break;
    }
    return {};
}

Result<RgbImage> DecodePng(std::span<const uint8_t> data) {
    if (data.size() < kSignatureBytes || png_sig_cmp(data.data(), 0, kSignatureBytes) != 0)
        return CodecError{ErrorCode::BadPng, "the PNG signature is missing"};
    if (auto chunks = CheckChunksFit(data); !chunks) return chunks.Error();
    PngReadStructs structs;
    if (!structs.png || !structs.info) return CodecError{ErrorCode::PngInternal, "libpng could not be set up"};
    PngInput input{data.data(), data.size(), 0};
    if (!ReadInfoGuarded(structs.png, structs.info, &input))
        return CodecError{ErrorCode::BadPng, "libpng refused the header"};

    const uint32_t width = png_get_image_width(structs.png, structs.info);
    const uint32_t height = png_get_image_height(structs.png, structs.info);
    const uint64_t filtered = FilteredBytes(width, height, Channels(png_get_color_type(structs.png, structs.info)),
                                            png_get_bit_depth(structs.png, structs.info));
    detail::NoteIfTooLarge(width, height);
    // Deflate's ratio bounds the data; the picture's pixels cannot outnumber
    // its filtered bytes by more than 8 (1-bit samples).
    if (filtered > detail::SaturatingMultiply(data.size(), kMaxDeflateRatio))
        return CodecError{ErrorCode::BadPng, "the header announces more pixels than the data can hold"};
    if (auto size = CheckPictureSize(width, height, UINT64_MAX, ErrorCode::BadPng); !size) return size.Error();

    if (!SetUpTransformsGuarded(structs.png, structs.info))
        return CodecError{ErrorCode::BadPng, "libpng refused the picture's format"};
    if (png_get_channels(structs.png, structs.info) != 3 || png_get_bit_depth(structs.png, structs.info) != 8 ||
        png_get_rowbytes(structs.png, structs.info) != size_t{width} * 3)
        return CodecError{ErrorCode::PngInternal, "libpng did not produce 8-bit RGB"};

    RgbImage image = RgbImage::Uninitialized(static_cast<int>(width), static_cast<int>(height));
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = image.Row(static_cast<int>(y));
    if (!ReadRowsGuarded(structs.png, rows.data()))
        return CodecError{ErrorCode::BadPng, "the PNG image data is damaged or cut short"};
    return image;
}

} // namespace

std::optional<RgbImage> ReadPng(Source& source) {
    return detail::AtBoundary([&] { return DecodePng(source.TakeRemainder()); });
}

} // namespace showsaver::codec
