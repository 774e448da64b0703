#pragma once
// Decoders for the video that movies embed (Sorenson H.263, Screen Video,
// VP6, VP6 with alpha, Screen Video 2). The codec library stays behind this
// interface: nothing outside this folder sees its types, so it can be
// loaded when the first video needs it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/characters/Movie.h"

namespace showsaver::flash {

// A decoded frame: premultiplied ARGB32 (cairo's order), rows packed.
struct VideoPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

struct VideoFormat {
    VideoCodec codec = VideoCodec::H263;
    uint8_t deblocking = 0;   // as VideoCharacter::deblocking
};

class VideoDecoder {
public:
    virtual ~VideoDecoder() = default;
    // Feeds one VideoFrame packet. With `picture`, the frame it gives is
    // converted into it; without, the frame only moves the decoder on (the
    // frames before the one shown). False when the packet gives no frame.
    virtual bool Decode(std::span<const uint8_t> packet, VideoPicture* picture) = 0;
    // Forgets the frames seen, as before the first packet.
    virtual void Reset() = 0;
};

// Null with `error` when the codec cannot be decoded here.
std::unique_ptr<VideoDecoder> MakeVideoDecoder(const VideoFormat& format, std::string& error);

// Whether a packet stands alone (an intra frame, or a Screen Video frame
// that codes every block by itself), so that decoding may start at it.
bool IsKeyFrame(VideoCodec codec, std::span<const uint8_t> packet);

} // namespace showsaver::flash
