#pragma once
// Wave images played from memory: one sound at a time, synchronous,
// asynchronous or looping; a new sound replaces the playing one. Any RIFF
// WAVE that SDL reads plays (PCM 8/16/32-bit, float, IMA and MS ADPCM,
// µ-law, A-law; any rate, mono or stereo). Data that is no readable wave,
// or a process without a sound device, plays nothing and reports false.
//
// The owner calls it from one thread at a time (the scene thread).

#include "platform/audio/Streams.h"

namespace showsaver::sys {
class Event;
}

namespace showsaver::audio {

class WaveSound {
public:
    explicit WaveSound(OutputOwner& output);
    ~WaveSound();
    WaveSound(const WaveSound&) = delete;
    WaveSound& operator=(const WaveSound&) = delete;

    // Plays the image and returns when it has played or `stop` is set; the
    // sound is stopped in the second case. False when nothing played.
    bool PlaySync(std::span<const uint8_t> image, const sys::Event& stop);
    // Starts the image and returns at once; `loop` repeats it until Stop or
    // the next sound.
    bool PlayAsync(std::span<const uint8_t> image, bool loop);
    // Stops the playing sound; nothing happens when none plays.
    void Stop();

    // Device frames of one wave image, empty when it is unreadable. Exposed for tests.
    static std::vector<int16_t> Decode(std::span<const uint8_t> image);

private:
    bool Start(std::span<const uint8_t> image, bool loop);

    OutputOwner& m_owner;
    std::unique_ptr<sys::Event> m_finished;
    std::unique_ptr<ClipStream> m_clip;
};

}
