// Stream and event sound through a real SDL device on the disk driver: the
// player's mixed output is recorded to a file and measured there.

#include "tests/flash/Avm1Assembler.h"
#include "tests/flash/FlashTestSupport.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace showsaver::flash::test {
namespace {

// The sink the host will give the player, here on its own SDL device.
class SdlSink final : public SoundSink {
public:
    explicit SdlSink(const std::string& file) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
        SDL_AudioSpec want{}, have{};
        want.freq = kRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (m_device) SDL_PauseAudioDevice(m_device, 0);
    }
    ~SdlSink() override {
        if (m_device) SDL_CloseAudioDevice(m_device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    bool Open() const { return m_device != 0; }
    bool Queue(std::span<const int16_t> frames) override {
        m_queued += frames.size() / 2;
        return SDL_QueueAudio(m_device, frames.data(), static_cast<Uint32>(frames.size_bytes())) == 0;
    }
    uint64_t FramesPlayed() const override { return m_queued - SDL_GetQueuedAudioSize(m_device) / 4; }

private:
    SDL_AudioDeviceID m_device = 0;
    uint64_t m_queued = 0;
};

constexpr int kFps = 12;
constexpr int kStreamRate = 22050;

// 12 frames of a 1 kHz stream tone (PCM, 22,050 Hz mono, amplitude 8000),
// and on frame 6 an event sound: 0.1 s of a steady +4000 (44,100 Hz mono).
Bytes SoundMovie() {
    SwfWriter w(100, 100, kFps, 12);
    const int perFrame = kStreamRate / kFps;
    Bits head;
    const uint8_t pcm22kMono16 = 3 << 4 | 2 << 2 | 2;   // little-endian PCM, 22 kHz, 16-bit, mono
    head.U8(pcm22kMono16), head.U8(pcm22kMono16), head.U16(uint16_t(perFrame));
    w.Tag(45, head.Data());
    Bits event;
    event.U16(5), event.U8(uint8_t(3 << 4 | 3 << 2 | 2)), event.U32(4410);
    for (int i = 0; i < 4410; ++i) event.U16(4000);
    w.Tag(14, event.Data());
    int sample = 0;
    for (int f = 0; f < 12; ++f) {
        Bits block;
        for (int i = 0; i < perFrame; ++i, ++sample)
            block.U16(uint16_t(int16_t(std::lround(8000 * std::sin(2 * M_PI * 1000 * sample / kStreamRate)))));
        w.Tag(19, block.Data());
        if (f == 6) {
            Bits start;
            start.U16(5), start.U8(0);
            w.Tag(15, start.Data());
        }
        w.ShowFrame();
    }
    w.End();
    return w.Fws();
}

TEST(FlashSound, StreamAndEventSoundAreHeardThroughTheDiskDriver) {
    std::string file = ::testing::TempDir() + "flash-sound-" + std::to_string(getpid()) + ".raw";
    {
        SdlSink sink(file);
        ASSERT_TRUE(sink.Open()) << SDL_GetError();
        Player player;
        player.SetSoundSink(&sink);
        std::string error;
        ASSERT_TRUE(player.LoadBytes(SoundMovie(), error)) << error;
        player.SetLoop(false);
        // The host's loop: advance, then sleep until the next frame is due.
        while (player.IsPlaying()) {
            player.Advance(Player::Clock::now());
            std::this_thread::sleep_until(std::max(player.NextFrameTime(), Player::Clock::now() + std::chrono::milliseconds(2)));
        }
        while (sink.FramesPlayed() < 12 * 3675) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(in)), {});
    std::remove(file.c_str());
    std::vector<int16_t> left;
    for (size_t i = 0; i + 3 < raw.size(); i += 4) left.push_back(int16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8));
    Tone tone = MeasureTone(left);
    EXPECT_NEAR(tone.seconds, 1.0, 0.05);
    EXPECT_NEAR(tone.crossingsPerSecond, 2000, 100);
    EXPECT_NEAR(tone.peak, 8000 + 4000, 200);   // the event sound rides on the tone
}

