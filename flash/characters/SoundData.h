#pragma once
// Sound as a movie carries it: the formats, DefineSound's data, a stream's
// head and the starts of event sounds.

#include <cstdint>
#include <map>
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

// What scripts' Sound objects ask of the mixer, and what it tells them
// back. The script machine fills `commands` and `transforms` in a step; the
// mixer takes the commands after the step and reports the sounds that ended
// and where the playing ones are.
struct ScriptSounds {
    struct Command {
        uint64_t token = 0;     // the Sound object that asked (0 for none)
        uint64_t owner = 0;     // the clip it speaks for, 0 for every sound
        uint16_t id = 0;        // the DefineSound; 0 with `stop` for any sound
        bool stop = false;
        double offsetSeconds = 0;
        int loops = 1;
    };
    struct Transform {
        double volume = 100;    // 0..100 as scripts set it (more amplifies)
        double pan = 0;         // -100 (left) .. 100 (right)
    };
    std::vector<Command> commands;
    std::map<uint64_t, Transform> transforms;   // by owner; 0 reaches every sound
    std::vector<uint64_t> completed;            // tokens whose last voice ended
    std::map<uint64_t, double> positions;       // ms into the sound, by token
};

} // namespace showsaver::flash
