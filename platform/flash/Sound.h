#pragma once
// Sound as a movie carries it, and the sink the player hands decoded sound
// to. The host binds the sink to the process's mixer; the sink's clock of
// frames played is what a stream sound keeps the timeline in step with.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace showsaver::flash {

enum class SoundFormat : uint8_t { PcmNative = 0, Adpcm = 1, Mp3 = 2, PcmLittle = 3, Unknown = 255 };

struct SoundInfo {
    SoundFormat format = SoundFormat::Unknown;
    int rate = 44100;        // 5512, 11025, 22050 or 44100
    bool sixteenBit = true;
    bool stereo = false;
};

// SoundStreamHead/2: the stream's format and its samples per frame.
struct StreamHead {
    SoundInfo info;
    uint16_t samplesPerFrame = 0;
};

// DefineSound.
struct SoundData {
    SoundInfo info;
    uint32_t sampleCount = 0;
    std::vector<uint8_t> data;
};

// StartSound/2: starts (or with `stop`, stops) an event sound.
struct SoundStart {
    uint16_t id = 0;
    bool stop = false;
    bool noMultiple = false;
    uint16_t loops = 1;
};

// Where decoded sound goes: interleaved signed 16-bit stereo at 44,100 Hz.
class SoundSink {
public:
    static constexpr int kRate = 44100;
    virtual ~SoundSink() = default;
    // Queues frames behind what is queued; returns false when the sink is gone.
    virtual bool Queue(std::span<const int16_t> interleavedStereo) = 0;
    // Frames played since the sink was opened (its clock).
    virtual uint64_t FramesPlayed() const = 0;
    // Drops everything queued and not yet played.
    virtual void Clear() = 0;
};

} // namespace showsaver::flash