// A sink that plays at once whatever it is given, into memory.
class RecordingSink final : public SoundSink {
public:
    bool Queue(std::span<const int16_t> frames) override {
        m_samples.insert(m_samples.end(), frames.begin(), frames.end());
        return true;
    }
    uint64_t FramesPlayed() const override { return m_samples.size() / 2; }
    std::vector<int16_t> Left() const { return Channel(0); }
    std::vector<int16_t> Right() const { return Channel(1); }
    std::vector<int16_t> Channel(size_t c) const {
        std::vector<int16_t> out;
        for (size_t i = c; i < m_samples.size(); i += 2) out.push_back(m_samples[i]);
        return out;
    }

private:
    std::vector<int16_t> m_samples;
};

// The stream tone of SoundMovie moved into a sprite of 12 frames, placed in
// a root of one frame that stops itself: the sprite's stream is heard.
TEST(FlashSound, StreamSoundOfASpriteIsMixed) {
    SwfWriter root(100, 100, kFps, 1);
    Bits def;
    def.U16(9), def.U16(12);
    SwfWriter sprite(0, 0, 0, 0);
    const int perFrame = kStreamRate / kFps;
    Bits head;
    const uint8_t pcm22kMono16 = 3 << 4 | 2 << 2 | 2;
    head.U8(pcm22kMono16), head.U8(pcm22kMono16), head.U16(uint16_t(perFrame));
    sprite.Tag(45, head.Data());
    for (int f = 0, sample = 0; f < 12; ++f) {
        Bits block;
        for (int i = 0; i < perFrame; ++i, ++sample)
            block.U16(uint16_t(int16_t(std::lround(8000 * std::sin(2 * M_PI * 1000 * sample / kStreamRate)))));
        sprite.Tag(19, block.Data());
        sprite.ShowFrame();
    }
    sprite.End();
    def.Append(sprite.Tags());
    root.Tag(39, def.Data());
    root.Place(1, 9, 0, 0);
    root.Actions({0x07});
    root.ShowFrame();
    root.End();
    RecordingSink sink;
    Player player;
    player.SetSoundSink(&sink);
    std::string error;
    ASSERT_TRUE(player.LoadBytes(root.Fws(), error)) << error;
    for (int i = 0; i < 11; ++i) player.Tick();
    Tone tone = MeasureTone(sink.Left());
    EXPECT_NEAR(tone.seconds, 1.0, 0.05);
    EXPECT_NEAR(tone.crossingsPerSecond, 2000, 100);
    EXPECT_NEAR(tone.peak, 8000, 200);
}

// An event sound (0.1 s of a steady +4000) started on the first frame by
// StartSound, or by StartSound2 through the class that SymbolClass names
// (written after it), or by a class no SymbolClass names.
TEST(FlashSound, EventSoundsStartByIdOrByClassName) {
    struct Case { const char* what; int code; std::string name; double seconds; };
    const Case cases[] = {{"StartSound", 15, "", 0.1}, {"StartSound2", 89, "Beep", 0.1}, {"StartSound2, no such class", 89, "Nobody", 0}};
    for (const Case& c : cases) {
        SwfWriter w(100, 100, kFps, 3);
        Bits event;
        event.U16(5), event.U8(uint8_t(3 << 4 | 3 << 2 | 2)), event.U32(4410);
        for (int i = 0; i < 4410; ++i) event.U16(4000);
        w.Tag(14, event.Data());
        Bits start;
        if (c.code == 15) start.U16(5);
        else start.String(c.name);
        start.U8(0);
        w.Tag(c.code, start.Data());
        Bits symbols;
        symbols.U16(1), symbols.U16(5), symbols.String("Beep");
        w.Tag(76, symbols.Data());
        for (int f = 0; f < 3; ++f) w.ShowFrame();
        w.End();
        RecordingSink sink;
        Player player;
        player.SetSoundSink(&sink);
        std::string error;
        ASSERT_TRUE(player.LoadBytes(w.Fws(), error)) << error;
        for (int i = 0; i < 2; ++i) player.Tick();
        std::vector<int16_t> left = sink.Left();
        size_t loud = std::count_if(left.begin(), left.end(), [](int16_t v) { return v > 3900; });
        EXPECT_NEAR(double(loud) / SoundSink::kRate, c.seconds, 0.005) << c.what;
    }
}

