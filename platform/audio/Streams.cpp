#include "platform/audio/Streams.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace showsaver::audio {

namespace {

constexpr int kDeviceFrameBytes = sizeof(int16_t) * kDeviceChannels;
// Source bytes are handed to SDL_AudioStream in pieces of at most this size:
// SDL 2.26 loses samples at the flush of a resampling stream that was fed
// larger pieces. It also keeps each hold of a stream's lock short, so the
// callback never waits for more than a small piece of conversion.
constexpr size_t kPutPiece = 1024;

SDL_AudioFormat ToSdl(SampleFormat format)
{
    switch (format) {
    case SampleFormat::U8: return AUDIO_U8;
    case SampleFormat::S16: return AUDIO_S16SYS;
    case SampleFormat::S32: return AUDIO_S32SYS;
    case SampleFormat::F32: return AUDIO_F32SYS;
    }
    return AUDIO_S16SYS;
}

AudioStreamPtr NewConverter(const PcmFormat& format)
{
    if (!format.IsValid())
        return nullptr;
    return AudioStreamPtr(SDL_NewAudioStream(ToSdl(format.sample), static_cast<Uint8>(format.channels),
        format.rate, AUDIO_S16SYS, kDeviceChannels, kDeviceRate));
}

}

void AudioStreamCloser::operator()(_SDL_AudioStream* stream) const
{
    SDL_FreeAudioStream(stream);
}

std::unique_ptr<PcmStream> PcmStream::Create(std::shared_ptr<Output> output, const PcmFormat& format,
    std::function<void()> bufferDone)
{
    if (!output)
        return nullptr;
    auto converter = NewConverter(format);
    if (!converter)
        return nullptr;
    std::unique_ptr<PcmStream> stream(
        new PcmStream(std::move(output), std::move(converter), format.BytesPerFrame(), std::move(bufferDone)));
    stream->Attach();
    return stream;
}

PcmStream::PcmStream(std::shared_ptr<Output> output, AudioStreamPtr converter, int bytesPerFrame,
    std::function<void()> bufferDone)
    : Stream(std::move(output))
    , m_converter(std::move(converter))
    , m_bytesPerFrame(bytesPerFrame)
    , m_bufferDone(std::move(bufferDone))
{
}

PcmStream::~PcmStream()
{
    Detach();
}

bool PcmStream::Submit(std::span<const uint8_t> bytes, bool endOfData)
{
    if (Queued() >= kMaxQueuedBuffers)
        return false;
    // Whole frames only; a torn last frame is dropped.
    bytes = bytes.first(bytes.size() - bytes.size() % static_cast<size_t>(m_bytesPerFrame));
    for (size_t offset = 0; offset < bytes.size(); offset += kPutPiece) {
        auto piece = bytes.subspan(offset, std::min(kPutPiece, bytes.size() - offset));
        std::lock_guard lock(m_mutex);
        if (SDL_AudioStreamPut(m_converter.get(), piece.data(), static_cast<int>(piece.size())) != 0)
            return false;
    }
    std::lock_guard lock(m_mutex);
    if (endOfData)
        SDL_AudioStreamFlush(m_converter.get());
    m_ends[(m_head + m_count) % kMaxQueuedBuffers] = m_taken + static_cast<uint64_t>(
        std::max(SDL_AudioStreamAvailable(m_converter.get()), 0));
    ++m_count;
    return true;
}

void PcmStream::Clear()
{
    std::lock_guard lock(m_mutex);
    SDL_AudioStreamClear(m_converter.get());
    for (; m_count > 0; --m_count) {
        m_head = (m_head + 1) % kMaxQueuedBuffers;
        if (m_bufferDone)
            m_bufferDone();
    }
}

size_t PcmStream::Queued() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

size_t PcmStream::Mix(int16_t* out, size_t frames)
{
    std::lock_guard lock(m_mutex);
    int got = SDL_AudioStreamGet(m_converter.get(), out, static_cast<int>(frames * kDeviceFrameBytes));
    got = std::max(got, 0) / kDeviceFrameBytes * kDeviceFrameBytes;
    m_taken += static_cast<uint64_t>(got);
    NotifyPlayedLocked();
    return static_cast<size_t>(got) / kDeviceFrameBytes;
}

void PcmStream::NotifyPlayedLocked()
{
    while (m_count > 0 && m_ends[m_head] <= m_taken) {
        m_head = (m_head + 1) % kMaxQueuedBuffers;
        --m_count;
        if (m_bufferDone)
            m_bufferDone();
    }
}

