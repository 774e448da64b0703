#pragma once
// A real sound sink for the tests: one SDL output device on the disk driver,
// which writes what it plays (raw 44,100 Hz s16le stereo) to a file in real time.

#include "platform/video/VideoOutput.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace showsaver::testing {

// Brings SDL's audio up on the disk driver, recording into `file`, for one scope.
class DiskAudio {
public:
    explicit DiskAudio(const std::filesystem::path& file) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        m_ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    }
    ~DiskAudio() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }
    bool Ok() const { return m_ok; }

private:
    bool m_ok = false;
};

class SdlSink : public video::AudioSink {
public:
    SdlSink() {
        SDL_AudioSpec want {};
        want.freq = kRate;
        want.format = AUDIO_S16SYS;
        want.channels = kChannels;
        want.samples = 1024;
        m_device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        if (m_device) SDL_PauseAudioDevice(m_device, 0);
    }
    ~SdlSink() override {
        if (m_device) SDL_CloseAudioDevice(m_device);
    }
    bool Ok() const { return m_device != 0; }

    void Queue(const int16_t* frames, size_t count) override {
        std::lock_guard lock(m_mutex);
        if (m_device && SDL_QueueAudio(m_device, frames, Uint32(count * 4)) == 0) m_queued += count;
    }
    uint64_t PlayedFrames() const override {
        std::lock_guard lock(m_mutex);
        if (!m_device) return 0;
        const uint64_t waiting = SDL_GetQueuedAudioSize(m_device) / 4;
        m_played = std::max(m_played, m_queued - std::min(waiting, m_queued));
        return m_played;
    }
    uint64_t WaitingFrames() const {
        std::lock_guard lock(m_mutex);
        return m_device ? SDL_GetQueuedAudioSize(m_device) / 4 : 0;
    }
    void Clear() override {
        std::lock_guard lock(m_mutex);
        if (!m_device) return;
        SDL_ClearQueuedAudio(m_device);
        m_queued = m_played;
    }

private:
    SDL_AudioDeviceID m_device = 0;
    mutable std::mutex m_mutex;
    uint64_t m_queued = 0;
    mutable uint64_t m_played = 0;
};

} // namespace showsaver::testing
