// Bitmap tags into premultiplied ARGB32 cairo surfaces: JPEG through the
// codec layer (with the movie's shared tables), PNG through cairo's reader
// (which keeps its alpha), GIF through our own reader, and the zlib-packed
// lossless formats (colour-mapped, 15-bit and 32-bit).

#include "flash/characters/Parsers.h"

#include "codec/Codec.h"
#include "flash/characters/Gif.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace showsaver::flash {
namespace {

constexpr int kDefineBits = 6, kDefineBitsJpeg3 = 35, kDefineBitsLossless2 = 36, kDefineBitsJpeg4 = 90;

bool SizeAllowed(int width, int height, MemoryBudget& budget) {
    if (width <= 0 || height <= 0 || width > Limits::kMaxBitmapSide || height > Limits::kMaxBitmapSide) return false;
    int64_t pixels = int64_t{width} * height;
    return pixels <= Limits::kMaxBitmapPixels && budget.Charge(static_cast<uint64_t>(pixels) * 4);
}

std::unique_ptr<BitmapCharacter> NewBitmap(int width, int height, std::string& error) {
    auto bitmap = std::make_unique<BitmapCharacter>();
    bitmap->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(bitmap->surface.get()) != CAIRO_STATUS_SUCCESS) {
        error = "no memory for the bitmap";
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    return bitmap;
}

uint32_t* PixelRow(BitmapCharacter& b, int y) {
    unsigned char* data = cairo_image_surface_get_data(b.surface.get());
    return reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * cairo_image_surface_get_stride(b.surface.get()));
}

