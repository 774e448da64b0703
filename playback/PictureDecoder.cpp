#include "playback/PictureDecoder.h"

#include "codec/Codec.h"
#include "gfx/SurfaceContext.h"
#include "platform/ui/MessageBox.h"
#include "playback/PictureItem.h"
#include "show/Windows1252.h"

#include <sys/mman.h>

#include <vector>

namespace showsaver {

namespace {

// Pixels of a large bitmap in fresh anonymous pages: zero as the kernel
// hands them out, and resident only once written. Smaller ones come from
// the heap.
class AnonymousPixels final : public gfx::PixelMemory {
public:
    static std::unique_ptr<gfx::PixelMemory> Map(size_t bytes) {
        if (bytes < kLarge) return nullptr;
        void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED) return nullptr;
        return std::unique_ptr<gfx::PixelMemory>(new AnonymousPixels(data, bytes));
    }
    ~AnonymousPixels() override { munmap(m_data, m_bytes); }
    void* Data() override { return m_data; }

private:
    static constexpr size_t kLarge = size_t{4} << 20;
    AnonymousPixels(void* data, size_t bytes) : m_data(data), m_bytes(bytes) {}
    void* m_data;
    size_t m_bytes;
};

// A bitmap of the image that takes the image's place as it fills: the
// bitmap's pages become resident row by row while the image's pages that
// are converted go back to the system, so a picture lives in memory once,
// not once in each layout. The image is gone afterwards.
std::shared_ptr<gfx::Surface> SurfaceTaking(codec::RgbImage image) {
    if (image.Empty()) return nullptr;
    auto surface = gfx::Surface::Create(image.Width(), image.Height(), &AnonymousPixels::Map);
    if (!surface) return nullptr;
    constexpr int kRowsPerGiveBack = 64;
    const auto stride = static_cast<size_t>(surface->Stride());
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* rgb = image.Row(y);
        auto* xrgb = reinterpret_cast<uint32_t*>(surface->Data() + stride * static_cast<size_t>(y));
        for (int x = 0; x < image.Width(); ++x, rgb += 3)
            xrgb[x] = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
        if ((y + 1) % kRowsPerGiveBack == 0) image.GiveBackRowsBefore(y + 1);
    }
    return surface;
}

gfx::FontSpec FontSpecOf(const LogFont& f) {
    return gfx::FontSpec(f.height, f.width, f.escapement, f.orientation, f.weight, f.italic != 0, f.underline != 0,
                         f.strikeOut != 0, f.charSet, f.quality, Cp1252ToUtf8(f.FaceName()));
}

std::shared_ptr<gfx::Surface> SurfaceOf(const codec::RgbImage& image) {
    if (image.Empty()) return nullptr;
    auto surface = gfx::Surface::Create(image.Width(), image.Height());
    if (!surface) return nullptr;
    codec::RgbToXrgb(image, reinterpret_cast<uint32_t*>(surface->Data()), static_cast<size_t>(surface->Stride()));
    return surface;
}

} // namespace

bool PictureDecoder::Fail(int code) {
    // The text is kept for diagnostics; nothing is shown.
    m_lastError = std::string(codec::ErrorText(code));
    return false;
}

void PictureDecoder::Release(bool keepImage) {
    m_scaled = codec::RgbImage();
    if (!keepImage) m_image = codec::RgbImage();
}

