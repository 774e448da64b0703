#pragma once
// A film's sound: each sound the show plays, decoded to 44,100 Hz signed
// 16-bit stereo, laid from the show time it starts until it ends or is
// stopped (round after round when it loops), summed with saturation as the
// engine's mixer sums its streams.

#include "show/MediaControl.h"

#include <cstdint>
#include <span>
#include <vector>

namespace showsaver::showpack {

inline constexpr int kSoundtrackRate = 44100;

// Decoders of the show's media to device frames; empty when there is no
// sound. At most `maxFrames` frames are decoded.
std::vector<int16_t> DecodeWave(std::span<const uint8_t> bytes, size_t maxFrames);
std::vector<int16_t> DecodeMp3(std::span<const uint8_t> bytes, size_t maxFrames);
// FluidSynth with the General MIDI sound font the engine uses.
std::vector<int16_t> DecodeMidi(std::span<const uint8_t> bytes, size_t maxFrames);
std::vector<int16_t> DecodeVideoSound(const EmbeddedFile& file, size_t maxFrames);
// A Flash movie's sound as the player gives it while it plays `frames` frames.
std::vector<int16_t> DecodeFlashSound(std::span<const uint8_t> bytes, bool loop, int32_t timeLimit, size_t maxFrames);

class Soundtrack {
public:
    // Starts a sound of `type` at `start` (in device frames); it replaces the
    // sound of that type that plays.
    void Play(MediaType type, std::vector<int16_t> stereo, uint64_t start, bool loop);
    // Ends the sound of `type` at `at`.
    void Stop(MediaType type, uint64_t at);
    // Sums `out.size() / 2` frames from `from` on.
    void Mix(uint64_t from, std::span<int16_t> out) const;

private:
    struct Clip {
        MediaType type;
        std::vector<int16_t> stereo;
        uint64_t start, end;   // end: UINT64_MAX while it plays on
        bool loop;
    };
    std::vector<Clip> m_clips;
};

} // namespace showsaver::showpack
