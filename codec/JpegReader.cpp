// JPEG reader over libjpeg-turbo. libjpeg reports fatal errors by calling
// back into us, and we longjmp out; so every libjpeg call is made from a
// small guarded function (ReadHeaderGuarded, DecompressGuarded) whose own
// locals are trivially destructible, while JpegDecompressor, which owns
// libjpeg's state, and the output image live in the caller and are released
// by their destructors however the guarded call ended.

#include <algorithm>

#include "codec/CodecInternal.h"
#include "codec/JpegSupport.h"

namespace showsaver::codec {
namespace {

using detail::CheckPictureSize;
using detail::CodecError;
using detail::JpegFailure;
using detail::Result;

// Memory libjpeg may take for its own buffers: a progressive picture keeps
// all its coefficients, 2 bytes a sample, up to 4 components.
constexpr long kMaxJpegMemory = 1L << 30;

class JpegDecompressor {
public:
    JpegDecompressor() {
        detail::InstallJpegErrorHandlers(info, m_errors, failure);
        progress.progress_monitor = CountScans;
    }
    ~JpegDecompressor() { jpeg_destroy_decompress(&info); } // safe on a struct never created
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;

    jpeg_decompress_struct info{};
    jpeg_progress_mgr progress{};
    JpegFailure failure;

private:
    static void CountScans(j_common_ptr common) {
        auto* decompress = reinterpret_cast<j_decompress_ptr>(common);
        if (decompress->input_scan_number > kMaxJpegScans) {
            static_cast<JpegFailure*>(common->client_data)->tooManyScans = true;
            std::longjmp(static_cast<JpegFailure*>(common->client_data)->jump, 1);
        }
    }

    jpeg_error_mgr m_errors{};
};

bool ReadHeaderGuarded(JpegDecompressor& jpeg, const uint8_t* data, size_t size) {
    if (setjmp(jpeg.failure.jump)) return false;
    jpeg_create_decompress(&jpeg.info);
    jpeg.info.progress = &jpeg.progress;
    jpeg_mem_src(&jpeg.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&jpeg.info, TRUE);
    return true;
}

// CMYK as libjpeg delivers it. Adobe's files store 255 minus the ink; plain
// files store the ink itself.
void CmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, size_t width, bool inverted) {
    for (size_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const uint32_t k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int i = 0; i < 3; ++i) rgb[i] = detail::MultiplyScaled(inverted ? cmyk[i] : 255u - cmyk[i], k);
    }
}

// Decodes every row into `row`, one row's room that each row overwrites,
// keeping nothing: the same entropy decoding, and so the same failures, as
// DecompressGuarded, at whatever output scale the caller chose.
bool SkimGuarded(JpegDecompressor& jpeg, std::unique_ptr<uint8_t[]>& row) {
    if (setjmp(jpeg.failure.jump)) return false;
    jpeg_decompress_struct& info = jpeg.info;
    jpeg_start_decompress(&info);
    row = std::make_unique_for_overwrite<uint8_t[]>(size_t{info.output_width} * 4);
    JSAMPROW rows[1] = {row.get()};
    while (info.output_scanline < info.output_height)
        if (jpeg_read_scanlines(&info, rows, 1) == 0) return false;
    return true;
}

// Decodes every row of the picture, scaled to width × height as the caller
// asked, into `pixels` (width × 3 bytes a row). CMYK pictures go through
// `cmykRows`, room for 4 rows of width × 4 bytes.
bool DecompressGuarded(JpegDecompressor& jpeg, uint8_t* pixels, JDIMENSION width, JDIMENSION height,
                       uint8_t* cmykRows, bool inverted) {
    if (setjmp(jpeg.failure.jump)) return false;
    jpeg_decompress_struct& info = jpeg.info;
    jpeg_start_decompress(&info);
    const int components = cmykRows ? 4 : 3;
    if (info.output_width != width || info.output_height != height || info.output_components != components)
        return false;
    const size_t stride = static_cast<size_t>(width) * 3;
    while (info.output_scanline < height) {
        const JDIMENSION first = info.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(4, height - first);
        JSAMPROW rows[4];
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = cmykRows ? cmykRows + i * static_cast<size_t>(width) * 4 : pixels + (first + i) * stride;
        const JDIMENSION read = jpeg_read_scanlines(&info, rows, count);
        if (read == 0) return false;
        for (JDIMENSION i = 0; cmykRows && i < read; ++i)
            CmykRowToRgb(rows[i], pixels + (first + i) * stride, width, inverted);
    }
    return true;
}

CodecError Failure(const JpegFailure& failure) {
    if (failure.prematureEnd) return {ErrorCode::BadJpeg, "the JPEG data ends before the picture does"};
    if (failure.tooManyScans) return {ErrorCode::BadJpeg, "the JPEG has implausibly many scans"};
    if (failure.messageCode == JERR_OUT_OF_MEMORY || failure.messageCode == JERR_NO_BACKING_STORE)
        return {ErrorCode::OutOfMemory, "libjpeg needs more memory than the codec allows"};
    return {ErrorCode::BadJpeg, "libjpeg refused the data"};
}

