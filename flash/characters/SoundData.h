#pragma once
// Sound as a movie carries it: the formats, DefineSound's data, a stream's
// head and the starts of event sounds.

#include <cstdint>
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
    int32_t className = -1;   // StartSound2's sound by class name, until the loader finds its id
};

} // namespace showsaver::flash
