#include "media/Mp3Player.h"

#include <algorithm>

namespace showsaver {

namespace {

// kbit/s by bitrate index 1..14 (index 0 of each row is unused).
constexpr uint16_t kMpeg1Bitrates[3][15] = {
    { 0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448 },   // Layer I
    { 0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384 },      // Layer II
    { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 },       // Layer III
};
constexpr uint16_t kMpeg2Bitrates[2][15] = {
    { 0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256 },     // Layer I
    { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 },          // Layers II and III
};

// Hz by version (0 = MPEG 2.5, 2 = MPEG-2, 3 = MPEG-1) and sample-rate index.
constexpr uint32_t kSampleRates[4][3] = {
    { 11025, 12000, 8000 },
    { 0, 0, 0 },
    { 22050, 24000, 16000 },
    { 44100, 48000, 32000 },
};

uint16_t LookUpBitrate(uint32_t version, uint32_t layerBits, uint32_t index)
{
    // Layer bits: 1 = Layer III, 2 = Layer II, 3 = Layer I.
    if (version == 3)
        return kMpeg1Bitrates[3 - layerBits][index];
    return kMpeg2Bitrates[layerBits == 3 ? 0 : 1][index];
}

// The PCM rate for an MP3 rate: MPEG-1 rates are halved, the others kept.
std::optional<uint32_t> MappedPcmRate(uint32_t rate)
{
    switch (rate) {
    case 8000: case 11025: case 12000: case 16000: case 22050: case 24000: return rate;
    case 32000: return 16000;
    case 44100: return 22050;
    case 48000: return 24000;
    default: return std::nullopt;
    }
}

}

void CMP3Reader::Attach(const uint8_t* data, size_t size)
{
    m_data = data;
    m_size = data ? size : 0;
}

std::optional<CMP3Reader::Header> CMP3Reader::ParseHeader(uint32_t h)
{
    uint32_t version = h >> 19 & 3;
    uint32_t layerBits = h >> 17 & 3;
    uint32_t bitrateIndex = h >> 12 & 0xF;
    uint32_t rateIndex = h >> 10 & 3;
    if ((h >> 21 & 0x7FF) != 0x7FF || version == 1 || layerBits == 0 || bitrateIndex == 0
        || bitrateIndex == 15 || rateIndex == 3 || (h & 3) == 2)
        return std::nullopt;
    return Header { LookUpBitrate(version, layerBits, bitrateIndex), kSampleRates[version][rateIndex],
        static_cast<uint16_t>(h >> 6 & 3) };
}

bool CMP3Reader::ScanHeader()
{
    for (size_t offset = 0; offset < kScanOffsets && offset + 4 <= m_size; ++offset) {
        const uint8_t* p = m_data + offset;
        uint32_t word = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        if (auto header = ParseHeader(word)) {
            m_bitrate = header->bitrate;
            m_sampleRate = header->sampleRate;
            m_channelMode = header->channelMode;
            return true;
        }
    }
    return false;
}

void CMP3Reader::BuildFormats(WaveFormat& pcm, Mp3WaveFormat& mp3) const
{
    uint16_t channels = m_channelMode == 3 ? 1 : 2;
    mp3 = Mp3WaveFormat { 0x55, channels, m_sampleRate, uint32_t(m_bitrate) * 1000 / 8, 1, 0, 12, 1, 2, 182, 1, 1393 };
    pcm.channels = channels;
    if (auto rate = MappedPcmRate(m_sampleRate))
        pcm.samplesPerSec = *rate;
    pcm.blockAlign = static_cast<uint16_t>(channels * pcm.bitsPerSample / 8);
    pcm.avgBytesPerSec = pcm.samplesPerSec * pcm.blockAlign;
}

size_t CMP3Reader::Read(size_t offset, std::span<uint8_t> out) const
{
    if (offset >= m_size)
        return 0;
    size_t count = std::min(out.size(), m_size - offset);
    std::copy_n(m_data + offset, count, out.begin());
    return count;
}

}