bool PictureDecoder::Decode(std::span<const uint8_t> bytes, ui::MessageSink& messages, gfx::Size atLeast,
                            gfx::Size* fullSize) {
    Release(false);
    auto source = codec::OpenMemorySource(bytes);
    if (!source) return Fail(codec::LastError());
    std::optional<codec::RgbImage> image;
    codec::PictureSize jpegSize;
    switch (codec::GuessFormat(*source)) {
    case codec::Format::Bmp: image = codec::ReadBmp(*source); break;
    case codec::Format::Jpeg:
        image = atLeast.IsEmpty() ? codec::ReadJpeg(*source)
                                  : codec::ReadJpegScaled(*source, atLeast.width, atLeast.height, jpegSize);
        break;
    case codec::Format::Png: image = codec::ReadPng(*source); break;
    case codec::Format::Pcx: image = codec::ReadPcx(*source); break;
    // Two zero bytes in memory are a TGA picture.
    case codec::Format::WbmpOrTga:
    case codec::Format::Tga: image = codec::ReadTga(*source); break;
    default:
        messages.Show(kUnsupportedFormat);
        return false;
    }
    if (!image) return Fail(codec::LastError());
    m_image = std::move(*image);
    if (fullSize)
        *fullSize = jpegSize.width > 0 ? gfx::Size{static_cast<int>(jpegSize.width), static_cast<int>(jpegSize.height)}
                                       : ImageSize();
    return true;
}

bool PictureDecoder::MeasureImage(std::span<const uint8_t> bytes, ui::MessageSink& messages, gfx::Size& size) {
    // A photograph is checked without its pixels: tens of megabytes that
    // would be made, filled and dropped again for nothing.
    if (auto source = codec::OpenMemorySource(bytes); source && codec::GuessFormat(*source) == codec::Format::Jpeg) {
        Release(false);
        auto checked = codec::CheckJpeg(*source);
        size = checked ? gfx::Size{static_cast<int>(checked->width), static_cast<int>(checked->height)} : gfx::Size{};
        return checked || Fail(codec::LastError());
    }
    bool decoded = Decode(bytes, messages);
    size = ImageSize();
    Release(false);
    return decoded;
}

bool PictureDecoder::Resample(int width, int height) {
    if (m_image.Empty()) return false;
    m_scaled = codec::RgbImage();
    auto scaled = codec::Resample(m_image, width, height);
    if (!scaled) return Fail(codec::LastError());
    m_scaled = std::move(*scaled);
    return true;
}

std::shared_ptr<gfx::Surface> PictureDecoder::MakeBitmap(bool useImage) const {
    return SurfaceOf(useImage ? m_image : m_scaled);
}

std::shared_ptr<gfx::Surface> PictureDecoder::CurrentToBitmap(gfx::Size& imageSize, int width, int height) {
    imageSize = ImageSize();
    // Resampling to the image's own size would only copy it.
    bool useImage = (width == 0 && height == 0) || (width == imageSize.width && height == imageSize.height);
    std::shared_ptr<gfx::Surface> bitmap;
    if (useImage) {
        bitmap = SurfaceTaking(std::move(m_image));
    } else {
        // The picture's rows go back as the resampling reads them.
        auto scaled = codec::Resample(std::move(m_image), width, height);
        if (!scaled) Fail(codec::LastError());
        else bitmap = SurfaceTaking(std::move(*scaled));
    }
    Release(false);
    return bitmap;
}

std::shared_ptr<gfx::Surface> PictureDecoder::DecodeToBitmap(std::span<const uint8_t> bytes, ui::MessageSink& messages,
                                                             gfx::Size& decodedSize, int width, int height) {
    gfx::Size fullSize;
    // A large photograph shown small is decoded nearer the size it is shown at.
    if (!Decode(bytes, messages, {width, height}, &fullSize)) {
        decodedSize = {};
        return nullptr;
    }
    auto bitmap = CurrentToBitmap(decodedSize, width, height);
    decodedSize = fullSize;
    return bitmap;
}

