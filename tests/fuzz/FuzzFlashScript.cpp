// Runs arbitrary bytes as the actions of a movie's first frame (the first
// byte picks the movie's version), then plays three more steps. Whatever
// the bytes: no crash, no hang, no sanitizer report, and the script
// machine within its bounds of actions, time, calls and memory.

#include "flash/player/FlashPlayer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, size_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void U32(Bytes& b, size_t v) { U16(b, v & 0xFFFF), U16(b, v >> 16); }

void Tag(Bytes& b, int code, const Bytes& body) {
    U16(b, size_t(code) << 6 | 0x3F);
    U32(b, body.size());
    b.insert(b.end(), body.begin(), body.end());
}

// A movie of 100 × 100 pixels at 12 frames a second: a 10-pixel shape, a
// sprite "clip" of it placed on the stage, the actions, and two frames.
Bytes Movie(uint8_t version, std::span<const uint8_t> code) {
    Bytes tags;
    // The stage: a RECT of 15-bit fields 0, 2000, 0, 2000 twips.
    const Bytes rect = {0x78, 0x00, 0x00, 0xFA, 0x00, 0x00, 0x03, 0xE8, 0x00};
    Bytes shape = {1, 0, 0x00};   // id 1, an empty bounds rect
    shape.insert(shape.end(), {1, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x10, 0x00});   // one solid fill, no lines, bits, end
    Tag(tags, 2, shape);
    Bytes sprite = {2, 0, 1, 0};
    Bytes place = {0x06, 1, 0, 1, 0, 0x00};   // PlaceObject2: depth 1, character 1, identity matrix
    Tag(sprite, 26, place);
    Tag(sprite, 1, {});
    Tag(sprite, 0, {});
    Tag(tags, 39, sprite);
    Bytes named = {0x26, 1, 0, 2, 0, 0x00, 'c', 'l', 'i', 'p', 0};
    Tag(tags, 26, named);
    Bytes actions(code.begin(), code.end());
    actions.push_back(0);
    Tag(tags, 12, actions);
    Tag(tags, 1, {});
    Tag(tags, 1, {});
    Tag(tags, 0, {});
    Bytes movie = {'F', 'W', 'S', version};
    Bytes body = rect;
    U16(body, 12 << 8);
    U16(body, 2);
    body.insert(body.end(), tags.begin(), tags.end());
    U32(movie, 8 + body.size());
    movie.insert(movie.end(), body.begin(), body.end());
    return movie;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    if (size < 1) return 0;
    uint8_t version = uint8_t(4 + data[0] % 7);
    Bytes movie = Movie(version, std::span<const uint8_t>(data + 1, size - 1));
    flash::Player player;
    std::string error;
    if (!player.LoadBytes(movie, error)) return 0;
    constexpr int kWidth = 32, kHeight = 32;
    std::vector<uint32_t> pixels(kWidth * kHeight);
    for (int step = 0; step < 3; ++step) {
        player.Tick();
        player.Paint(pixels.data(), kWidth, kHeight, kWidth * 4);
    }
    return 0;
}
