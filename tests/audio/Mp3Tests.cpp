// The MP3 player: the header scan and its tables, block conversion, and the
// controller end to end through the disk driver.

#include "SoundFixtures.h"
#include "media/Mp3Player.h"

#include <thread>

namespace showsaver {
namespace {

using namespace std::chrono_literals;

uint32_t HeaderWord(uint32_t version, uint32_t layer, uint32_t bitrate, uint32_t rate, uint32_t mode = 0,
    uint32_t emphasis = 0)
{
    return 0xFFE00000u | version << 19 | layer << 17 | bitrate << 12 | rate << 10 | mode << 6 | emphasis;
}

std::vector<uint8_t> BytesWithWord(size_t size, size_t offset, uint32_t word)
{
    std::vector<uint8_t> bytes(size, 0);
    for (size_t i = 0; i < 4 && offset + i < size; ++i)
        bytes[offset + i] = uint8_t(word >> (24 - 8 * i));
    return bytes;
}

TEST(Mp3Reader, ScanLooksAtTheFirst10240OffsetsOnly)
{
    const uint32_t word = HeaderWord(3, 1, 9, 0);
    struct Case { size_t size, offset; bool found; } cases[] = {
        { 4, 0, true }, { 10243, 10239, true }, { 20000, 10240, false },
        { 10242, 10239, false },   // the header's last byte lies beyond the data
        { 3, 0, false },
    };
    for (const auto& c : cases) {
        auto bytes = BytesWithWord(c.size, c.offset, word);
        CMP3Reader reader;
        reader.Attach(bytes.data(), bytes.size());
        EXPECT_EQ(reader.ScanHeader(), c.found) << "header at " << c.offset << " of " << c.size;
    }
}

TEST(Mp3Reader, InvalidHeadersAreSkippedAndTheScanGoesOn)
{
    const uint32_t invalid[] = {
        HeaderWord(3, 1, 0, 0), HeaderWord(3, 1, 15, 0), HeaderWord(3, 1, 9, 3), HeaderWord(3, 1, 9, 0, 0, 2),
        HeaderWord(1, 1, 9, 0), HeaderWord(3, 0, 9, 0), HeaderWord(3, 1, 9, 0) & ~(1u << 21),
    };
    for (uint32_t word : invalid) {
        auto bytes = BytesWithWord(400, 0, word);
        auto valid = BytesWithWord(400, 200, HeaderWord(2, 1, 3, 1, 3));
        std::copy(valid.begin() + 200, valid.begin() + 204, bytes.begin() + 200);
        CMP3Reader reader;
        reader.Attach(bytes.data(), bytes.size());
        ASSERT_TRUE(reader.ScanHeader()) << std::hex << word;
        EXPECT_EQ(reader.Bitrate(), 24) << std::hex << word;
        EXPECT_EQ(reader.SampleRate(), 24000u);
        EXPECT_EQ(reader.ChannelMode(), 3);
    }
}

TEST(Mp3Reader, BitratesFollowTheTableOfEachVersionAndLayer)
{
    struct Case { uint32_t version, layer, index; uint16_t kbps; } cases[] = {
        { 3, 3, 1, 32 }, { 3, 3, 14, 448 }, { 3, 2, 2, 48 }, { 3, 2, 14, 384 }, { 3, 1, 1, 32 }, { 3, 1, 14, 320 },
        { 2, 3, 14, 256 }, { 2, 2, 1, 8 }, { 0, 1, 14, 160 }, { 0, 3, 9, 144 },
    };
    for (const auto& c : cases) {
        auto header = CMP3Reader::ParseHeader(HeaderWord(c.version, c.layer, c.index, 0));
        ASSERT_TRUE(header);
        EXPECT_EQ(header->bitrate, c.kbps) << c.version << "/" << c.layer << "/" << c.index;
    }
}

TEST(Mp3Reader, FormatsForEveryRateAndChannelMode)
{
    struct Case { uint32_t version, rateIndex, mp3Rate, pcmRate; } cases[] = {
        { 3, 0, 44100, 22050 }, { 3, 1, 48000, 24000 }, { 3, 2, 32000, 16000 },
        { 2, 0, 22050, 22050 }, { 2, 1, 24000, 24000 }, { 2, 2, 16000, 16000 },
        { 0, 0, 11025, 11025 }, { 0, 1, 12000, 12000 }, { 0, 2, 8000, 8000 },
    };
    for (const auto& c : cases)
        for (uint32_t mode : { 0u, 1u, 2u, 3u }) {
            auto bytes = BytesWithWord(4, 0, HeaderWord(c.version, 1, 9, c.rateIndex, mode));
            CMP3Reader reader;
            reader.Attach(bytes.data(), bytes.size());
            ASSERT_TRUE(reader.ScanHeader());
            WaveFormat pcm;
            Mp3WaveFormat mp3;
            reader.BuildFormats(pcm, mp3);
            uint16_t channels = mode == 3 ? 1 : 2;
            EXPECT_EQ(mp3.samplesPerSec, c.mp3Rate);
            EXPECT_EQ(mp3.channels, channels);
            EXPECT_EQ(mp3.avgBytesPerSec, reader.Bitrate() * 1000u / 8);
            EXPECT_EQ(pcm.samplesPerSec, c.pcmRate);
            EXPECT_EQ(pcm.channels, channels);
            EXPECT_EQ(pcm.bitsPerSample, 8);
            EXPECT_EQ(pcm.blockAlign, channels);
            EXPECT_EQ(pcm.avgBytesPerSec, c.pcmRate * channels);
            EXPECT_EQ(std::tie(mp3.formatTag, mp3.blockAlign, mp3.bitsPerSample, mp3.cbSize, mp3.id, mp3.flags,
                          mp3.blockSize, mp3.framesPerBlock, mp3.codecDelay),
                std::make_tuple(uint16_t(0x55), uint16_t(1), uint16_t(0), uint16_t(12), uint16_t(1), uint32_t(2),
                    uint16_t(182), uint16_t(1), uint16_t(1393)));
        }
}

// Converts `mp3` the way the player does and returns the PCM as signed samples.
std::vector<int16_t> ConvertInBlocks(const std::vector<uint8_t>& mp3, int& calls, WaveFormat& pcm)
{
    CMP3Reader reader;
    reader.Attach(mp3.data(), mp3.size());
    EXPECT_TRUE(reader.ScanHeader());
    Mp3WaveFormat format;
    reader.BuildFormats(pcm, format);
    audio::Mp3Stream stream;
    EXPECT_TRUE(stream.Open({ int(format.samplesPerSec), format.channels, int(format.avgBytesPerSec) },
        { int(pcm.samplesPerSec), pcm.channels }));
    EXPECT_TRUE(stream.Prepare());
    std::vector<int16_t> out;
    calls = 0;
    for (size_t consumed = 0; consumed < mp3.size(); ++calls) {
        size_t length = std::min(audio::Mp3Stream::kSourceSize, mp3.size() - consumed);
        auto position = length == mp3.size() - consumed ? audio::BlockPosition::Last
            : consumed == 0 ? audio::BlockPosition::First : audio::BlockPosition::Middle;
        reader.Read(consumed, stream.Source().first(length));
        EXPECT_TRUE(stream.Convert(length, position));
        consumed += stream.SourceUsed();
        for (uint8_t b : stream.Destination())
            out.push_back(int16_t((int(b) - 128) << 8));
    }
    return out;
}

// The PCM of the whole file lasts as long as the music and carries its 440 Hz.
void CheckConversion(const std::vector<uint8_t>& mp3, double seconds, int expectedCalls)
{
    int calls = 0;
    WaveFormat pcm;
    auto samples = ConvertInBlocks(mp3, calls, pcm);
    EXPECT_EQ(calls, expectedCalls);
    double heard = double(samples.size()) / pcm.channels / pcm.samplesPerSec;
    EXPECT_NEAR(heard, seconds, 0.1) << pcm.samplesPerSec;
    std::vector<int16_t> first;
    for (size_t i = 0; i < samples.size(); i += pcm.channels)
        first.push_back(samples[i]);
    EXPECT_NEAR(test::EstimateFrequency(first, int(pcm.samplesPerSec)), 440, 5) << pcm.samplesPerSec;
}

TEST(Mp3Stream, ConvertsBlocksToTheMappedEightBitFormat)
{
    auto folder = test::FreshFolder("convert");
    struct Case { double seconds; int rate, channels; int calls; } cases[] = {
        { 0.5, 44100, 2, 1 },    // shorter than one block: one call marked last
        { 10.0, 44100, 1, 2 },   // 160,000 bytes: first, then last
        { 1.0, 22050, 1, 1 },
    };
    for (const auto& c : cases) {
        auto mp3 = test::SineMp3(folder, 440, c.seconds, c.rate, c.channels);
        CheckConversion(mp3, c.seconds, c.calls);
    }
    // Layer II is described as Layer III like any other stream, and decodes.
    auto result = testing::RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1:sample_rate=48000 "
        "-ac 2 -c:a mp2 -b:a 192k " + testing::Quoted(folder / "sine.mp2"));
    ASSERT_EQ(result.status, 0) << result.err;
    CheckConversion(test::ReadBytes(folder / "sine.mp2"), 1.0, 1);
    std::filesystem::remove_all(folder);
}

TEST(Mp3Controller, A440HzSineIsHeardAt440Hz)
{
    test::DiskRecording recording("mp3-sine");
    auto mp3 = test::SineMp3(recording.Folder(), 440, 1.0, 44100, 2);
    sys::Event stop;
    {
        audio::OutputOwner output;
        CMP3Controller controller(output);
        controller.Start(mp3.data(), int32_t(mp3.size()), true, false, stop);
        controller.Stop();
        std::this_thread::sleep_for(150ms);   // let the device's buffer reach the file
    }
    auto heard = test::LoudPart(recording.Samples());
    EXPECT_NEAR(double(heard.size()) / audio::kDeviceRate, 0.8, 0.15);
    EXPECT_NEAR(test::EstimateFrequency(heard, audio::kDeviceRate), 440, 5);
}

TEST(Mp3Controller, AWaitingLoopPlaysOnUntilTheStopEvent)
{
    test::DiskRecording recording("mp3-loop");
    auto mp3 = test::SineMp3(recording.Folder(), 440, 0.2, 44100, 2);
    sys::Event stop;
    audio::OutputOwner output;
    CMP3Controller controller(output);
    std::thread stopper([&] { std::this_thread::sleep_for(1200ms); stop.Set(); });
    controller.Start(mp3.data(), int32_t(mp3.size()), true, true, stop);
    EXPECT_TRUE(stop.IsSet());   // only the stop event ended the wait
    stopper.join();
    controller.Stop();
    controller.Stop();   // a second Stop finds no music
    auto played = output.Get()->AudibleFrames();
    // More than two passes of a 0.2 s file (a loaded machine's device may lag a little).
    EXPECT_GT(double(played) / audio::kDeviceRate, 0.45);
}

TEST(Mp3Controller, BadDataPlaysNothingAndNeverHangs)
{
    test::DiskRecording recording("mp3-bad");
    auto good = test::SineMp3(recording.Folder(), 440, 1.0, 44100, 2);
    std::vector<uint8_t> noHeader(20000, 0x55);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + 1500);
    auto noise = BytesWithWord(60000, 0, HeaderWord(3, 1, 9, 0));
    for (size_t i = 4; i < noise.size(); ++i)
        noise[i] = uint8_t((i * 2654435761u) >> 13);
    audio::OutputOwner output;
    CMP3Controller controller(output);
    for (const auto* bytes : { &noHeader, &truncated, &noise })
        for (bool loop : { false, true }) {
            sys::Event stop;
            std::thread stopper([&] { std::this_thread::sleep_for(300ms); stop.Set(); });
            controller.Start(bytes->data(), int32_t(bytes->size()), true, loop, stop);
            stopper.join();
            controller.Stop();
            if (bytes == &noHeader) {
                EXPECT_EQ(output.Get()->AudibleFrames(), 0u);
            }
        }
    controller.Start(nullptr, 0, true, false, sys::Event());   // only stops: nothing to wait for
    // The failures were of those plays only: good music plays after them.
    auto before = output.Get()->AudibleFrames();
    controller.Start(good.data(), int32_t(good.size()), true, false, sys::Event());
    controller.Stop();
    EXPECT_GT(double(output.Get()->AudibleFrames() - before) / audio::kDeviceRate, 0.7);
}

}
}