// The same tone (1 kHz, amplitude 8000, 22,050 Hz mono, one second) made by
// lame as MP3 and by FFmpeg as ADPCM in an FLV file (whose audio packets
// are the movie format's ADPCM packets), through the decoder.
std::string Shell(const std::string& command) { return std::system(command.c_str()) == 0 ? "" : "failed: " + command; }

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// FLV: a 9-byte header, then tags (type, 24-bit size, 7 bytes of time and
// stream, the data, a 32-bit back pointer); audio tags' data is a format
// byte and one packet.
std::vector<Bytes> FlvAudioPackets(const Bytes& flv) {
    std::vector<Bytes> packets;
    for (size_t at = 13; at + 11 <= flv.size();) {
        size_t size = size_t(flv[at + 1]) << 16 | size_t(flv[at + 2]) << 8 | flv[at + 3];
        if (at + 11 + size > flv.size()) break;
        if (flv[at] == 8 && size > 1) packets.emplace_back(flv.begin() + long(at + 12), flv.begin() + long(at + 11 + size));
        at += 11 + size + 4;
    }
    return packets;
}

TEST(FlashSound, Mp3AndAdpcmDecodeToTheTone) {
    std::string dir = ::testing::TempDir() + "flash-tone-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    Bits raw;
    for (int i = 0; i < kStreamRate; ++i) raw.U16(uint16_t(int16_t(std::lround(8000 * std::sin(2 * M_PI * 1000 * i / kStreamRate)))));
    std::ofstream(dir + "/tone.raw", std::ios::binary).write(reinterpret_cast<const char*>(raw.Data().data()), long(raw.Data().size()));
    ASSERT_EQ(Shell("lame --quiet -r -s 22.05 --bitwidth 16 --signed --little-endian -m m " + dir + "/tone.raw " + dir + "/tone.mp3 2>/dev/null"), "");
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f s16le -ar 22050 -ac 1 -i " + dir + "/tone.raw -c:a adpcm_swf -f flv " + dir + "/tone.flv"), "");
    struct Case { const char* what; SoundFormat format; std::vector<Bytes> blocks; };
    const Case cases[] = {
        {"MP3", SoundFormat::Mp3, {ReadFile(dir + "/tone.mp3")}},
        {"ADPCM", SoundFormat::Adpcm, FlvAudioPackets(ReadFile(dir + "/tone.flv"))},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.blocks.empty()) << c.what;
        SoundDecoder decoder({c.format, kStreamRate, true, false});
        std::vector<int16_t> out;
        for (const Bytes& block : c.blocks) decoder.Decode(block, out, 10 * SoundSink::kRate);
        std::vector<int16_t> left;
        for (size_t i = 0; i < out.size(); i += 2) left.push_back(out[i]);
        Tone tone = MeasureTone(left);
        EXPECT_NEAR(tone.seconds, 1.0, 0.06) << c.what;
        EXPECT_NEAR(tone.crossingsPerSecond, 2000, 60) << c.what;
        EXPECT_NEAR(tone.peak, 8000, 800) << c.what;
    }
    std::filesystem::remove_all(dir);
}

