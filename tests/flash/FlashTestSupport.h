#pragma once
// Loading writer-made movies into a player and looking at its pixels.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "codec/Codec.h"
#include "gfx/Surface.h"
#include "platform/flash/FlashPlayer.h"
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