bool PictureDecoder::TextToImage(PictureItem& picture, std::string_view text) {
    std::string caption = Cp1252ToUtf8(text.empty() ? std::string_view(picture.text) : text);
    picture.font.quality |= 3;
    auto font = gfx::Font::Create(FontSpecOf(picture.font));
    if (!font) return false;
    auto dc = gfx::SurfaceContext::ForMemory({1, 1});
    gfx::ScopedSelection selectFont(*dc, font);

    // The widest line and the number of lines times the height of "W". A
    // line that ends in a line feed is measured without its CR LF.
    int width = 0;
    int lines = 0;
    size_t start = 0;
    for (;;) {
        size_t feed = caption.find('\n', start);
        std::string_view line(caption.data() + start, (feed == std::string::npos ? caption.size() : feed + 1) - start);
        if (feed != std::string::npos) line.remove_suffix(std::min<size_t>(2, line.size()));
        width = std::max(width, dc->GetTextExtent(line).width);
        ++lines;
        if (feed == std::string::npos) break;
        start = feed + 1;
    }
    int64_t height = int64_t{lines} * dc->GetTextExtent("W").height;
    if (width == 0 || lines == 0) return false;
    width = static_cast<int>(width * 1.02);
    // A caption larger than any screen (a hostile font height times many
    // lines) is refused rather than allocated.
    if (height > kMaxCaptionSide || width > kMaxCaptionSide || int64_t{width} * height > m_maxCaptionPixels)
        return false;

    auto bitmap = gfx::Surface::Create(width, static_cast<int>(height));
    if (!bitmap) return false;
    gfx::ScopedSelection selectBitmap(*dc, bitmap);
    gfx::ColorRef background = picture.opaque ? picture.backgroundColor : gfx::kWindowColor;
    dc->FillSolid({0, 0, width, static_cast<int>(height)}, background);
    dc->SetBkColor(background);
    dc->SetTextColor(picture.textColor);
    dc->SetBkMode(picture.opaque ? gfx::BkMode::Opaque : gfx::BkMode::Transparent);
    gfx::Rect rect{0, 0, width, static_cast<int>(height)};
    dc->DrawText(caption, rect, picture.textAlignment);
    return ImageFromBitmap(*bitmap);
}

bool PictureDecoder::ImageFromBitmap(const gfx::Surface& bitmap) {
    Release(false);
    auto lock = bitmap.LockForReading();
    auto image = codec::XrgbToRgb(reinterpret_cast<const uint32_t*>(const_cast<gfx::Surface&>(bitmap).Data()),
                                  bitmap.Width(), bitmap.Height(), static_cast<size_t>(bitmap.Stride()));
    if (image.Empty()) return Fail(codec::LastError());
    m_image = std::move(image);
    return true;
}

bool PictureDecoder::DrawImage(gfx::DeviceContext& dc, int x, int y, gfx::ColorRef transparent) const {
    gfx::Surface* target = dc.Target();
    if (!target || m_image.Empty()) return false;
    auto lock = target->LockForDrawing(gfx::Rect::FromSize(x, y, m_image.Width(), m_image.Height()));
    codec::DrawRgbKeyed(m_image, reinterpret_cast<uint32_t*>(target->Data()), static_cast<size_t>(target->Stride()),
                        target->Width(), target->Height(), x, y, gfx::RedOf(transparent), gfx::GreenOf(transparent),
                        gfx::BlueOf(transparent));
    return true;
}

std::shared_ptr<gfx::Surface> PictureDecoder::ComposeOverScreen(gfx::DeviceContext& dc, int x, int y,
                                                                const gfx::Rect& cut) const {
    gfx::Size screen = dc.ScreenSize();
    auto copy = gfx::Surface::Create(screen.width, screen.height);
    if (!copy) return nullptr;
    auto memory = dc.CreateCompatible();
    gfx::ScopedSelection selectCopy(*memory, copy);
    memory->BitBlt(0, 0, screen.width, screen.height, dc, 0, 0);
    DrawImage(*memory, x, y, gfx::kWindowColor);
    auto bitmap = gfx::Surface::Create(std::max(cut.Width(), 0), std::max(cut.Height(), 0));
    if (!bitmap) return nullptr;
    auto target = dc.CreateCompatible();
    gfx::ScopedSelection selectTarget(*target, bitmap);
    target->BitBlt(0, 0, cut.Width(), cut.Height(), *memory, cut.left, cut.top);
    return bitmap;
}

} // namespace showsaver
