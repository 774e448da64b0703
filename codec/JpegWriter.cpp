// JPEG writer over libjpeg-turbo: baseline JFIF with libjpeg's defaults
// (2×2 chroma subsampling, the default density) at the given quality. As
// in the reader, libjpeg is only called from CompressGuarded, whose locals
// are trivially destructible; the compressor and the file are owned by the
// caller.

#include "codec/CodecInternal.h"
#include "codec/FileOutput.h"
#include "codec/JpegSupport.h"

namespace showsaver::codec {
namespace {

using detail::CodecError;
using detail::JpegFailure;

class JpegCompressor {
public:
    JpegCompressor() { detail::InstallJpegErrorHandlers(info, m_errors, failure); }
    ~JpegCompressor() { jpeg_destroy_compress(&info); } // safe on a struct never created
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    jpeg_compress_struct info{};
    JpegFailure failure;

private:
    jpeg_error_mgr m_errors{};
};

bool CompressGuarded(JpegCompressor& jpeg, std::FILE* file, const RgbImage& image, int quality) {
    if (setjmp(jpeg.failure.jump)) return false;
    jpeg_compress_struct& info = jpeg.info;
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.Width());
    info.image_height = static_cast<JDIMENSION>(image.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<uint8_t*>(image.Row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

bool Fail(const CodecError& error) {
    detail::RecordError(error);
    return false;
}

} // namespace

bool WriteJpeg(const std::filesystem::path& path, const RgbImage& image, int quality) {
    if (image.Empty()) return Fail({ErrorCode::BadParameter, "there is no image to write"});
    if (quality < 1 || quality > 100) return Fail({ErrorCode::BadParameter, "the quality is outside 1..100"});
    if (image.Width() > JPEG_MAX_DIMENSION || image.Height() > JPEG_MAX_DIMENSION)
        return Fail({ErrorCode::BadParameter, "the image is too large for JPEG"});
    detail::FileOutput output(path);
    if (!output.Get()) return Fail({ErrorCode::FileOpen, "the JPEG file cannot be created"});
    JpegCompressor jpeg;
    if (!CompressGuarded(jpeg, output.Get(), image, quality)) {
        if (jpeg.failure.messageCode == JERR_OUT_OF_MEMORY) return Fail({ErrorCode::OutOfMemory, "libjpeg ran out of memory"});
        return Fail({ErrorCode::FileWrite, "libjpeg could not write the file"});
    }
    if (!output.Commit()) return Fail({ErrorCode::FileWrite, "writing the JPEG file failed"});
    return true;
}

} // namespace showsaver::codec
