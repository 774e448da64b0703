// Feeds arbitrary bytes to the Flash player as a movie file, then plays and
// paints its first frames into a small area. Whatever the bytes: no crash,
// no hang, no sanitizer report, and memory within the player's budget.
//
// Bytes that start with "VID" become the packets of an embedded video in a
// movie built around them (the codec and flags from the next two bytes,
// then packets of a u16 length each), so that the video decoders meet
// mutated packets without the fuzzer having to find the tags first.

#include "flash/player/FlashPlayer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& out, uint32_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); }

void Tag(Bytes& out, int code, const Bytes& body) {
    U16(out, uint32_t(code << 6 | 0x3F));
    U16(out, uint32_t(body.size())), U16(out, uint32_t(body.size() >> 16));
    out.insert(out.end(), body.begin(), body.end());
}

Bytes VideoMovie(std::span<const uint8_t> data) {
    constexpr size_t kMaxPackets = 8;
    const int codec = 2 + data[3] % 5;
    const uint8_t flags = data[4];
    std::vector<std::span<const uint8_t>> packets;
    for (size_t at = 5; at + 2 <= data.size() && packets.size() < kMaxPackets;) {
        size_t length = std::min<size_t>(data[at] | size_t{data[at + 1]} << 8, data.size() - at - 2);
        packets.push_back(data.subspan(at + 2, length));
        at += 2 + length;
    }
    // A 64 × 48 stage (a RECT of 13-bit fields: 0, 1280, 0, 960 twips), 10
    // frames a second; the length is filled in at the end.
    Bytes movie = {'F', 'W', 'S', 10, 0, 0, 0, 0, 0x68, 0x00, 0x0A, 0x00, 0x00, 0x01, 0xE0, 0x00};
    U16(movie, 10 << 8);
    U16(movie, uint32_t(packets.size()));
    Bytes stream;
    U16(stream, 1), U16(stream, uint32_t(packets.size())), U16(stream, 64), U16(stream, 48);
    stream.push_back(flags), stream.push_back(uint8_t(codec));
    Tag(movie, 60, stream);
    for (size_t i = 0; i < packets.size(); ++i) {
        Bytes place = {uint8_t(i == 0 ? 0x16 : 0x15)};   // character (first), matrix, ratio; then move
        U16(place, 1);
        if (i == 0) U16(place, 1);
        place.push_back(0);   // an identity matrix: no scale, no rotation, 0-bit translation
        U16(place, uint32_t(i));
        Tag(movie, 26, place);
        Bytes frame;
        U16(frame, 1), U16(frame, uint32_t(i));
        frame.insert(frame.end(), packets[i].begin(), packets[i].end());
        Tag(movie, 61, frame);
        Tag(movie, 1, {});
    }
    Tag(movie, 0, {});
    const uint32_t length = uint32_t(movie.size());
    std::memcpy(movie.data() + 4, &length, 4);
    return movie;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    flash::Player player;
    std::string error;
    std::span<const uint8_t> input(data, size);
    Bytes built;
    const bool video = size >= 5 && std::memcmp(data, "VID", 3) == 0;
    if (video) input = built = VideoMovie(input);
    if (!player.LoadBytes(input, error)) return 0;
    constexpr int kWidth = 64, kHeight = 48;
    std::vector<uint32_t> pixels(kWidth * kHeight);
    const int frames = video ? 9 : 3;
    for (int frame = 0; frame < frames; ++frame) {
        if (frame > 0) player.Tick();
        player.Paint(pixels.data(), kWidth, kHeight, kWidth * 4);
    }
    if (video) {   // back to a frame before: decoding starts again
        player.GotoFrame(1);
        player.Paint(pixels.data(), kWidth, kHeight, kWidth * 4);
    }
    (void)player.CurrentFrame();
    (void)player.TotalFrames();
    return 0;
}
