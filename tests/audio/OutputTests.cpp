// The mixer and its streams, driven by hand, and wave sounds heard through
// the disk driver.

#include "SoundFixtures.h"
#include "platform/audio/WaveSound.h"
#include "platform/sys/Event.h"

#include <thread>

namespace showsaver {
namespace {

using namespace std::chrono_literals;

std::vector<int16_t> Mixed(audio::Output& mixer, size_t frames)
{
    std::vector<int16_t> out(frames * 2, 1234);
    mixer.MixInto(out.data(), frames);
    return out;
}

TEST(Mixer, SumsStreamsWithSaturation)
{
    struct Case { int16_t a, b, sum; } cases[] = {
        { 1000, -400, 600 }, { 30000, 30000, 32767 }, { -30000, -30000, -32768 }, { 0, 0, 0 },
    };
    for (const auto& c : cases) {
        auto mixer = audio::Output::CreateDetachedMixer();
        audio::ClipStream a(mixer, std::vector<int16_t>(200, c.a), false, {});
        audio::ClipStream b(mixer, std::vector<int16_t>(100, c.b), false, {});
        auto out = Mixed(*mixer, 120);   // b ends at frame 50, a at frame 100
        EXPECT_EQ(out[0], c.sum);
        EXPECT_EQ(out[99], c.sum);
        EXPECT_EQ(out[100], c.a);
        EXPECT_EQ(out[239], 0);
        EXPECT_EQ(a.PlayedFrames(), 100u);
        EXPECT_EQ(b.PlayedFrames(), 50u);
    }
}

// A frame queue holds what fits, hands it out in order across the end of its
// ring, counts what it handed out as its clock, and drops the rest on Clear.
TEST(Mixer, FrameQueueKeepsOrderAcrossItsRingAndCountsWhatPlayed)
{
    auto mixer = audio::Output::CreateDetachedMixer();
    audio::FrameQueue queue(mixer, 100);
    auto ramp = [](int from, int count) {
        std::vector<int16_t> frames;
        for (int i = from; i < from + count; ++i)
            frames.insert(frames.end(), { int16_t(i), int16_t(-i) });
        return frames;
    };
    EXPECT_EQ(queue.Push(ramp(0, 70)), 70u);
    auto first = Mixed(*mixer, 60);
    EXPECT_EQ(queue.Push(ramp(70, 120)), 90u) << "only what fits is taken";
    auto second = Mixed(*mixer, 120);   // 100 queued, then silence
    EXPECT_EQ(first[2 * 59], 59);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(second[2 * i], 60 + i) << i;
    EXPECT_EQ(second[2 * 100], 0);
    EXPECT_EQ(queue.Consumed(), 160u);
    queue.Push(ramp(1, 10));
    queue.Clear();
    EXPECT_EQ(Mixed(*mixer, 5)[0], 0);
    EXPECT_EQ(queue.Consumed(), 160u);
}

TEST(Mixer, PushedBuffersReportDoneOncePlayedAndOnClear)
{
    auto mixer = audio::Output::CreateDetachedMixer();
    int done = 0;
    auto stream = audio::PcmStream::Create(mixer, { audio::SampleFormat::S16, 44100, 2 }, [&] { ++done; });
    ASSERT_TRUE(stream);
    std::vector<int16_t> buffer(2000, 500);   // 1000 frames
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(buffer.data()), buffer.size() * 2);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stream->Submit(bytes));
    auto out = Mixed(*mixer, 1500);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(out[2999], 500);
    Mixed(*mixer, 1000);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(stream->PlayedFrames(), 2500u);
    stream->Clear();
    EXPECT_EQ(done, 3);
    EXPECT_EQ(Mixed(*mixer, 10)[0], 0);
    for (size_t i = 0; i < audio::PcmStream::kMaxQueuedBuffers; ++i)
        ASSERT_TRUE(stream->Submit(bytes));
    EXPECT_FALSE(stream->Submit(bytes));
}

TEST(Mixer, ConvertsEveryPushedFormatToTheDevice)
{
    struct Case { audio::SampleFormat format; int rate, channels; std::vector<uint8_t> frame; int16_t expected; } cases[] = {
        { audio::SampleFormat::U8, 22050, 1, { 192 }, 16384 },
        { audio::SampleFormat::S16, 11025, 2, { 0x00, 0x20, 0x00, 0x20 }, 8192 },
        { audio::SampleFormat::F32, 48000, 1, { 0, 0, 0x80, 0x3E }, 8192 },   // 0.25f
        { audio::SampleFormat::S32, 44100, 1, { 0, 0, 0, 0x20 }, 8192 },
    };
    for (const auto& c : cases) {
        auto mixer = audio::Output::CreateDetachedMixer();
        int done = 0;
        auto stream = audio::PcmStream::Create(mixer, { c.format, c.rate, c.channels }, [&] { ++done; });
        ASSERT_TRUE(stream);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < c.rate / 10; ++i)
            bytes.insert(bytes.end(), c.frame.begin(), c.frame.end());
        ASSERT_TRUE(stream->Submit(bytes, true));
        auto out = Mixed(*mixer, 6000);
        EXPECT_NEAR(out[2000], c.expected, 48) << c.rate;   // the resampler's filter gains a little
        EXPECT_NEAR(out[2001], c.expected, 48) << c.rate;
        EXPECT_NEAR(double(stream->PlayedFrames()), 4410, 64) << c.rate;
        EXPECT_EQ(done, 1);
    }
}

