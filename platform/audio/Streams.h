#pragma once
// The kinds of stream the mixer plays.
//
//   PcmStream   pushed PCM in any format SDL converts; the producer submits
//               buffers and hears back once per buffer when it has played.
//   PullStream  a source the mixer asks for device frames (a synthesizer).
//   ClipStream  a whole sound converted up front, played once or looping.
//   FrameQueue  device frames pushed as they are decoded (a video's or a
//               movie's sound), with the frames played as the player's clock.
//
// Each is attached to the mixer from construction to destruction and keeps
// its Output open while it lives. Every stream has a clock: PlayedFrames().

#include "platform/audio/Output.h"

#include <array>

struct _SDL_AudioStream;

namespace showsaver::audio {

struct AudioStreamCloser {
    void operator()(_SDL_AudioStream* stream) const;
};
using AudioStreamPtr = std::unique_ptr<_SDL_AudioStream, AudioStreamCloser>;

class PcmStream final : public Stream {
public:
    static constexpr size_t kMaxQueuedBuffers = 32;

    // Null when the format is not one SDL converts or conversion cannot be set up.
    // `bufferDone` runs on the device's thread once per submitted buffer when the
    // mixer has taken its last sample (and for every queued buffer in Clear); it
    // must only count and signal, never block or allocate.
    static std::unique_ptr<PcmStream> Create(std::shared_ptr<Output> output, const PcmFormat& format,
        std::function<void()> bufferDone = {});
    ~PcmStream() override;

    // Converts and queues one buffer; the bytes are copied, so the caller may
    // reuse them at once. `endOfData` lets the converter's last samples out.
    // False (nothing queued, no notice) when kMaxQueuedBuffers are waiting or
    // conversion fails.
    bool Submit(std::span<const uint8_t> bytes, bool endOfData = false);
    // Drops everything queued; each dropped buffer gets its done notice here.
    void Clear();
    // Buffers submitted whose done notice has not yet run.
    size_t Queued() const;

private:
    PcmStream(std::shared_ptr<Output> output, AudioStreamPtr converter, int bytesPerFrame,
        std::function<void()> bufferDone);
    size_t Mix(int16_t* out, size_t frames) override;
    void NotifyPlayedLocked();

    mutable std::mutex m_mutex;            // guards everything below; held briefly by both sides
    AudioStreamPtr m_converter;
    int m_bytesPerFrame;
    std::function<void()> m_bufferDone;
    uint64_t m_taken = 0;                  // device bytes the mixer has taken
    std::array<uint64_t, kMaxQueuedBuffers> m_ends {};   // ring: the m_taken value at which each buffer ends
    size_t m_head = 0;
    size_t m_count = 0;
};

class PullStream final : public Stream {
public:
    // `render(out, frames)` fills `frames` device frames (s16 stereo, interleaved)
    // on the device's thread; it must not block for long or allocate.
    using Render = std::function<void(int16_t* out, size_t frames)>;
    PullStream(std::shared_ptr<Output> output, Render render);
    ~PullStream() override;

private:
    size_t Mix(int16_t* out, size_t frames) override;
    Render m_render;
};

class ClipStream final : public Stream {
public:
    // Device-format frames (s16 stereo) to play, with `finished` set when a
    // non-looping clip has played to its end (at once for an empty clip).
    ClipStream(std::shared_ptr<Output> output, std::vector<int16_t> samples, bool loop,
        std::function<void()> finished);
    ~ClipStream() override;

private:
    size_t Mix(int16_t* out, size_t frames) override;

    std::vector<int16_t> m_samples;
    bool m_loop;
    std::function<void()> m_finished;
    size_t m_position = 0;   // in samples; touched by the callback only
    bool m_done = false;
};

class FrameQueue final : public Stream {
public:
    // Holds up to `capacity` device frames, allocated here once.
    FrameQueue(std::shared_ptr<Output> output, size_t capacity);
    ~FrameQueue() override;

    // Appends interleaved s16 stereo frames behind those queued and returns
    // how many were taken: fewer when the queue is full.
    size_t Push(std::span<const int16_t> frames);
    // Drops what is queued and not yet played.
    void Clear();
    // Frames the mixer has taken from the queue so far (PlayedFrames()
    // counts the same; this one is the producer's name for it).
    uint64_t Consumed() const noexcept { return PlayedFrames(); }

private:
    size_t Mix(int16_t* out, size_t frames) override;

    mutable std::mutex m_mutex;      // guards the ring; held briefly by both sides
    std::vector<int16_t> m_ring;     // capacity × 2 samples
    size_t m_start = 0;              // first queued frame
    size_t m_count = 0;              // frames queued
};

// Converts a whole buffer of `format` to device frames with SDL_AudioStream.
// Empty when the format is unusable or the result would exceed `maxFrames`.
std::vector<int16_t> ConvertToDevice(const PcmFormat& format, std::span<const uint8_t> bytes,
    size_t maxFrames);

}
