#pragma once
// Loading writer-made movies into a player and looking at its pixels.

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "codec/Codec.h"
#include "gfx/Surface.h"
#include "flash/player/FlashPlayer.h"
#include "tests/flash/SwfWriter.h"

namespace showsaver::flash::test {

inline std::unique_ptr<Player> Open(const Bytes& movie) {
    auto player = std::make_unique<Player>();
    std::string error;
    EXPECT_TRUE(player->LoadBytes(movie, error)) << error;
    return player;
}

inline gfx::Surface Paint(Player& player, int width, int height) {
    gfx::Surface surface(width, height);
    EXPECT_TRUE(player.Paint(surface));
    return surface;
}

// Colours match when every channel is within `tolerance`.
inline ::testing::AssertionResult Near(uint32_t actual, uint32_t expected, int tolerance = 2) {
    for (int shift : {0, 8, 16}) {
        int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
        if (std::abs(a - e) > tolerance)
            return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not near 0x" << expected;
    }
    return ::testing::AssertionSuccess();
}

// A 16 × 16 JPEG of one colour, made by the codec layer at quality 100.
inline Bytes JpegOf(uint32_t rgb) {
    auto image = codec::RgbImage::Black(16, 16);
    for (size_t i = 0; i < image.SizeBytes(); i += 3)
        image.Data()[i] = uint8_t(rgb >> 16), image.Data()[i + 1] = uint8_t(rgb >> 8), image.Data()[i + 2] = uint8_t(rgb);
    std::string path = ::testing::TempDir() + "flash-" + std::to_string(getpid()) + ".jpg";
    EXPECT_TRUE(codec::WriteJpeg(path, image, 100));
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    std::remove(path.c_str());
    return bytes;
}

// A GIF of `rgb` pixels (width × height, 0xRRGGBB each) written by
// ImageMagick with its `options` (say "-interlace GIF", or "-transparent
// \"#FF00FF\"").
inline Bytes GifOf(int width, int height, const std::vector<uint32_t>& rgb, const std::string& options = {}) {
    std::string base = ::testing::TempDir() + "flash-" + std::to_string(getpid());
    {
        std::ofstream ppm(base + ".ppm", std::ios::binary);
        ppm << "P6\n" << width << " " << height << "\n255\n";
        for (uint32_t c : rgb) ppm.put(char(c >> 16)), ppm.put(char(c >> 8)), ppm.put(char(c));
    }
    std::string command = "convert " + base + ".ppm " + options + " " + base + ".gif";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(base + ".gif", std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    std::remove((base + ".ppm").c_str());
    std::remove((base + ".gif").c_str());
    return bytes;
}

// A 16 × 16 PNG of one colour at `alpha`, written by cairo: RGBA, or RGB
// when the alpha is 255.
inline Bytes PngOf(uint32_t rgb, uint8_t alpha) {
    cairo_surface_t* surface = cairo_image_surface_create(alpha == 255 ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, 16, 16);
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, (rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    Bytes bytes;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<Bytes*>(closure)->insert(static_cast<Bytes*>(closure)->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

// a × (1 − t) + b × t, per channel.
inline uint32_t Mix(uint32_t a, uint32_t b, double t = 0.5) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16})
        out |= uint32_t(std::lround(((a >> shift) & 0xFF) * (1 - t) + ((b >> shift) & 0xFF) * t)) << shift;
    return out;
}

// A recorded tone: how long it sounds (samples above 1000), its peak, and
// its zero crossings a second (twice its frequency).
struct Tone {
    double seconds = 0;
    int peak = 0;
    double crossingsPerSecond = 0;
};

// `samples` of one channel at 44,100 Hz.
inline Tone MeasureTone(const std::vector<int16_t>& samples) {
    size_t first = 0, last = 0, crossings = 0;
    Tone tone;
    for (size_t i = 1; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > 1000) {
            if (!first) first = i;
            last = i;
        }
        tone.peak = std::max(tone.peak, std::abs(int(samples[i])));
        if (first && (samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
    }
    tone.seconds = double(last - first) / SoundSink::kRate;
    if (tone.seconds > 0) tone.crossingsPerSecond = double(crossings) / tone.seconds;
    return tone;
}

} // namespace showsaver::flash::test
