// Feeds arbitrary bytes to the Flash player as a movie file, then plays and
// paints its first frames into a small area. Whatever the bytes: no crash,
// no hang, no sanitizer report, and memory within the player's budget.

#include "flash/player/FlashPlayer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    flash::Player player;
    std::string error;
    if (!player.LoadBytes(std::span<const uint8_t>(data, size), error)) return 0;
    constexpr int kWidth = 64, kHeight = 48;
    std::vector<uint32_t> pixels(kWidth * kHeight);
    for (int frame = 0; frame < 3; ++frame) {
        if (frame > 0) player.Tick();
        player.Paint(pixels.data(), kWidth, kHeight, kWidth * 4);
    }
    (void)player.CurrentFrame();
    (void)player.TotalFrames();
    return 0;
}