std::vector<uint8_t> SineWave(const std::filesystem::path& folder, const std::string& kind, int rate, int channels)
{
    auto sine = test::Sine(440, 0.5, rate, channels);
    if (kind == "u8" || kind == "float") {
        std::vector<uint8_t> data;
        for (int16_t s : sine) {
            if (kind == "u8") {
                data.push_back(uint8_t((s >> 8) + 128));
                continue;
            }
            float f = float(s) / 32768.0f;
            auto* p = reinterpret_cast<const uint8_t*>(&f);
            data.insert(data.end(), p, p + 4);
        }
        return test::WaveImage(kind == "u8" ? 1 : 3, rate, channels, kind == "u8" ? 8 : 32, data);
    }
    auto wave = test::S16Wave(sine, rate, channels);
    if (kind == "s16")
        return wave;
    test::WriteBytes(folder / "in.wav", wave);
    auto result = testing::RunCommand("sox " + testing::Quoted(folder / "in.wav") + " -e " + kind + " "
        + testing::Quoted(folder / "out.wav"));
    EXPECT_EQ(result.status, 0) << result.err;
    return test::ReadBytes(folder / "out.wav");
}

TEST(WaveSound, EveryWaveFormatDecodesAtItsPitch)
{
    auto folder = test::FreshFolder("wave-formats");
    struct Case { std::string kind; int rate, channels; } cases[] = {
        { "u8", 11025, 1 }, { "s16", 22050, 2 }, { "float", 44100, 1 }, { "ima-adpcm", 22050, 1 },
        { "ms-adpcm", 16000, 2 }, { "u-law", 8000, 1 }, { "a-law", 48000, 2 },
    };
    for (const auto& c : cases) {
        auto frames = audio::WaveSound::Decode(SineWave(folder, c.kind, c.rate, c.channels));
        EXPECT_NEAR(double(frames.size()) / 2 / audio::kDeviceRate, 0.5, 0.02) << c.kind;
        auto heard = test::LoudPart(frames);
        EXPECT_NEAR(test::EstimateFrequency(heard, audio::kDeviceRate), 440, 4) << c.kind;
    }
    std::filesystem::remove_all(folder);
}

TEST(WaveSound, DataThatIsNoWavePlaysNothing)
{
    auto wave = test::S16Wave(test::Sine(440, 0.1, 22050, 1), 22050, 1);
    std::vector<uint8_t> huge = wave;
    huge[40] = huge[41] = huge[42] = huge[43] = 0xFF;   // a data chunk longer than the image
    std::vector<std::vector<uint8_t>> images = {
        {}, { 'R', 'I', 'F', 'F' }, std::vector<uint8_t>(wave.begin(), wave.begin() + 30),
        std::vector<uint8_t>(5000, 0xA7), test::WaveImage(1, 22050, 1, 12, { 1, 2, 3, 4 }),
        test::WaveImage(1, 0, 1, 16, { 1, 2, 3, 4 }),
    };
    audio::OutputOwner output;   // no device is opened for data that is no wave
    audio::WaveSound sound(output);
    for (const auto& image : images) {
        EXPECT_FALSE(sound.PlayAsync(image, true));
        EXPECT_FALSE(sound.PlaySync(image, sys::Event()));
    }
    EXPECT_LE(audio::WaveSound::Decode(huge).size(), size_t(2 * 4410 + 256));   // read as far as the bytes go, or refused
    sound.Stop();
}

TEST(WaveSound, ANewSoundReplacesThePlayingOne)
{
    test::DiskRecording recording("wave-replace");
    auto low = test::S16Wave(test::Sine(440, 0.25, 22050, 1), 22050, 1);
    auto high = test::S16Wave(test::Sine(880, 0.5, 44100, 2), 44100, 2);
    {
        audio::OutputOwner output;
        audio::WaveSound sound(output);
        ASSERT_TRUE(sound.PlayAsync(low, true));
        std::this_thread::sleep_for(600ms);   // more than two passes of the loop
        ASSERT_TRUE(sound.PlaySync(high, sys::Event()));
        std::this_thread::sleep_for(150ms);
    }
    auto heard = test::LoudPart(recording.Samples());
    ASSERT_GT(heard.size(), size_t(0.7 * audio::kDeviceRate));
    size_t half = heard.size() / 2;
    std::vector<int16_t> first(heard.begin(), heard.begin() + half / 2), last(heard.end() - half / 3, heard.end());
    EXPECT_NEAR(test::EstimateFrequency(first, audio::kDeviceRate), 440, 5);
    EXPECT_NEAR(test::EstimateFrequency(last, audio::kDeviceRate), 880, 5);
    int peak = 0;
    for (int16_t s : last)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_LT(peak, 21000);   // the looping sound no longer plays beneath it
}

TEST(WaveSound, SyncPlayEndsWhenTheStopEventIsSet)
{
    test::DiskRecording recording("wave-stop");
    auto longSound = test::S16Wave(test::Sine(440, 30, 8000, 1), 8000, 1);
    audio::OutputOwner output;
    audio::WaveSound sound(output);
    sys::Event stop;
    std::thread stopper([&] { std::this_thread::sleep_for(200ms); stop.Set(); });
    EXPECT_TRUE(sound.PlaySync(longSound, stop));
    stopper.join();
    EXPECT_LT(output.Get()->MixedFrames(), uint64_t(10 * audio::kDeviceRate));
    stop.Set();
    EXPECT_TRUE(sound.PlaySync(longSound, stop));   // already set: returns at once
    EXPECT_LT(output.Get()->MixedFrames(), uint64_t(10 * audio::kDeviceRate));
}

}
}