PullStream::PullStream(std::shared_ptr<Output> output, Render render)
    : Stream(std::move(output))
    , m_render(std::move(render))
{
    Attach();
}

PullStream::~PullStream()
{
    Detach();
}

size_t PullStream::Mix(int16_t* out, size_t frames)
{
    m_render(out, frames);
    return frames;
}

ClipStream::ClipStream(std::shared_ptr<Output> output, std::vector<int16_t> samples, bool loop,
    std::function<void()> finished)
    : Stream(std::move(output))
    , m_samples(std::move(samples))
    , m_loop(loop && !m_samples.empty())
    , m_finished(std::move(finished))
{
    Attach();
}

ClipStream::~ClipStream()
{
    Detach();
}

size_t ClipStream::Mix(int16_t* out, size_t frames)
{
    size_t wanted = frames * kDeviceChannels;
    size_t written = 0;
    while (written < wanted && !m_done) {
        size_t now = std::min(wanted - written, m_samples.size() - m_position);
        std::copy_n(m_samples.begin() + static_cast<std::ptrdiff_t>(m_position), now, out + written);
        written += now;
        m_position += now;
        if (m_position < m_samples.size())
            continue;
        m_position = 0;
        if (!m_loop) {
            m_done = true;
            if (m_finished)
                m_finished();
        }
    }
    return written / kDeviceChannels;
}

FrameQueue::FrameQueue(std::shared_ptr<Output> output, size_t capacity)
    : Stream(std::move(output))
    , m_ring(std::max<size_t>(capacity, 1) * kDeviceChannels)
{
    Attach();
}

FrameQueue::~FrameQueue()
{
    Detach();
}

size_t FrameQueue::Push(std::span<const int16_t> frames)
{
    std::lock_guard lock(m_mutex);
    const size_t capacity = m_ring.size() / kDeviceChannels;
    const size_t taken = std::min(frames.size() / kDeviceChannels, capacity - m_count);
    for (size_t i = 0; i < taken; ++i) {
        const size_t at = (m_start + m_count + i) % capacity * kDeviceChannels;
        m_ring[at] = frames[i * kDeviceChannels];
        m_ring[at + 1] = frames[i * kDeviceChannels + 1];
    }
    m_count += taken;
    return taken;
}

void FrameQueue::Clear()
{
    std::lock_guard lock(m_mutex);
    m_count = 0;
}

size_t FrameQueue::Mix(int16_t* out, size_t frames)
{
    std::lock_guard lock(m_mutex);
    const size_t capacity = m_ring.size() / kDeviceChannels;
    const size_t given = std::min(frames, m_count);
    for (size_t done = 0; done < given;) {
        const size_t run = std::min(given - done, capacity - m_start);
        std::copy_n(m_ring.begin() + static_cast<std::ptrdiff_t>(m_start * kDeviceChannels), run * kDeviceChannels,
            out + done * kDeviceChannels);
        done += run;
        m_start = (m_start + run) % capacity;
    }
    m_count -= given;
    return given;
}

std::vector<int16_t> ConvertToDevice(const PcmFormat& format, std::span<const uint8_t> bytes, size_t maxFrames)
{
    auto converter = NewConverter(format);
    if (!converter || bytes.size() > static_cast<size_t>(INT32_MAX))
        return {};
    size_t sourceFrames = bytes.size() / static_cast<size_t>(format.BytesPerFrame());
    // Checked before allocating: the converted length follows from the rates.
    double frames = static_cast<double>(sourceFrames) * kDeviceRate / format.rate + 64;
    if (frames > static_cast<double>(maxFrames))
        return {};
    bytes = bytes.first(sourceFrames * static_cast<size_t>(format.BytesPerFrame()));
    for (size_t offset = 0; offset < bytes.size(); offset += kPutPiece) {
        auto piece = bytes.subspan(offset, std::min(kPutPiece, bytes.size() - offset));
        if (SDL_AudioStreamPut(converter.get(), piece.data(), static_cast<int>(piece.size())) != 0)
            return {};
    }
    if (SDL_AudioStreamFlush(converter.get()) != 0)
        return {};
    std::vector<int16_t> samples(static_cast<size_t>(std::max(SDL_AudioStreamAvailable(converter.get()), 0)) / sizeof(int16_t));
    int got = SDL_AudioStreamGet(converter.get(), samples.data(), static_cast<int>(samples.size() * sizeof(int16_t)));
    samples.resize(static_cast<size_t>(std::max(got, 0)) / kDeviceFrameBytes * kDeviceChannels);
    return samples;
}

}
