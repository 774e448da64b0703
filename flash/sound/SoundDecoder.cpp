#include "flash/sound/Sound.h"

#include "flash/format/Reader.h"

#include <mpg123.h>

#include <algorithm>
#include <array>

namespace showsaver::flash {
namespace {

struct Mpg123Deleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

constexpr std::array<int, 89> kSteps = {
    7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66, 73, 80, 88, 97,
    107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494, 544, 598, 658, 724, 796,
    876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871,
    5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623,
    27086, 29794, 32767};

// How the step index moves for each code size (2 to 5 bits), by the code's
// magnitude bits.
int IndexShift(int bits, uint32_t magnitude) {
    static constexpr int k2[] = {-1, 2};
    static constexpr int k3[] = {-1, -1, 2, 4};
    static constexpr int k4[] = {-1, -1, -1, -1, 2, 4, 6, 8};
    static constexpr int k5[] = {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16};
    switch (bits) {
    case 2: return k2[magnitude];
    case 3: return k3[magnitude];
    case 4: return k4[magnitude];
    default: return k5[magnitude];
    }
}

struct AdpcmChannel {
    int sample = 0;
    int index = 0;

    int16_t Next(uint32_t code, int bits) {
        uint32_t signBit = 1u << (bits - 1);
        uint32_t magnitude = code & (signBit - 1);
        int step = kSteps[static_cast<size_t>(index)];
        int delta = step >> (bits - 1);
        for (int b = bits - 2; b >= 0; --b, step >>= 1)
            if (magnitude & (1u << b)) delta += step;
        sample = std::clamp(sample + ((code & signBit) ? -delta : delta), -32768, 32767);
        index = std::clamp(index + IndexShift(bits, magnitude), 0, 88);
        return static_cast<int16_t>(sample);
    }
};

} // namespace

struct SoundDecoder::Mp3 {
    Mpg123Ptr handle;
    long rate = 44100;
    int channels = 2;
};

SoundDecoder::SoundDecoder(SoundInfo info) : m_info(info) {
    if (info.format != SoundFormat::Mp3) return;
    Mpg123Ptr handle(mpg123_new(nullptr, nullptr));
    if (!handle) return;
    mpg123_param(handle.get(), MPG123_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(handle.get());
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) mpg123_format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle.get()) != MPG123_OK) return;
    m_mp3 = std::make_unique<Mp3>();
    m_mp3->handle = std::move(handle);
}

SoundDecoder::~SoundDecoder() = default;

void SoundDecoder::Decode(std::span<const uint8_t> data, std::vector<int16_t>& out, size_t maxFrames) {
    std::vector<int16_t> pcm;
    int channels = m_info.stereo ? 2 : 1;
    int rate = m_info.rate;
    switch (m_info.format) {
    case SoundFormat::PcmNative:
    case SoundFormat::PcmLittle: DecodePcm(data, pcm); break;
    case SoundFormat::Adpcm: DecodeAdpcm(data, pcm); break;
    case SoundFormat::Mp3:
        DecodeMp3(data, pcm, maxFrames);
        if (m_mp3) channels = m_mp3->channels, rate = static_cast<int>(m_mp3->rate);
        break;
    default: return;
    }
    Resample(pcm, channels, rate, out, maxFrames);
}

void SoundDecoder::DecodePcm(std::span<const uint8_t> data, std::vector<int16_t>& pcm) {
    if (!m_info.sixteenBit) {
        for (uint8_t v : data) pcm.push_back(static_cast<int16_t>((v - 128) << 8));
        return;
    }
    for (size_t i = 0; i + 1 < data.size(); i += 2) pcm.push_back(static_cast<int16_t>(data[i] | (data[i + 1] << 8)));
}

// Packets of 4096 samples per channel: each channel's first sample and step
// index in full, then codes of 2 to 5 bits, the channels interleaved.
void SoundDecoder::DecodeAdpcm(std::span<const uint8_t> data, std::vector<int16_t>& pcm) {
    Reader r(data);
    int bits = static_cast<int>(r.Bits(2)) + 2;
    int channels = m_info.stereo ? 2 : 1;
    std::array<AdpcmChannel, 2> state{};
    while (!r.Failed() && r.Remaining() > 0) {
        for (int c = 0; c < channels; ++c) {
            state[c].sample = r.SignedBits(16);
            state[c].index = static_cast<int>(r.Bits(6));
            if (!r.Failed()) pcm.push_back(static_cast<int16_t>(state[c].sample));
        }
        for (int i = 1; i < 4096 && !r.Failed(); ++i)
            for (int c = 0; c < channels; ++c) {
                uint32_t code = r.Bits(bits);
                if (r.Failed()) break;
                pcm.push_back(state[c].Next(code, bits));
            }
    }
    if (channels == 2 && pcm.size() % 2) pcm.pop_back();
}

void SoundDecoder::DecodeMp3(std::span<const uint8_t> data, std::vector<int16_t>& pcm, size_t maxFrames) {
    if (!m_mp3) return;
    mpg123_handle* h = m_mp3->handle.get();
    std::array<unsigned char, 16384> buffer;
    size_t done = 0;
    int status = mpg123_decode(h, data.data(), data.size(), buffer.data(), buffer.size(), &done);
    // Enough output for `maxFrames` at the lowest rate is the most we take.
    const size_t cap = maxFrames * 2 * 8;
    while (true) {
        if (status == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(h, &m_mp3->rate, &m_mp3->channels, &encoding);
        }
        const auto* samples = reinterpret_cast<const int16_t*>(buffer.data());
        pcm.insert(pcm.end(), samples, samples + done / 2);
        if ((status != MPG123_OK && status != MPG123_NEW_FORMAT) || pcm.size() > cap) break;
        status = mpg123_decode(h, nullptr, 0, buffer.data(), buffer.size(), &done);
    }
}

void SoundDecoder::Resample(const std::vector<int16_t>& in, int channels, int rate, std::vector<int16_t>& out,
                            size_t maxFrames) {
    if (rate <= 0 || channels < 1 || channels > 2) return;
    size_t frames = in.size() / static_cast<size_t>(channels);
    double step = static_cast<double>(rate) / SoundSink::kRate;
    for (size_t made = 0; m_phase < frames && made < maxFrames; m_phase += step, ++made) {
        size_t i = static_cast<size_t>(m_phase) * static_cast<size_t>(channels);
        out.push_back(in[i]);
        out.push_back(in[i + static_cast<size_t>(channels) - 1]);
    }
    m_phase = std::max(0.0, m_phase - static_cast<double>(frames));
}

} // namespace showsaver::flash
