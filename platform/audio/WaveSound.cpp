#include "platform/audio/WaveSound.h"

#include "platform/sys/Event.h"

#include <SDL2/SDL.h>

#include <array>
#include <optional>

namespace showsaver::audio {

namespace {

// The longest sound a wave image may convert to: about 25 minutes, 256 MB of
// device frames. Checked before the converted buffer is made.
constexpr size_t kMaxClipFrames = size_t(1) << 26;

struct WavFree {
    void operator()(Uint8* buffer) const { SDL_FreeWAV(buffer); }
};
using WavPtr = std::unique_ptr<Uint8, WavFree>;

std::optional<SampleFormat> FromSdl(SDL_AudioFormat format)
{
    switch (format) {
    case AUDIO_U8: return SampleFormat::U8;
    case AUDIO_S16SYS: return SampleFormat::S16;
    case AUDIO_S32SYS: return SampleFormat::S32;
    case AUDIO_F32SYS: return SampleFormat::F32;
    default: return std::nullopt;
    }
}

}

WaveSound::WaveSound(OutputOwner& output)
    : m_owner(output)
    , m_finished(std::make_unique<sys::Event>())
{
}

WaveSound::~WaveSound()
{
    Stop();
}

std::vector<int16_t> WaveSound::Decode(std::span<const uint8_t> image)
{
    if (image.empty() || image.size() > static_cast<size_t>(INT32_MAX))
        return {};
    SDL_AudioSpec spec {};
    Uint8* raw = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(image.data(), static_cast<int>(image.size())), 1, &spec, &raw, &length))
        return {};
    WavPtr buffer(raw);
    auto sample = FromSdl(spec.format);
    if (!sample)
        return {};
    PcmFormat format { *sample, spec.freq, spec.channels };
    return ConvertToDevice(format, { buffer.get(), length }, kMaxClipFrames);
}

bool WaveSound::Start(std::span<const uint8_t> image, bool loop)
{
    Stop();
    auto samples = Decode(image);
    if (samples.empty())
        return false;
    auto output = m_owner.Get();
    if (!output)
        return false;
    m_finished->Reset();
    m_clip = std::make_unique<ClipStream>(std::move(output), std::move(samples), loop,
        [finished = m_finished.get()] { finished->Set(); });
    return true;
}

bool WaveSound::PlaySync(std::span<const uint8_t> image, const sys::Event& stop)
{
    if (!Start(image, false))
        return false;
    std::array<const sys::Event*, 2> events { m_finished.get(), &stop };
    sys::Event::WaitAny(events, std::chrono::milliseconds::max());
    Stop();
    return true;
}

bool WaveSound::PlayAsync(std::span<const uint8_t> image, bool loop)
{
    return Start(image, loop);
}

void WaveSound::Stop()
{
    m_clip.reset();
}

}
