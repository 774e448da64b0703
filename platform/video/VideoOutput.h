#pragma once
// Where a playing video sends its pictures and its sound. The player calls
// both from its own decoding thread, so implementations must be safe to call
// from a thread other than the one that made them.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace showsaver::video {

// Receives the pictures of a video: width × height 32-bit xRGB pixels
// (0x00RRGGBB, the layout of gfx::Surface), `stride` bytes from one row to
// the next. The pixels are valid only during the call; copy what you keep.
class FrameTarget {
public:
    virtual ~FrameTarget() = default;
    virtual void ShowFrame(const uint32_t* xrgb, int width, int height, size_t stride) = 0;
    // Lets `write` put a width × height picture straight into the target's
    // own pixels (where they start, and their stride in bytes), so that no
    // copy is made; `write` says whether it wrote them. False when the
    // target has no room of that size: the picture then comes by ShowFrame.
    virtual bool WriteFrame(int /*width*/, int /*height*/,
                            const std::function<bool(uint32_t* xrgb, size_t stride)>& /*write*/) {
        return false;
    }
};

// Plays a video's sound: interleaved signed 16-bit stereo at 44,100 Hz.
class AudioSink {
public:
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;

    virtual ~AudioSink() = default;
    // Appends `count` stereo frames (2 × count samples) after those already queued.
    virtual void Queue(const int16_t* frames, size_t count) = 0;
    // Stereo frames played since the sink was made; never goes back, and
    // stays below or at the total queued. The player's clock runs on it.
    virtual uint64_t PlayedFrames() const = 0;
    // Drops what is queued and not yet played.
    virtual void Clear() = 0;
};

} // namespace showsaver::video
