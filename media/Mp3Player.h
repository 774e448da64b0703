#pragma once
// MP3 music from memory: a controller owned by the scene thread starts one
// worker thread at a time, which finds the first MPEG audio frame header,
// converts the bytes block by block to 8-bit PCM and streams that PCM to the
// sound output through two alternating buffers.
//
// Layer I and II streams are described as Layer III like any other; the
// decoder handles all three layers, so they play.

#include "platform/audio/Mp3Stream.h"
#include "platform/audio/Streams.h"
#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"

#include <array>

namespace showsaver {

// The PCM format the music is converted to: 8-bit, the header's channel
// count, MPEG-1 rates halved.
struct WaveFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t samplesPerSec = 22050;
    uint32_t avgBytesPerSec = 44100;
    uint16_t blockAlign = 2;
    uint16_t bitsPerSample = 8;
    uint16_t cbSize = 0;
};

// How the stream is described to the decoder.
struct Mp3WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
    uint16_t id = 0;
    uint32_t flags = 0;
    uint16_t blockSize = 0;
    uint16_t framesPerBlock = 0;
    uint16_t codecDelay = 0;
};

// The MP3 bytes seen as a file; they are read in place, never copied.
class CMP3Reader {
public:
    static constexpr size_t kScanOffsets = 10240;

    void Attach(const uint8_t* data, size_t size);
    // Finds the first valid frame header among the first 10,240 offsets and
    // keeps its bitrate, sample rate and channel mode. False when none is valid.
    bool ScanHeader();
    void BuildFormats(WaveFormat& pcm, Mp3WaveFormat& mp3) const;
    // Copies up to out.size() bytes from `offset`; returns how many.
    size_t Read(size_t offset, std::span<uint8_t> out) const;

    uint16_t Bitrate() const { return m_bitrate; }
    uint32_t SampleRate() const { return m_sampleRate; }
    uint16_t ChannelMode() const { return m_channelMode; }

    // The header word's fields checked and looked up; nullopt for an invalid header.
    struct Header {
        uint16_t bitrate;
        uint32_t sampleRate;
        uint16_t channelMode;
    };
    static std::optional<Header> ParseHeader(uint32_t word);

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    uint16_t m_bitrate = 0;
    uint32_t m_sampleRate = 0;
    uint16_t m_channelMode = 0;
};

// The streaming engine of one MP3 thread.
class CMP3Player {
public:
    CMP3Player(audio::OutputOwner& output, sys::Event& started, sys::Event& finished, sys::Event& stop);
    ~CMP3Player();

    // True when the music ran to its end or was stopped, false on any failure.
    bool PlayMemory(const uint8_t* data, size_t size);

    const WaveFormat& PcmFormat() const { return m_pcmFormat; }
    // Set for music that repeats: the end of one pass does not signal finished.
    void SetLooping(bool looping) { m_looping = looping; }

private:
    bool Play();
    bool OpenStreams();
    bool Fill();
    void CloseAll();
    bool Fail();
    void OnBufferDone();

    audio::OutputOwner& m_output;
    sys::Event& m_started;
    sys::Event& m_finished;
    sys::Event& m_stop;
    sys::Event m_bufferDone;
    std::atomic<int32_t> m_pending { 0 };
    bool m_atEnd = false;
    bool m_heardAny = false;
    bool m_looping = false;
    audio::Mp3Stream m_stream;
    CMP3Reader m_reader;
    size_t m_size = 0;
    uint32_t m_consumed = 0;
    int m_currentBuffer = 0;
    size_t m_outputBufferSize = 0;
    WaveFormat m_pcmFormat;
    Mp3WaveFormat m_mp3Format;
    std::unique_ptr<audio::PcmStream> m_wave;
    std::array<std::vector<uint8_t>, 2> m_buffers;
};

// One playback: the player on its own thread, kept after the music ends
// until the controller stops it.
class CMP3Thread {
public:
    CMP3Thread(audio::OutputOwner& output, sys::Event& started, sys::Event& finished, sys::Event& stop,
        const uint8_t* data, int32_t size, bool loop);
    ~CMP3Thread();

    void Start();
    void Join();

private:
    void Run();

    CMP3Player m_player;
    sys::Event& m_started;
    sys::Event& m_finished;
    sys::Event& m_stop;
    const uint8_t* m_data;
    int32_t m_size = -1;
    bool m_loop;
    sys::SuspendedThread m_thread;
};

// Starts and stops the MP3 thread; one per scene thread. Start and Stop may
// be called from different threads; a Stop from another thread is what ends
// a waiting Start.
class CMP3Controller {
public:
    explicit CMP3Controller(audio::OutputOwner& output);
    ~CMP3Controller();

    // Stops any music, then plays `size` bytes at `data` (kept by the caller
    // until Stop). With `wait`, returns when the music has finished, was
    // stopped, or `stop` (the scene thread's stop event) is set.
    void Start(const uint8_t* data, int32_t size, bool wait, bool loop, const sys::Event& stop);
    // Ends the music and its thread; returns at once when there is none.
    void Stop();

private:
    bool WaveOutAvailable();
    bool Mp3CodecPresent() const;
    void StopLocked();

    audio::OutputOwner& m_output;
    sys::Event m_started;
    sys::Event m_finished;
    sys::Event m_stop;
    std::mutex m_mutex;   // guards m_current between the scene thread and the stopping thread
    std::unique_ptr<CMP3Thread> m_current;
};

}