// A script's Sound objects: 0.1 s of a steady +4000 exported as "beep",
// started, scaled and panned by scripts; each row the levels heard left and
// right, for how long, and what the script traced.
TEST(FlashSound, ScriptedSoundsThroughTheMixer) {
    const std::string global = "push 0, \"Sound\"; newObject; store r1; pop; push \"beep\", 1, r1, \"attachSound\"; callMethod; pop\n";
    const std::string start = "push 0, r1, \"start\"; callMethod; pop\n";
    const struct {
        const char* what;
        std::string source;
        int left, right;
        double seconds;
        const char* trace;
    } rows[] = {
        {"start", global + start, 4000, 4000, 0.1, ""},
        {"no such linkage name: silence", "push 0, \"Sound\"; newObject; store r1; pop; push \"nobody\", 1, r1, \"attachSound\"; callMethod; pop\n" + start,
         0, 0, 0, ""},
        {"setVolume(50), getVolume", global + "push 50, 1, r1, \"setVolume\"; callMethod; pop; push 0, r1, \"getVolume\"; callMethod; trace\n" + start,
         2000, 2000, 0.1, "50"},
        {"a clip's volume times every sound's",
         "push \"_root\"; getVariable; push 1, \"Sound\"; newObject; store r1; pop; push \"beep\", 1, r1, \"attachSound\"; callMethod; pop\n"
         "push 50, 1, r1, \"setVolume\"; callMethod; pop\n"
         "push 0, \"Sound\"; newObject; store r2; pop; push 50, 1, r2, \"setVolume\"; callMethod; pop\n" + start,
         1000, 1000, 0.1, ""},
        {"setPan(100): the right only", global + "push 100, 1, r1, \"setPan\"; callMethod; pop\n" + start, 0, 4000, 0.1, ""},
        {"start(0, 3) loops three times", global + "push 3, 0, 2, r1, \"start\"; callMethod; pop\n", 4000, 4000, 0.3, ""},
        {"start(0.05) from the middle", global + "push 0.05, 1, r1, \"start\"; callMethod; pop\n", 4000, 4000, 0.05, ""},
        {"stop() after start: silence", global + start + "push 0, r1, \"stop\"; callMethod; pop\n", 0, 0, 0, ""},
        {"stopAllSounds after start: silence", global + start + "push 0, \"stopAllSounds\"; callFunction; pop\n", 0, 0, 0, ""},
        {"stop(\"beep\") after start: silence", global + start + "push \"beep\", 1, r1, \"stop\"; callMethod; pop\n", 0, 0, 0, ""},
        {"duration, and onSoundComplete once",
         global + "push r1, \"duration\"; getMember; trace\n"
                  "push r1, \"onSoundComplete\"\nfunction _()\npush \"done\"; trace\nend\nsetMember\n" + start,
         4000, 4000, 0.1, "100|done"},
    };
    for (const auto& r : rows) {
        SwfWriter w(100, 100, kFps, 1);
        Bits event;
        event.U16(5), event.U8(uint8_t(3 << 4 | 3 << 2 | 2)), event.U32(4410);
        for (int i = 0; i < 4410; ++i) event.U16(4000);
        w.Tag(14, event.Data());
        ExportAsset(w, 5, "beep");
        w.Actions(Avm1Assembler::Assemble(r.source));
        w.ShowFrame();
        w.End();
        RecordingSink sink;
        Player player;
        player.SetSoundSink(&sink);
        std::string trace;
        player.SetTrace([&trace](const std::string& line) { trace += (trace.empty() ? "" : "|") + line; });
        std::string error;
        ASSERT_TRUE(player.LoadBytes(WithVersion(w.Fws(), 8), error)) << error;
        for (int i = 0; i < 6; ++i) player.Tick();
        for (int channel = 0; channel < 2; ++channel) {
            std::vector<int16_t> samples = channel ? sink.Right() : sink.Left();
            int level = channel ? r.right : r.left;
            int peak = samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
            EXPECT_NEAR(peak, level, 2) << r.what << (channel ? " right" : " left");
            size_t loud = std::count_if(samples.begin(), samples.end(), [&](int16_t v) { return v > 0 && v >= level - 2; });
            EXPECT_NEAR(double(loud) / SoundSink::kRate, level ? r.seconds : 0, 0.002) << r.what;
        }
        EXPECT_EQ(trace, r.trace) << r.what;
    }
}

} // namespace
} // namespace showsaver::flash::test
