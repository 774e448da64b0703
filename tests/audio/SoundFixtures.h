#pragma once
// Fixtures of the sound tests: a recording through SDL's disk driver, wave,
// MP3 and MIDI files made at test time, and a pitch estimate.

#include "platform/TestSupport.h"
#include "support/Command.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <unistd.h>
#include <vector>

namespace showsaver::test {

inline std::filesystem::path FreshFolder(const std::string& name)
{
    auto folder = std::filesystem::temp_directory_path()
        / ("showsaver-audio-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
        static_cast<std::streamsize>(bytes.size()));
}

// A recording of the disk driver: raw s16le samples.
inline std::vector<int16_t> ReadSamples(const std::filesystem::path& path)
{
    auto bytes = ReadBytes(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Everything the process mixes goes to a file while this lives: raw 44,100 Hz
// s16le stereo. The output must be opened after it and closed before Samples().
class DiskRecording {
public:
    explicit DiskRecording(const std::string& name)
        : m_folder(FreshFolder(name))
        , m_driver("SDL_AUDIODRIVER", "disk")
        , m_file("SDL_DISKAUDIOFILE", (m_folder / "mixed.raw").string())
    {
    }
    ~DiskRecording() { std::filesystem::remove_all(m_folder); }

    std::vector<int16_t> Samples() const { return ReadSamples(m_folder / "mixed.raw"); }
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
    ScopedEnvironment m_driver;
    ScopedEnvironment m_file;
};

// Interleaved stereo: the left channel of the part louder than `floor`,
// less a tenth at each end (attack and release).
inline std::vector<int16_t> LoudPart(const std::vector<int16_t>& stereo, int floor = 600)
{
    size_t first = stereo.size(), last = 0;
    for (size_t i = 0; i < stereo.size(); i += 2)
        if (std::abs(stereo[i]) > floor) {
            first = std::min(first, i);
            last = i;
        }
    if (first >= last)
        return {};
    size_t trim = (last - first) / 10;
    std::vector<int16_t> left;
    for (size_t i = first + trim; i < last - trim; i += 2)
        left.push_back(stereo[i]);
    return left;
}

// Cycles per second of a mono signal, counted as rises from below -T to above
// +T with T a quarter of its peak, so that noise near zero counts nothing.
inline double EstimateFrequency(const std::vector<int16_t>& mono, int rate)
{
    int peak = 0;
    for (int16_t s : mono)
        peak = std::max(peak, std::abs(int(s)));
    int threshold = peak / 4;
    if (threshold == 0 || mono.empty())
        return 0;
    int rises = 0;
    bool low = false;
    for (int16_t s : mono) {
        if (s < -threshold)
            low = true;
        else if (s > threshold && low) {
            low = false;
            ++rises;
        }
    }
    return rises * double(rate) / double(mono.size());
}

inline std::vector<int16_t> Sine(double frequency, double seconds, int rate, int channels, double amplitude = 20000)
{
    std::vector<int16_t> samples;
    auto frames = static_cast<size_t>(seconds * rate);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back(static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * frequency * double(i) / rate)));
    return samples;
}

// A RIFF WAVE image: tag 1 (PCM) or 3 (float), with the given sample bytes.
inline std::vector<uint8_t> WaveImage(uint16_t tag, int rate, int channels, int bits, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out(44 + data.size());
    size_t at = 0;
    auto put = [&](uint32_t v, int bytes) { for (int i = 0; i < bytes; ++i) out[at++] = uint8_t(v >> (8 * i)); };
    auto name = [&](const char* t) { for (int i = 0; i < 4; ++i) out[at++] = uint8_t(t[i]); };
    uint16_t align = uint16_t(channels * bits / 8);
    name("RIFF"); put(uint32_t(36 + data.size()), 4); name("WAVE");
    name("fmt "); put(16, 4); put(tag, 2); put(uint32_t(channels), 2); put(uint32_t(rate), 4);
    put(uint32_t(rate) * align, 4); put(align, 2); put(uint32_t(bits), 2);
    name("data"); put(uint32_t(data.size()), 4);
    std::copy(data.begin(), data.end(), out.begin() + 44);
    return out;
}

inline std::vector<uint8_t> S16Wave(const std::vector<int16_t>& samples, int rate, int channels)
{
    std::vector<uint8_t> data(samples.size() * 2);
    std::memcpy(data.data(), samples.data(), data.size());
    return WaveImage(1, rate, channels, 16, data);
}

// An MP3 of a sine, made with lame from a wave file.
inline std::vector<uint8_t> SineMp3(const std::filesystem::path& folder, double frequency, double seconds, int rate,
    int channels, const std::string& lameOptions = "-b 128")
{
    auto wave = folder / "sine.wav";
    auto mp3 = folder / "sine.mp3";
    WriteBytes(wave, S16Wave(Sine(frequency, seconds, rate, channels), rate, channels));
    auto result = testing::RunCommand("lame --quiet " + lameOptions + " " + testing::Quoted(wave) + " "
        + testing::Quoted(mp3));
    EXPECT_EQ(result.status, 0) << result.err;
    return ReadBytes(mp3);
}

// A type-0 MIDI file with one note on channel 0: 480 ticks per quarter note at
// the default tempo, so 960 ticks last one second.
inline std::vector<uint8_t> MidiNote(int program, int note, uint32_t ticks)
{
    std::vector<uint8_t> track = { 0x00, 0xC0, uint8_t(program), 0x00, 0x90, uint8_t(note), 100 };
    std::vector<uint8_t> delta;
    for (uint32_t v = ticks; ; v >>= 7) {
        delta.insert(delta.begin(), uint8_t((v & 0x7F) | (delta.empty() ? 0 : 0x80)));
        if (v < 0x80)
            break;
    }
    track.insert(track.end(), delta.begin(), delta.end());
    track.insert(track.end(), { 0x80, uint8_t(note), 0, 0x00, 0xFF, 0x2F, 0x00 });
    std::vector<uint8_t> out = { 'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k' };
    for (int i = 3; i >= 0; --i)
        out.push_back(uint8_t(track.size() >> (8 * i)));
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

}
