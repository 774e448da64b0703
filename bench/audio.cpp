// Speed of the sound layer, as ratios to baselines measured in the same run:
//  - MP3 conversion as the player does it (header scan, blocks of 131,072
//    bytes into the alternating buffers) against libmpg123 decoding the
//    same file to the same 8-bit format alone (goal: at most 1.2);
//  - the mixer summing four streams against one memcpy of the same bytes
//    (no goal; for scale);
//  - the time from starting a wave, MP3 or MIDI play to the first sample
//    handed to the device, through SDL's disk driver writing to /dev/null.
// The MP3 (ten seconds of a chord, 44.1 kHz stereo, 128 kbit/s) is made with
// lame at start-up.

#include "TimingReporter.h"
#include "media/MidiPlayer.h"
#include "media/Mp3Player.h"
#include "platform/audio/WaveSound.h"

#include <mpg123.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <thread>

namespace {

using namespace showsaver;
using Clock = std::chrono::steady_clock;

constexpr double kMusicSeconds = 10;

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

std::vector<uint8_t> WaveOfChord(double seconds, int rate)
{
    std::vector<uint8_t> wave(44);
    for (int i = 0; i < int(seconds * rate); ++i) {
        double t = double(i) / rate, s = 0;
        for (double f : { 220.0, 277.2, 329.6, 440.0 })
            s += 6000 * std::sin(2 * std::numbers::pi * f * t);
        auto v = static_cast<int16_t>(s);
        for (int c = 0; c < 2; ++c) {
            wave.push_back(uint8_t(v));
            wave.push_back(uint8_t(v >> 8));
        }
    }
    auto put = [&](size_t at, uint32_t v, int n) { for (int i = 0; i < n; ++i) wave[at + i] = uint8_t(v >> 8 * i); };
    std::memcpy(wave.data(), "RIFF\0\0\0\0WAVEfmt ", 16);
    put(4, uint32_t(wave.size() - 8), 4); put(16, 16, 4); put(20, 1, 2); put(22, 2, 2);
    put(24, uint32_t(rate), 4); put(28, uint32_t(rate) * 4, 4); put(32, 4, 2); put(34, 16, 2);
    std::memcpy(wave.data() + 36, "data", 4);
    put(40, uint32_t(wave.size() - 44), 4);
    return wave;
}

struct Inputs {
    std::vector<uint8_t> mp3, wave, midi;
};

bool MakeInputs(Inputs& inputs)
{
    auto folder = std::filesystem::temp_directory_path() / "showsaver-bench-audio";
    std::filesystem::create_directories(folder);
    inputs.wave = WaveOfChord(kMusicSeconds, 44100);
    std::ofstream(folder / "chord.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(inputs.wave.data()), std::streamsize(inputs.wave.size()));
    std::string command = "lame --quiet -b 128 '" + (folder / "chord.wav").string() + "' '" + (folder / "chord.mp3").string() + "'";
    if (std::system(command.c_str()) != 0)
        return false;
    inputs.mp3 = ReadFile(folder / "chord.mp3");
    const uint8_t midi[] = { 'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, 16,
        0, 0xC0, 0, 0, 0x90, 69, 100, 0x83, 0x60, 0x80, 69, 0, 0, 0xFF, 0x2F, 0 };
    inputs.midi.assign(std::begin(midi), std::end(midi));
    return !inputs.mp3.empty();
}

// The player's conversion: scan, formats, blocks into two alternating buffers.
void ConvertOurs(benchmark::State& state, const std::vector<uint8_t>& mp3)
{
    for (auto _ : state) {
        CMP3Reader reader;
        reader.Attach(mp3.data(), mp3.size());
        reader.ScanHeader();
        WaveFormat pcm;
        Mp3WaveFormat format;
        reader.BuildFormats(pcm, format);
        audio::Mp3Stream stream;
        stream.Open({ int(format.samplesPerSec), format.channels, int(format.avgBytesPerSec) },
            { int(pcm.samplesPerSec), pcm.channels });
        stream.Prepare();
        std::vector<uint8_t> buffers[2] = { std::vector<uint8_t>(stream.DestinationSize()),
            std::vector<uint8_t>(stream.DestinationSize()) };
        size_t produced = 0;
        for (size_t consumed = 0, current = 0; consumed < mp3.size(); current ^= 1) {
            size_t length = std::min(audio::Mp3Stream::kSourceSize, mp3.size() - consumed);
            auto position = length == mp3.size() - consumed ? audio::BlockPosition::Last
                : consumed == 0 ? audio::BlockPosition::First : audio::BlockPosition::Middle;
            reader.Read(consumed, stream.Source().first(length));
            stream.Convert(length, position);
            consumed += stream.SourceUsed();
            auto out = stream.Destination();
            std::memcpy(buffers[current].data(), out.data(), out.size());
            produced += out.size();
        }
        benchmark::DoNotOptimize(produced);
    }
}

// libmpg123 alone: the whole file fed at once and decoded to the same format.
void ConvertMpg123(benchmark::State& state, const std::vector<uint8_t>& mp3)
{
    std::vector<uint8_t> out(size_t(kMusicSeconds + 1) * 22050 * 2);
    for (auto _ : state) {
        mpg123_handle* handle = mpg123_new(nullptr, nullptr);
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        mpg123_format_none(handle);
        mpg123_format(handle, 22050, MPG123_STEREO, MPG123_ENC_UNSIGNED_8);
        mpg123_open_feed(handle);
        mpg123_feed(handle, mp3.data(), mp3.size());
        size_t total = 0, done = 0;
        int result;
        while ((result = mpg123_read(handle, out.data() + total, out.size() - total, &done)) == MPG123_OK
            || result == MPG123_NEW_FORMAT)
            total += done;
        benchmark::DoNotOptimize(total += done);
        mpg123_delete(handle);
    }
}

constexpr size_t kMixSeconds = 1;

void MixFourStreams(benchmark::State& state)
{
    auto mixer = audio::Output::CreateDetachedMixer();
    std::vector<std::unique_ptr<audio::ClipStream>> streams;
    for (int i = 0; i < 4; ++i)
        streams.push_back(std::make_unique<audio::ClipStream>(mixer,
            std::vector<int16_t>(audio::kDeviceRate * 2, int16_t(1000 * (i + 1))), true, std::function<void()>()));
    std::vector<int16_t> out(audio::kDeviceBufferFrames * 2);
    for (auto _ : state)
        for (size_t frames = 0; frames < kMixSeconds * audio::kDeviceRate; frames += audio::kDeviceBufferFrames) {
            mixer->MixInto(out.data(), audio::kDeviceBufferFrames);
            benchmark::DoNotOptimize(out.data());
        }
}

void CopyFourStreams(benchmark::State& state)
{
    size_t bytes = 4 * kMixSeconds * audio::kDeviceRate * 4;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// Starts a play and times until the device's callback has taken its first sample.
template <typename StartPlay>
void TimeToFirstSample(benchmark::State& state, audio::OutputOwner& owner, StartPlay start)
{
    auto output = owner.Get();
    if (!output) {
        state.SkipWithError("no sound device");
        return;
    }
    for (auto _ : state) {
        auto before = output->AudibleFrames();
        auto begun = Clock::now();
        auto stopPlay = start(owner);
        while (output->AudibleFrames() == before)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begun).count());
        stopPlay();
    }
}

// Keeps each benchmark's CPU time per iteration too: the ratios compare CPU,
// which other work on the machine disturbs less than wall time.
class CpuReporter : public bench::TimingReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                m_cpu[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
        TimingReporter::ReportRuns(runs);
    }
    double Cpu(const std::string& name) const
    {
        auto it = m_cpu.find(name);
        return it == m_cpu.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_cpu;
};

void PrintRatio(const CpuReporter& reporter, const char* ours, const char* baseline, const char* goal)
{
    double a = reporter.Cpu(ours), b = reporter.Cpu(baseline);
    if (a > 0 && b > 0)
        std::printf("ratio %-24s / %-22s = %6.2f  (%s)\n", ours, baseline, a / b, goal);
}

}

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "disk", 0);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
    Inputs inputs;
    if (!MakeInputs(inputs)) {
        std::fprintf(stderr, "could not make the benchmark's MP3 with lame\n");
        return 1;
    }
    benchmark::RegisterBenchmark("Mp3/Ours", ConvertOurs, std::cref(inputs.mp3))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Mp3/Mpg123", ConvertMpg123, std::cref(inputs.mp3))->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Mix/FourStreams", MixFourStreams)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Mix/Memcpy", CopyFourStreams)->Unit(benchmark::kMicrosecond);
    sys::Event never;
    audio::OutputOwner owner;   // the process's output, shared by every play as in the show
    benchmark::RegisterBenchmark("FirstSample/Mp3", [&](benchmark::State& state) {
        TimeToFirstSample(state, owner, [&](audio::OutputOwner& shared) {
            auto controller = std::make_shared<CMP3Controller>(shared);
            controller->Start(inputs.mp3.data(), int32_t(inputs.mp3.size()), false, false, never);
            return [controller] { controller->Stop(); };
        });
    })->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FirstSample/Wave", [&](benchmark::State& state) {
        TimeToFirstSample(state, owner, [&](audio::OutputOwner& shared) {
            auto sound = std::make_shared<audio::WaveSound>(shared);
            sound->PlayAsync(inputs.wave, false);
            return [sound] { sound->Stop(); };
        });
    })->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
    // One player for the run, as the scene thread has: the soundfont loads at its first open.
    std::unique_ptr<CMidiPlayer> midi;
    benchmark::RegisterBenchmark("FirstSample/Midi", [&](benchmark::State& state) {
        TimeToFirstSample(state, owner, [&](audio::OutputOwner& shared) {
            if (!midi)
                midi = std::make_unique<CMidiPlayer>(shared);
            midi->Open({ nullptr, inputs.midi }, false);   // the inputs outlive the run
            midi->Play();
            return [&] { midi->Stop(); midi->Close(); };
        });
    })->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CpuReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    midi.reset();   // before the output it plays into

    std::printf("\n");
    PrintRatio(reporter, "Mp3/Ours", "Mp3/Mpg123", "goal <= 1.2");
    PrintRatio(reporter, "Mix/FourStreams", "Mix/Memcpy", "no goal; for scale");
    double mp3 = reporter.Cpu("Mp3/Ours");
    if (mp3 > 0)
        std::printf("mp3 conversion: %.2f ms of CPU per second of music\n", mp3 * 1000 / kMusicSeconds);
    for (const char* name : { "FirstSample/Mp3", "FirstSample/Wave", "FirstSample/Midi" })
        if (double s = reporter.Seconds(name); s > 0)
            std::printf("%-18s %.1f ms from the start of the play to the first sample handed to the device\n", name, s * 1000);
    return 0;
}
