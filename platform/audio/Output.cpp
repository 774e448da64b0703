#include "platform/audio/Output.h"

#include <SDL2/SDL.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace showsaver::audio {

namespace {

// ALSA writes several lines to stderr for every open that finds no card, and
// SDL may try it more than once per open. Its error handler is process-wide:
// a quiet one keeps stderr to the one line the owner writes. ALSA is looked up
// at run time, as SDL itself does, so that nothing links it.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa()
{
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    // Kept open for the life of the process: the handler lives in this library.
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return;
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(&QuietAlsaError);
}

}

int PcmFormat::BytesPerFrame() const
{
    int bytes = sample == SampleFormat::U8 ? 1 : sample == SampleFormat::S16 ? 2 : 4;
    return bytes * channels;
}

bool PcmFormat::IsValid() const
{
    return (channels == 1 || channels == 2) && rate >= 1 && rate <= 384000;
}

Stream::Stream(std::shared_ptr<Output> output)
    : m_output(std::move(output))
{
}

Stream::~Stream() = default;

void Stream::Attach()
{
    m_output->Add(*this);
    m_attached = true;
}

void Stream::Detach()
{
    if (!m_attached)
        return;
    m_output->Remove(*this);
    m_attached = false;
}

Output::Output() = default;

std::shared_ptr<Output> Output::CreateDetachedMixer()
{
    std::shared_ptr<Output> output(new Output());
    output->m_sum.resize(kDeviceBufferFrames * kDeviceChannels);
    output->m_piece.resize(kDeviceBufferFrames * kDeviceChannels);
    return output;
}

std::shared_ptr<Output> Output::Open()
{
    auto output = CreateDetachedMixer();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return nullptr;
    output->m_subsystemOpen = true;   // from here the destructor quits the subsystem again
    SDL_AudioSpec want {};
    want.freq = kDeviceRate;
    want.format = AUDIO_S16SYS;
    want.channels = kDeviceChannels;
    want.samples = kDeviceBufferFrames;
    want.callback = &Output::Callback;
    want.userdata = output.get();
    SDL_AudioSpec have {};
    // No changes allowed: SDL converts to whatever the hardware takes.
    output->m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (output->m_device == 0)
        return nullptr;
    SDL_PauseAudioDevice(output->m_device, 0);
    return output;
}

Output::~Output()
{
    if (m_device != 0)
        SDL_CloseAudioDevice(m_device);
    if (m_subsystemOpen)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Output::Add(Stream& stream)
{
    std::lock_guard lock(m_mutex);
    m_streams.push_back(&stream);
}

void Output::Remove(Stream& stream)
{
    std::lock_guard lock(m_mutex);
    std::erase(m_streams, &stream);
}

void Output::Callback(void* self, uint8_t* bytes, int length)
{
    auto frames = static_cast<size_t>(std::max(length, 0)) / (sizeof(int16_t) * kDeviceChannels);
    static_cast<Output*>(self)->MixInto(reinterpret_cast<int16_t*>(bytes), frames);
}

void Output::MixInto(int16_t* out, size_t frames)
{
    size_t chunkFrames = m_sum.size() / kDeviceChannels;
    std::lock_guard lock(m_mutex);
    while (frames > 0) {
        size_t now = std::min(frames, chunkFrames);
        size_t samples = now * kDeviceChannels;
        std::fill_n(m_sum.begin(), samples, 0);
        bool audible = false;
        for (Stream* stream : m_streams) {
            size_t got = std::min(stream->Mix(m_piece.data(), now), now);
            stream->m_played.fetch_add(got, std::memory_order_acq_rel);
            for (size_t i = 0; i < got * kDeviceChannels; ++i)
                m_sum[i] += m_piece[i];
            audible = audible || got > 0;
        }
        for (size_t i = 0; i < samples; ++i)
            out[i] = static_cast<int16_t>(std::clamp<int32_t>(m_sum[i], std::numeric_limits<int16_t>::min(),
                std::numeric_limits<int16_t>::max()));
        m_mixed.fetch_add(now, std::memory_order_acq_rel);
        if (audible)
            m_audible.fetch_add(now, std::memory_order_acq_rel);
        out += samples;
        frames -= now;
    }
}

std::shared_ptr<Output> OutputOwner::Get()
{
    std::lock_guard lock(m_mutex);
    if (m_output || m_unavailable)
        return m_output;
    QuietAlsa();
    m_output = Output::Open();
    if (!m_output) {
        // Once is enough: the players go on without sound, and asking the
        // device again for every sound would only repeat the failure.
        m_unavailable = true;
        std::fprintf(stderr, "showsaver: no sound device (%s); playing without sound\n", SDL_GetError());
    }
    return m_output;
}

}
