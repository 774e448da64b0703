#pragma once
// Loading writer-made movies into a player and looking at its pixels.

#include <gtest/gtest.h>

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

// a × (1 − t) + b × t, per channel.
inline uint32_t Mix(uint32_t a, uint32_t b, double t = 0.5) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16})
        out |= uint32_t(std::lround(((a >> shift) & 0xFF) * (1 - t) + ((b >> shift) & 0xFF) * t)) << shift;
    return out;
}

} // namespace showsaver::flash::test
