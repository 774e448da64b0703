#pragma once
// The sink the player hands decoded sound to, and the mixer and decoder
// that feed it. The host binds the sink to the process's mixer; the sink's clock of
// frames played is what a stream sound keeps the timeline in step with.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "flash/characters/SoundData.h"

namespace showsaver::flash {

// Where decoded sound goes: interleaved signed 16-bit stereo at 44,100 Hz.
class SoundSink {
public:
    static constexpr int kRate = 44100;
    virtual ~SoundSink() = default;
    // Queues frames behind what is queued; returns false when the sink is gone.
    virtual bool Queue(std::span<const int16_t> interleavedStereo) = 0;
    // Frames played since the sink was opened (its clock).
    virtual uint64_t FramesPlayed() const = 0;
};

struct Movie;
struct Timeline;
struct StreamBlockRef;
class Playhead;
class SoundDecoder;

// Mixes a movie's sound for the sink, one frame slot per root step: the
// stream blocks of the root and of every sprite playing (each stream its
// own), and the event sounds their frames start.
class SoundMixer {
public:
    SoundMixer(const Movie& movie, SoundSink& sink);
    ~SoundMixer();
    SoundMixer(const SoundMixer&) = delete;
    SoundMixer& operator=(const SoundMixer&) = delete;

    // After a root step: takes what the step's frames started and queues
    // one slot of mixed sound (nothing when all is silent). `script` is
    // what the movie's Sound objects asked for in the step.
    void Step(Playhead& root, ScriptSounds* script = nullptr);
    // A stream sound is playing: the timeline follows the sound.
    bool StreamActive() const { return m_streamActive; }
    // Frames queued to the sink and not played yet.
    uint64_t Ahead() const;
    double SlotFrames() const { return m_slot; }

private:
    // One playhead's stream sound; it ends when a step feeds it nothing and
    // all it decoded has been mixed.
    struct Stream {
        std::unique_ptr<SoundDecoder> decoder;
        std::vector<int16_t> pcm;
        bool fed = false;
    };
    struct Voice {
        const std::vector<int16_t>* pcm = nullptr;
        size_t position = 0;
        uint16_t id = 0;
        int loopsLeft = 1;
        uint64_t owner = 0, token = 0;   // a script's: the clip it speaks for, its Sound object
    };
    void Start(const SoundStart& start);
    void Command(const ScriptSounds::Command& command);
    void Report(ScriptSounds& script) const;
    const std::vector<int16_t>* Decoded(uint16_t id);
    void Feed(const StreamBlockRef& block);
    void MixInto(std::vector<int32_t>& mix, size_t frames, const ScriptSounds* script);

    const Movie& m_movie;
    SoundSink& m_sink;
    double m_slot;
    double m_carry = 0;
    std::map<uint64_t, Stream> m_streams;   // by the serial of the playhead that streams
    bool m_streamActive = false;
    std::vector<Voice> m_voices;
    std::map<uint16_t, std::vector<int16_t>> m_decoded;   // a map: voices point into it
    size_t m_decodedFrames = 0;
    uint64_t m_queued = 0;
    uint64_t m_playedAtStart;
    std::vector<uint64_t> m_ended;   // tokens of script voices that ended in the last mix
};

// Decodes a movie's sound data into 44,100 Hz stereo s16 frames appended to
// `out`: MP3 through mpg123, ADPCM and PCM of our own. Damaged data ends
// the block; at most `maxFrames` frames come out of one call.
class SoundDecoder {
public:
    explicit SoundDecoder(SoundInfo info);
    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;
    // `data` is MP3 frames for MP3 (a caller strips the block's own fields).
    void Decode(std::span<const uint8_t> data, std::vector<int16_t>& out, size_t maxFrames);

private:
    struct Mp3;
    void DecodePcm(std::span<const uint8_t> data, std::vector<int16_t>& pcm);
    void DecodeAdpcm(std::span<const uint8_t> data, std::vector<int16_t>& pcm);
    void DecodeMp3(std::span<const uint8_t> data, std::vector<int16_t>& pcm, size_t maxFrames);
    // Interleaved samples of `channels` at `rate` to 44,100 Hz stereo.
    void Resample(const std::vector<int16_t>& in, int channels, int rate, std::vector<int16_t>& out, size_t maxFrames);

    SoundInfo m_info;
    std::unique_ptr<Mp3> m_mp3;
    double m_phase = 0;
};

} // namespace showsaver::flash
