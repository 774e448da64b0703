#pragma once
// The sound output of the process: one SDL audio device (44,100 Hz, signed
// 16-bit, stereo) and a mixer in its callback that sums every stream with
// saturation.
//
// Ownership: the application makes one OutputOwner and hands it by reference
// to every player. The first Get() opens the device; later calls share it;
// it closes when the owner and the last stream holding it are gone. When no
// device can be opened, Get() returns null and the caller plays nothing.
//
// Threads: streams may be made, fed and destroyed from any thread. The
// device callback allocates nothing; it takes the mixer's list lock (held by
// others only to add or remove a stream) and each stream's own lock (held by
// its producer for one small piece of conversion at a time).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace showsaver::audio {

inline constexpr int kDeviceRate = 44100;
inline constexpr int kDeviceChannels = 2;
inline constexpr int kDeviceBufferFrames = 2048;

enum class SampleFormat { U8, S16, S32, F32 };

// The layout of interleaved PCM that a producer hands over.
struct PcmFormat {
    SampleFormat sample = SampleFormat::S16;
    int rate = kDeviceRate;
    int channels = kDeviceChannels;

    int BytesPerFrame() const;
    bool IsValid() const;   // 1 or 2 channels, 1 Hz to 384 kHz
};

class Output;

// A source the mixer plays from. Mix writes up to `frames` device frames
// (interleaved s16 stereo) into `out` and returns how many it wrote; fewer
// means the source has nothing more right now. Called on the device's
// thread only, under the mixer's list lock.
class Stream {
public:
    virtual ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // The clock of the stream: device frames (1/44,100 s each) the mixer has
    // taken from it so far.
    uint64_t PlayedFrames() const noexcept { return m_played.load(std::memory_order_acquire); }

protected:
    explicit Stream(std::shared_ptr<Output> output);
    // Adds the stream to the mixer; the derived constructor calls it last.
    void Attach();
    // Takes it out again; after return the callback no longer touches it.
    // Derived destructors call it first.
    void Detach();

private:
    friend class Output;
    virtual size_t Mix(int16_t* out, size_t frames) = 0;

    std::shared_ptr<Output> m_output;
    std::atomic<uint64_t> m_played { 0 };
    bool m_attached = false;
};

class Output : public std::enable_shared_from_this<Output> {
public:
    // Opens the default device; null when the SDL audio subsystem or the
    // device cannot be opened ("no wave device is available").
    static std::shared_ptr<Output> Open();
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Device frames the callback has produced since the device opened.
    uint64_t MixedFrames() const noexcept { return m_mixed.load(std::memory_order_acquire); }
    // Device frames the callback mixed that carried sound of any stream;
    // the first one marks when a stream's first sample reached the device.
    uint64_t AudibleFrames() const noexcept { return m_audible.load(std::memory_order_acquire); }

    // Sums `frames` frames of every attached stream into `out` (s16 stereo),
    // saturating. This is the device callback's body; tests and the mixer
    // bench call it directly on an unopened mixer.
    void MixInto(int16_t* out, size_t frames);

    // An output with no device behind it, for driving MixInto by hand.
    static std::shared_ptr<Output> CreateDetachedMixer();

private:
    friend class Stream;
    struct DeviceCloser;

    Output();
    void Add(Stream& stream);
    void Remove(Stream& stream);
    static void Callback(void* self, uint8_t* bytes, int length);

    uint32_t m_device = 0;
    bool m_subsystemOpen = false;
    std::mutex m_mutex;                    // guards m_streams; held by the callback while mixing
    std::vector<Stream*> m_streams;
    std::vector<int32_t> m_sum;            // scratch of the callback, sized at open
    std::vector<int16_t> m_piece;
    std::atomic<uint64_t> m_mixed { 0 };
    std::atomic<uint64_t> m_audible { 0 };
};

// The process's one output, opened at the first Get and kept while the owner lives.
// The device is asked for once: when it cannot be had, one line on stderr says
// so and every later Get returns null at once.
class OutputOwner {
public:
    // The open output, opening it when none is; null when no device is available.
    std::shared_ptr<Output> Get();

private:
    std::mutex m_mutex;
    std::shared_ptr<Output> m_output;
    bool m_unavailable = false;
};

}
