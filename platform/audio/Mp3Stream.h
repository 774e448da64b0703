#pragma once
// MPEG audio to PCM, block by block, on libmpg123: the conversion stream of
// the MP3 player. mpg123 itself produces the PCM format asked for (unsigned
// 8-bit samples, the given rate and channel count), so what the mixer later
// converts is exactly that PCM. Layer I and II data decode as well as
// Layer III.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct mpg123_handle_struct;

namespace showsaver::audio {

struct Mpg123Closer {
    void operator()(mpg123_handle_struct* handle) const;
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle_struct, Mpg123Closer>;

// True when libmpg123 initialises and can produce 8-bit output.
bool Mp3CodecPresent();

enum class BlockPosition { First, Middle, Last };

// The MPEG stream as its first frame header describes it.
struct Mp3Description {
    int rate = 0;
    int channels = 0;
    int bytesPerSecond = 0;   // bitrate ÷ 8
};

// The 8-bit PCM asked for.
struct U8PcmFormat {
    int rate = 0;
    int channels = 0;
};

class Mp3Stream {
public:
    static constexpr size_t kSourceSize = 0x20000;

    // Sets up a decoder for `source` producing `pcm`; false when mpg123 refuses
    // the format. The destination size follows from the two descriptions.
    bool Open(const Mp3Description& source, const U8PcmFormat& pcm);
    // Allocates the source and destination buffers.
    bool Prepare();
    // Converts the source bytes placed in Source() (the first `length` of
    // them). Produced() and SourceUsed() tell the result. False on a decoder
    // error; running out of data is no error.
    bool Convert(size_t length, BlockPosition position);
    void Close();

    std::span<uint8_t> Source() { return m_source; }
    std::span<const uint8_t> Destination() const { return { m_destination.data(), m_produced }; }
    size_t SourceUsed() const { return m_used; }
    size_t DestinationSize() const { return m_destinationSize; }

private:
    bool Restart();
    bool ReadAvailable();
    bool HasAskedFormat();

    Mpg123Ptr m_handle;
    U8PcmFormat m_pcm;
    size_t m_destinationSize = kSourceSize;
    std::vector<uint8_t> m_source;
    std::vector<uint8_t> m_destination;
    size_t m_produced = 0;
    size_t m_used = 0;
};

}