uint32_t Premultiplied(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    return (a << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

// A pixel stored premultiplied, its colour kept within its alpha.
uint32_t Stored(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (std::min(r, a) << 16) | (std::min(g, a) << 8) | std::min(b, a);
}

// Softens the steps across the 8-pixel block edges of a decoded JPEG: a
// step smaller than the strength allows is taken for a block artefact and
// halved at full strength; a larger one is an edge of the picture and kept.
void Deblock(codec::RgbImage& picture, double strength) {
    strength = std::min(strength, 1.0);
    const int limit = static_cast<int>(32 * strength);
    auto soften = [&](uint8_t* p, uint8_t* q) {
        for (int c = 0; c < 3; ++c) {
            int step = q[c] - p[c];
            if (step == 0 || std::abs(step) >= limit) continue;
            int shift = static_cast<int>(std::lround(step * strength / 4));
            p[c] = static_cast<uint8_t>(p[c] + shift);
            q[c] = static_cast<uint8_t>(q[c] - shift);
        }
    };
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 8; x < picture.Width(); x += 8) soften(picture.Row(y) + 3 * (x - 1), picture.Row(y) + 3 * x);
    for (int y = 8; y < picture.Height(); y += 8)
        for (int x = 0; x < picture.Width(); ++x) soften(picture.Row(y - 1) + 3 * x, picture.Row(y) + 3 * x);
}

// Older movies put an end and a start marker (FF D9 FF D8) inside the data.
std::vector<uint8_t> CleanJpeg(std::span<const uint8_t> tables, std::span<const uint8_t> image) {
    std::vector<uint8_t> joined;
    if (tables.size() > 4 && image.size() > 2) {
        joined.assign(tables.begin(), tables.end() - 2);
        joined.insert(joined.end(), image.begin() + 2, image.end());
    } else {
        joined.assign(image.begin(), image.end());
    }
    std::vector<uint8_t> out;
    out.reserve(joined.size());
    for (size_t i = 0; i < joined.size(); ++i) {
        if (i + 3 < joined.size() && joined[i] == 0xFF && joined[i + 1] == 0xD9 && joined[i + 2] == 0xFF &&
            joined[i + 3] == 0xD8) {
            i += 3;
            continue;
        }
        out.push_back(joined[i]);
    }
    return out;
}

// The size in a JPEG's frame header, found by walking its segments; nullopt
// when there is none before the data ends or the first scan starts.
std::optional<std::pair<int, int>> JpegSize(std::span<const uint8_t> data) {
    size_t at = 2;   // after the start marker
    while (at + 4 <= data.size()) {
        if (data[at] != 0xFF) return std::nullopt;
        uint8_t marker = data[at + 1];
        if (marker == 0xFF) {   // fill bytes
            ++at;
            continue;
        }
        size_t length = size_t{data[at + 2]} << 8 | data[at + 3];
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && at + 9 <= data.size())
            return std::pair{int{data[at + 7]} << 8 | data[at + 8], int{data[at + 5]} << 8 | data[at + 6]};
        if (marker == 0xDA || length < 2) return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

std::optional<codec::RgbImage> DecodeJpeg(std::span<const uint8_t> data) {
    auto source = codec::OpenMemorySource(data);
    if (!source || codec::GuessFormat(*source) != codec::Format::Jpeg) return std::nullopt;
    return codec::ReadJpeg(*source);
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool LooksLikePng(std::span<const uint8_t> data) {
    return data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0;
}

uint32_t BigEndian32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

struct PngStream {
    std::span<const uint8_t> data;
    size_t pos = 0;
};

cairo_status_t ReadPngBytes(void* closure, unsigned char* out, unsigned int length) {
    auto* stream = static_cast<PngStream*>(closure);
    if (length > stream->data.size() - stream->pos) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, stream->data.data() + stream->pos, length);
    stream->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

// The size in the IHDR chunk (which must come first) is checked before
// cairo's reader allocates for it. Cairo gives premultiplied ARGB for a PNG
// with alpha, which is kept as it is, and RGB for an opaque one, which is
// copied into ARGB.
std::unique_ptr<BitmapCharacter> PngBitmap(std::span<const uint8_t> data, MemoryBudget& budget, std::string& error) {
    if (data.size() < 24 || std::memcmp(data.data() + 12, "IHDR", 4) != 0) {
        error = "broken PNG bitmap";
        return nullptr;
    }
    uint32_t w = BigEndian32(data.data() + 16), h = BigEndian32(data.data() + 20);
    if (w > uint32_t{Limits::kMaxBitmapSide} || h > uint32_t{Limits::kMaxBitmapSide} ||
        !SizeAllowed(static_cast<int>(w), static_cast<int>(h), budget)) {
        error = "oversized PNG bitmap";
        return nullptr;
    }
    PngStream stream{data};
    CairoSurfacePtr decoded(cairo_image_surface_create_from_png_stream(ReadPngBytes, &stream));
    if (cairo_surface_status(decoded.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_width(decoded.get()) != static_cast<int>(w) ||
        cairo_image_surface_get_height(decoded.get()) != static_cast<int>(h)) {
        error = "undecodable PNG bitmap";
        return nullptr;
    }
    if (cairo_image_surface_get_format(decoded.get()) == CAIRO_FORMAT_ARGB32) {
        auto bitmap = std::make_unique<BitmapCharacter>();
        bitmap->surface = std::move(decoded);
        bitmap->width = static_cast<int>(w);
        bitmap->height = static_cast<int>(h);
        return bitmap;
    }
    auto bitmap = NewBitmap(static_cast<int>(w), static_cast<int>(h), error);   // opaque: alpha set to one
    if (!bitmap) return nullptr;
    cairo_t* cr = cairo_create(bitmap->surface.get());
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, decoded.get(), 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return bitmap;
}

// The GIF's logical screen, its first image drawn on it, clear around.
std::unique_ptr<BitmapCharacter> GifBitmap(std::span<const uint8_t> data, MemoryBudget& budget, std::string& error) {
    auto gif = DecodeGif(data, budget);
    if (!gif || !SizeAllowed(gif->screenWidth, gif->screenHeight, budget)) {
        error = "undecodable or oversized GIF bitmap";
        return nullptr;
    }
    auto bitmap = NewBitmap(gif->screenWidth, gif->screenHeight, error);
    if (!bitmap) return nullptr;
    cairo_surface_flush(bitmap->surface.get());
    for (int y = 0; y < bitmap->height; ++y) {
        uint32_t* out = PixelRow(*bitmap, y);
        std::fill_n(out, bitmap->width, 0u);
        int row = y - gif->top;
        if (row < 0 || row >= gif->height) continue;
        const uint8_t* in = gif->indices.data() + static_cast<size_t>(row) * static_cast<size_t>(gif->width);
        int from = std::max(0, gif->left), to = std::min(bitmap->width, gif->left + gif->width);
        for (int x = from; x < to; ++x) out[x] = gif->palette[in[x - gif->left]];
    }
    cairo_surface_mark_dirty(bitmap->surface.get());
    return bitmap;
}

} // namespace

std::unique_ptr<BitmapCharacter> ParseJpegBitmap(Reader& r, int code, std::span<const uint8_t> tables,
                                                 MemoryBudget& budget, std::string& error) {
    // JPEG3 and JPEG4 carry an alpha plane after the image; JPEG4 also the
    // strength (8.8) of the deblocking its JPEG gets.
    const bool withAlpha = code == kDefineBitsJpeg3 || code == kDefineBitsJpeg4;
    uint32_t alphaOffset = withAlpha ? r.U32() : 0;
    double deblocking = code == kDefineBitsJpeg4 ? r.U16() / 256.0 : 0;
    std::span<const uint8_t> rest = r.Rest();
    std::span<const uint8_t> image = withAlpha ? rest.first(std::min<size_t>(alphaOffset, rest.size())) : rest;
    // PNG and GIF data carry their own transparency: JPEG3's alpha plane is for JPEG only.
    if (code != kDefineBits && LooksLikePng(image)) return PngBitmap(image, budget, error);
    if (code != kDefineBits && LooksLikeGif(image)) return GifBitmap(image, budget, error);
    if (!budget.Charge(image.size() + tables.size())) {
        error = "bitmap too large";
        return nullptr;
    }
    std::vector<uint8_t> jpeg = CleanJpeg(code == kDefineBits ? tables : std::span<const uint8_t>{}, image);
    // The size is checked, and the bitmap charged, before the decoder
    // allocates for it; the picture it makes must be that size.
    auto size = JpegSize(jpeg);
    if (!size || !SizeAllowed(size->first, size->second, budget)) {
        error = "a JPEG bitmap of no size or too large";
        return nullptr;
    }
    auto picture = DecodeJpeg(jpeg);
    if (!picture || picture->Width() != size->first || picture->Height() != size->second) {
        error = "undecodable JPEG bitmap";
        return nullptr;
    }
    int w = picture->Width(), h = picture->Height();
    std::optional<std::vector<uint8_t>> alpha;
    if (deblocking > 0) Deblock(*picture, deblocking);
    if (withAlpha && alphaOffset < rest.size())
        alpha = Inflate(rest.subspan(alphaOffset), static_cast<size_t>(w) * h, budget);
    auto bitmap = NewBitmap(w, h, error);
    if (!bitmap) return nullptr;
    cairo_surface_flush(bitmap->surface.get());
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = picture->Row(y);
        uint32_t* out = PixelRow(*bitmap, y);
        for (int x = 0; x < w; ++x, in += 3) {
            uint32_t a = alpha ? (*alpha)[static_cast<size_t>(y) * w + x] : 255;
            out[x] = Premultiplied(a, in[0], in[1], in[2]);
        }
    }
    cairo_surface_mark_dirty(bitmap->surface.get());
    return bitmap;
}

std::unique_ptr<BitmapCharacter> ParseLosslessBitmap(Reader& r, int code, MemoryBudget& budget, std::string& error) {
    const bool withAlpha = code == kDefineBitsLossless2;
    uint8_t format = r.U8();
    int w = r.U16(), h = r.U16();
    int colors = format == 3 ? r.U8() + 1 : 0;
    if (r.Failed() || (format != 3 && format != 4 && format != 5) || !SizeAllowed(w, h, budget)) {
        error = "bad lossless bitmap header";
        return nullptr;
    }
    const size_t entry = withAlpha ? 4 : 3;
    const size_t rowBytes = format == 3 ? (w + 3u) & ~3u : format == 4 ? (2u * w + 3u) & ~3u : 4u * w;
    const size_t tableBytes = colors * entry;
    auto data = Inflate(r.Rest(), tableBytes + rowBytes * h, budget);
    if (!data) {
        error = "damaged lossless bitmap data";
        return nullptr;
    }
    auto bitmap = NewBitmap(w, h, error);
    if (!bitmap) return nullptr;
    cairo_surface_flush(bitmap->surface.get());
    const uint8_t* table = data->data();
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = data->data() + tableBytes + rowBytes * y;
        uint32_t* out = PixelRow(*bitmap, y);
        for (int x = 0; x < w; ++x) {
            if (format == 3) {
                // Lossless2's colour table is premultiplied, as its 32-bit pixels are.
                const uint8_t* c = table + in[x] * entry;
                out[x] = in[x] >= colors ? 0 : withAlpha ? Stored(c[3], c[0], c[1], c[2]) : Premultiplied(255, c[0], c[1], c[2]);
            } else if (format == 4) {
                uint32_t v = (in[2 * x] << 8) | in[2 * x + 1];
                auto widen = [](uint32_t c5) { return (c5 << 3) | (c5 >> 2); };
                out[x] = Premultiplied(255, widen((v >> 10) & 31), widen((v >> 5) & 31), widen(v & 31));
            } else {
                const uint8_t* p = in + 4 * x;
                // Lossless2 stores premultiplied ARGB already; Lossless has no alpha.
                out[x] = Stored(withAlpha ? p[0] : 255, p[1], p[2], p[3]);
            }
        }
    }
    cairo_surface_mark_dirty(bitmap->surface.get());
    return bitmap;
}

} // namespace showsaver::flash
