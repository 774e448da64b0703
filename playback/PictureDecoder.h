#pragma once
// Turns a picture's bytes, or a caption with its font and colours, into a
// 24-bit RGB image, resamples it, and makes bitmaps of it for the screen.
// Each picture item owns one. No decoded pixels stay between scenes: every
// operation that makes a bitmap releases the image again.

#include "codec/RgbImage.h"
#include "gfx/DeviceContext.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace showsaver {

namespace ui { class MessageSink; }
class PictureItem;

class PictureDecoder {
public:
    // The message shown for a picture format we do not decode.
    // The largest caption image: well above any screen, far below what a
    // hostile font height times many lines would ask for.
    static constexpr int64_t kMaxCaptionSide = 16384;
    static constexpr int64_t kMaxCaptionPixels = 12'000'000;
    // Lowers the caption limit of this decoder (never raises it above
    // kMaxCaptionPixels): a fuzzer keeps each input's rendering short.
    void LimitCaptionPixels(int64_t pixels) { m_maxCaptionPixels = std::min(pixels, kMaxCaptionPixels); }

    static constexpr std::string_view kUnsupportedFormat =
        "This image format is not supported or image date is corrupted";

    // Frees the scaled image, and the decoded one unless `keepImage`.
    void Release(bool keepImage);
    // Decodes image file bytes into the image. Formats we do not decode show
    // kUnsupportedFormat through `messages`.
    // A JPEG at least `atLeast` in size (when it is not empty) may be decoded
    // at a half, a quarter or an eighth of its own, which `fullSize` then
    // receives.
    bool Decode(std::span<const uint8_t> bytes, ui::MessageSink& messages, gfx::Size atLeast = {},
                gfx::Size* fullSize = nullptr);
    // The size of the picture in `bytes`, without keeping it.
    bool MeasureImage(std::span<const uint8_t> bytes, ui::MessageSink& messages, gfx::Size& size);
    // Resamples the image into the scaled image of width × height.
    bool Resample(int width, int height);
    // A bitmap of the image (`useImage`) or of the scaled image; null when
    // that one is empty.
    std::shared_ptr<gfx::Surface> MakeBitmap(bool useImage) const;
    // Decodes, resamples when width or height is not 0, and makes the bitmap;
    // `decodedSize` is the size before resampling. The image is released.
    std::shared_ptr<gfx::Surface> DecodeToBitmap(std::span<const uint8_t> bytes, ui::MessageSink& messages,
                                                 gfx::Size& decodedSize, int width, int height);
    // The same from the image already held (a rendered caption).
    std::shared_ptr<gfx::Surface> CurrentToBitmap(gfx::Size& imageSize, int width, int height);
    // Renders `text` (empty: the picture's caption) with the picture's font
    // and colours into the image. The font's quality gets 3 ORed in, for
    // good.
    bool TextToImage(PictureItem& picture, std::string_view text);
    // Takes the pixels of a bitmap as the image.
    bool ImageFromBitmap(const gfx::Surface& bitmap);
    // Draws the image at (x, y) of the context's surface, leaving out every
    // pixel of `transparent`.
    bool DrawImage(gfx::DeviceContext& dc, int x, int y, gfx::ColorRef transparent) const;
    // A bitmap of `cut` of the screen with the image drawn over it at (x, y),
    // its window-colour pixels transparent: a caption without background
    // over whatever the screen shows.
    std::shared_ptr<gfx::Surface> ComposeOverScreen(gfx::DeviceContext& dc, int x, int y, const gfx::Rect& cut) const;

    const codec::RgbImage& Image() const { return m_image; }
    gfx::Size ImageSize() const { return {m_image.Width(), m_image.Height()}; }
    // The fixed text of the last codec failure (for diagnostics only).
    const std::string& LastErrorText() const { return m_lastError; }

private:
    bool Fail(int code);

    codec::RgbImage m_image;
    codec::RgbImage m_scaled;
    std::string m_lastError;
    int64_t m_maxCaptionPixels = kMaxCaptionPixels;
};

} // namespace showsaver
