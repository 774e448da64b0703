// BMP writer: a 14-byte file header, a 40-byte info header, then 24-bit
// BGR rows from the bottom up, each padded to a multiple of 4 bytes.

#include <array>
#include <vector>

#include "codec/CodecInternal.h"
#include "codec/FileOutput.h"
#include "codec/PixelRows.h"

namespace showsaver::codec {
namespace {

using detail::CodecError;

constexpr uint32_t kHeadersSize = 14 + 40;

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

std::array<uint8_t, kHeadersSize> MakeHeaders(const RgbImage& image, uint32_t imageBytes) {
    std::array<uint8_t, kHeadersSize> h{};
    h[0] = 'B';
    h[1] = 'M';
    Put32(&h[2], kHeadersSize + imageBytes);
    Put32(&h[10], kHeadersSize);
    Put32(&h[14], 40);
    Put32(&h[18], static_cast<uint32_t>(image.Width()));
    Put32(&h[22], static_cast<uint32_t>(image.Height())); // positive: bottom-up
    Put16(&h[26], 1);                                       // planes
    Put16(&h[28], 24);                                      // bits per pixel
    Put32(&h[30], 0);                                       // BI_RGB
    Put32(&h[34], imageBytes);
    Put32(&h[38], 2835); // 72 dpi in pixels per metre
    Put32(&h[42], 2835);
    return h;
}

bool Fail(const CodecError& error) {
    detail::RecordError(error);
    return false;
}

} // namespace

bool WriteBmp(const std::filesystem::path& path, const RgbImage& image) {
    if (image.Empty()) return Fail({ErrorCode::BadParameter, "there is no image to write"});
    const uint64_t stride = (image.Stride() + 3) & ~uint64_t{3};
    const uint64_t imageBytes = stride * static_cast<uint64_t>(image.Height());
    if (imageBytes + kHeadersSize > UINT32_MAX) return Fail({ErrorCode::BadParameter, "the image is too large for BMP"});

    std::vector<uint8_t> row;
    try {
        row.assign(stride, 0);
    } catch (const std::bad_alloc&) {
        return Fail({ErrorCode::OutOfMemory, "no memory for a row"});
    }
    detail::FileOutput output(path);
    if (!output.Get()) return Fail({ErrorCode::FileOpen, "the BMP file cannot be created"});
    const auto headers = MakeHeaders(image, static_cast<uint32_t>(imageBytes));
    bool written = std::fwrite(headers.data(), 1, headers.size(), output.Get()) == headers.size();
    for (int y = image.Height() - 1; written && y >= 0; --y) {
        detail::SwapRedBlue(image.Row(y), row.data(), static_cast<size_t>(image.Width()));
        written = std::fwrite(row.data(), 1, row.size(), output.Get()) == row.size();
    }
    // Without a commit, the output's destructor removes the partial file.
    if (!written || !output.Commit()) return Fail({ErrorCode::FileWrite, "writing the BMP file failed"});
    return true;
}

} // namespace showsaver::codec
