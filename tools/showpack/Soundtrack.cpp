#include "tools/showpack/Soundtrack.h"

#include "flash/player/FlashPlayer.h"
#include "platform/audio/WaveSound.h"
#include "platform/mci/Sequencer.h"
#include "media/VideoHost.h"
#include "platform/video/VideoFile.h"

#include <fluidsynth.h>
#include <mpg123.h>

#include <algorithm>
#include <memory>

namespace showsaver::showpack {

std::vector<int16_t> DecodeWave(std::span<const uint8_t> bytes, size_t maxFrames) {
    auto frames = audio::WaveSound::Decode(bytes);
    if (frames.size() > maxFrames * 2) frames.resize(maxFrames * 2);
    return frames;
}

std::vector<int16_t> DecodeMp3(std::span<const uint8_t> bytes, size_t maxFrames) {
    std::vector<int16_t> out;
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> handle(mpg123_new(nullptr, &error), mpg123_delete);
    if (!handle) return out;
    mpg123_param(handle.get(), MPG123_FLAGS, MPG123_FORCE_STEREO | MPG123_QUIET, 0);
    mpg123_param(handle.get(), MPG123_FORCE_RATE, kSoundtrackRate, 0);
    mpg123_format_none(handle.get());
    mpg123_format(handle.get(), kSoundtrackRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle.get()) != MPG123_OK) return out;
    if (mpg123_feed(handle.get(), bytes.data(), bytes.size()) != MPG123_OK) return out;
    std::vector<unsigned char> block(16384);
    while (out.size() < maxFrames * 2) {
        size_t done = 0;
        int status = mpg123_read(handle.get(), block.data(), block.size(), &done);
        out.insert(out.end(), reinterpret_cast<int16_t*>(block.data()), reinterpret_cast<int16_t*>(block.data() + done));
        if (status == MPG123_NEW_FORMAT) continue;
        if (status != MPG123_OK) break;
    }
    if (out.size() > maxFrames * 2) out.resize(maxFrames * 2);
    out.resize(out.size() / 2 * 2);
    return out;
}

std::vector<int16_t> DecodeMidi(std::span<const uint8_t> bytes, size_t maxFrames) {
    std::vector<int16_t> out;
    auto font = mci::FindSoundfont();
    if (!font) return out;
    std::unique_ptr<fluid_settings_t, void (*)(fluid_settings_t*)> settings(new_fluid_settings(), delete_fluid_settings);
    if (!settings) return out;
    // As the engine's sequencer sets it up.
    fluid_settings_setstr(settings.get(), "player.timing-source", "sample");
    fluid_settings_setnum(settings.get(), "synth.sample-rate", kSoundtrackRate);
    fluid_settings_setnum(settings.get(), "synth.gain", mci::kSynthGain);
    fluid_settings_setint(settings.get(), "player.reset-synth", 0);
    std::unique_ptr<fluid_synth_t, void (*)(fluid_synth_t*)> synth(new_fluid_synth(settings.get()), delete_fluid_synth);
    if (!synth || fluid_synth_sfload(synth.get(), font->c_str(), 1) == FLUID_FAILED) return out;
    std::unique_ptr<fluid_player_t, void (*)(fluid_player_t*)> player(new_fluid_player(synth.get()), delete_fluid_player);
    if (!player || fluid_player_add_mem(player.get(), bytes.data(), bytes.size()) != FLUID_OK ||
        fluid_player_play(player.get()) != FLUID_OK)
        return out;
    constexpr size_t kBlock = 1024;
    std::vector<int16_t> block(kBlock * 2);
    while (out.size() < maxFrames * 2 && fluid_player_get_status(player.get()) == FLUID_PLAYER_PLAYING) {
        fluid_synth_write_s16(synth.get(), kBlock, block.data(), 0, 2, block.data(), 1, 2);
        out.insert(out.end(), block.begin(), block.end());
    }
    if (out.size() > maxFrames * 2) out.resize(maxFrames * 2);
    return out;
}