// Reads the header and chooses the output colour space; says whether the
// picture is CMYK (or YCCK), which libjpeg hands out as ink amounts.
Result<bool> StartJpeg(JpegDecompressor& jpeg, std::span<const uint8_t> data) {
    if (!ReadHeaderGuarded(jpeg, data.data(), data.size())) return Failure(jpeg.failure);
    jpeg_decompress_struct& info = jpeg.info;
    bool cmyk = false;
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        info.out_color_space = JCS_RGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        return CodecError{ErrorCode::BadJpeg, "the JPEG's colour space is unknown"};
    }
    const uint64_t describable = detail::SaturatingMultiply(data.size(), kMaxPixelsPerCompressedByte);
    if (auto size = CheckPictureSize(info.image_width, info.image_height, describable, ErrorCode::BadJpeg); !size)
        return size.Error();
    info.mem->max_memory_to_use = kMaxJpegMemory;
    return cmyk;
}

// Decodes the picture at the smallest of its whole, half, quarter and eighth
// sizes that is at least minWidth × minHeight; `fullSize`, when given, gets
// the picture's own size.
Result<RgbImage> DecodeJpeg(std::span<const uint8_t> data, int minWidth = 0, int minHeight = 0,
                            PictureSize* fullSize = nullptr) {
    JpegDecompressor jpeg;
    auto cmyk = StartJpeg(jpeg, data);
    if (!cmyk) return cmyk.Error();
    jpeg_decompress_struct& info = jpeg.info;
    // libjpeg rounds a scaled side up.
    auto scaled = [](JDIMENSION side, unsigned denominator) { return (side + denominator - 1) / denominator; };
    unsigned denominator = 8;
    while (denominator > 1 && (minWidth <= 0 || minHeight <= 0 ||
                               scaled(info.image_width, denominator) < static_cast<JDIMENSION>(minWidth) ||
                               scaled(info.image_height, denominator) < static_cast<JDIMENSION>(minHeight)))
        denominator /= 2;
    info.scale_num = 1;
    info.scale_denom = denominator;
    const JDIMENSION width = scaled(info.image_width, denominator);
    const JDIMENSION height = scaled(info.image_height, denominator);
    RgbImage image = RgbImage::Uninitialized(static_cast<int>(width), static_cast<int>(height));
    std::unique_ptr<uint8_t[]> cmykRows;
    if (*cmyk) cmykRows = std::make_unique_for_overwrite<uint8_t[]>(size_t{4} * 4 * width);
    if (!DecompressGuarded(jpeg, image.Data(), width, height, cmykRows.get(), info.saw_Adobe_marker != 0))
        return Failure(jpeg.failure);
    if (fullSize) *fullSize = {info.image_width, info.image_height};
    return image;
}

// Decodes the picture at `1 / denominator` of its size and keeps no pixel.
Result<PictureSize> SkimJpeg(std::span<const uint8_t> data, unsigned denominator) {
    JpegDecompressor jpeg;
    if (auto started = StartJpeg(jpeg, data); !started) return started.Error();
    jpeg.info.scale_num = 1;
    jpeg.info.scale_denom = denominator;
    std::unique_ptr<uint8_t[]> row;
    if (!SkimGuarded(jpeg, row)) return Failure(jpeg.failure);
    return PictureSize{jpeg.info.image_width, jpeg.info.image_height};
}

// At an eighth of its size, a picture is all but entropy decoding, which is
// where every failure of the data shows; that decoding is the same at any
// scale. What does depend on the scale, the setup of the output stages, is
// settled by a second try at full size before a picture is refused.
Result<PictureSize> CheckJpegData(std::span<const uint8_t> data) {
    auto skimmed = SkimJpeg(data, 8);
    if (skimmed) return skimmed;
    return SkimJpeg(data, 1);
}

} // namespace

std::optional<RgbImage> ReadJpeg(Source& source) {
    return detail::AtBoundary([&] { return DecodeJpeg(source.TakeRemainder()); });
}

std::optional<RgbImage> ReadJpegScaled(Source& source, int width, int height, PictureSize& fullSize) {
    return detail::AtBoundary([&] {
        const auto data = source.TakeRemainder();
        auto image = DecodeJpeg(data, width, height, &fullSize);
        // Whatever the scale changed (the setup of the output stages), the
        // picture's own size settles.
        return image ? std::move(image) : DecodeJpeg(data, 0, 0, &fullSize);
    });
}

std::optional<PictureSize> CheckJpeg(Source& source) {
    return detail::AtBoundary<PictureSize>([&] { return CheckJpegData(source.TakeRemainder()); });
}

} // namespace showsaver::codec