std::vector<int16_t> DecodeVideoSound(const EmbeddedFile& film, size_t maxFrames) {
    std::vector<int16_t> out;
    auto file = media::EmbeddedVideo(film)();
    if (!file || !file->HasSound()) return out;
    for (;;) {
        auto step = file->Next();
        if (step == video::VideoFile::Step::End) break;
        if (step != video::VideoFile::Step::Sound) continue;
        auto sound = file->Sound();
        out.insert(out.end(), sound.begin(), sound.end());
        if (out.size() >= maxFrames * 2) break;
    }
    if (out.size() > maxFrames * 2) out.resize(maxFrames * 2);
    return out;
}

namespace {

// Collects what the Flash player queues; its clock is what it has queued.
class CollectingSink final : public flash::SoundSink {
public:
    explicit CollectingSink(size_t maxFrames) : m_max(maxFrames * 2) {}
    bool Queue(std::span<const int16_t> stereo) override {
        size_t take = std::min(stereo.size(), m_max - std::min(m_max, frames.size()));
        frames.insert(frames.end(), stereo.begin(), stereo.begin() + static_cast<ptrdiff_t>(take));
        return true;
    }
    uint64_t FramesPlayed() const override { return frames.size() / 2; }
    std::vector<int16_t> frames;

private:
    size_t m_max;
};

} // namespace

std::vector<int16_t> DecodeFlashSound(std::span<const uint8_t> bytes, bool loop, int32_t timeLimit, size_t maxFrames) {
    flash::Player movie;
    std::string error;
    CollectingSink sink(maxFrames);
    if (!movie.LoadBytes(bytes, error)) return {};
    movie.SetSoundSink(&sink);
    movie.SetLoop(loop);
    const double rate = movie.FrameRate() > 0 ? movie.FrameRate() : 12;
    // One frame of time a step, as the render steps its pictures, until the
    // movie ends, its time limit, or the bound.
    const auto limit = timeLimit > 0 ? static_cast<int64_t>(timeLimit * rate / 1000) : INT64_MAX;
    const auto maxSteps = static_cast<int64_t>(static_cast<double>(maxFrames) / kSoundtrackRate * rate) + 1;
    for (int64_t steps = 0; steps < limit && steps < maxSteps && sink.frames.size() < maxFrames * 2; ++steps) {
        movie.Tick();
        if (!loop && timeLimit == -1 && movie.CurrentFrame() == movie.TotalFrames() - 1) break;
    }
    movie.SetSoundSink(nullptr);
    return std::move(sink.frames);
}

void Soundtrack::Play(MediaType type, std::vector<int16_t> stereo, uint64_t start, bool loop) {
    Stop(type, start);
    if (stereo.size() < 2) return;
    m_clips.push_back({type, std::move(stereo), start, UINT64_MAX, loop});
}

void Soundtrack::Stop(MediaType type, uint64_t at) {
    for (auto& clip : m_clips)
        if (clip.type == type && clip.end > at) clip.end = std::max(at, clip.start);
}

void Soundtrack::Mix(uint64_t from, std::span<int16_t> out) const {
    const uint64_t count = out.size() / 2;
    std::vector<int32_t> sum(out.size(), 0);
    for (const auto& clip : m_clips) {
        const uint64_t length = clip.stereo.size() / 2;
        const uint64_t end = clip.loop ? clip.end : std::min(clip.end, clip.start + length);
        const uint64_t first = std::max(from, clip.start), last = std::min(from + count, end);
        for (uint64_t t = first; t < last; ++t) {
            const uint64_t at = (t - clip.start) % length;
            sum[2 * (t - from)] += clip.stereo[2 * at];
            sum[2 * (t - from) + 1] += clip.stereo[2 * at + 1];
        }
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
}

} // namespace showsaver::showpack
