#include "media/Mp3Player.h"

#include <algorithm>

namespace showsaver {

namespace {

constexpr auto kForever = std::chrono::milliseconds::max();
// Between failed passes of looping music: a failure repeats on the same bytes,
// so a pass is retried only this often (or never once stop is set).
constexpr auto kRetryPause = std::chrono::milliseconds(1000);

}

CMP3Player::CMP3Player(audio::OutputOwner& output, sys::Event& started, sys::Event& finished, sys::Event& stop)
    : m_output(output)
    , m_started(started)
    , m_finished(finished)
    , m_stop(stop)
{
}

CMP3Player::~CMP3Player()
{
    CloseAll();
}

bool CMP3Player::PlayMemory(const uint8_t* data, size_t size)
{
    m_reader.Attach(data, size);
    m_size = data ? size : 0;
    if (!m_reader.ScanHeader())
        return false;
    return Play();
}

bool CMP3Player::OpenStreams()
{
    audio::Mp3Description source { int(m_mp3Format.samplesPerSec), m_mp3Format.channels,
        int(m_mp3Format.avgBytesPerSec) };
    audio::U8PcmFormat pcm { int(m_pcmFormat.samplesPerSec), m_pcmFormat.channels };
    if (!m_stream.Open(source, pcm) || !m_stream.Prepare())
        return false;
    m_outputBufferSize = m_stream.DestinationSize();
    m_wave = audio::PcmStream::Create(m_output.Get(),
        { audio::SampleFormat::U8, pcm.rate, pcm.channels }, [this] { OnBufferDone(); });
    if (!m_wave)
        return false;
    for (auto& buffer : m_buffers)
        buffer.assign(m_outputBufferSize, 0);
    return true;
}

bool CMP3Player::Play()
{
    m_atEnd = false;
    m_heardAny = false;
    m_consumed = 0;
    m_currentBuffer = 0;
    m_reader.BuildFormats(m_pcmFormat, m_mp3Format);
    if (!OpenStreams() || !Fill())
        return Fail();
    m_started.Set();
    std::array<sys::Event*, 2> events { &m_bufferDone, &m_stop };
    for (;;) {
        if (!m_atEnd && !Fill())
            return Fail();
        for (;;) {
            sys::Event::WaitAny(events, kForever);
            if (m_stop.IsSet()) {
                CloseAll();
                m_finished.Set();
                return true;
            }
            if (m_pending.load() != 0)
                break;   // queue the next buffer while one plays
            if (m_atEnd) {
                // A pass that decoded no sound at all failed, so a loop waits before
                // retrying. Looping music is finished only when stopped, so that a
                // waiting Start waits for the stop.
                CloseAll();
                if (m_heardAny && !m_looping)
                    m_finished.Set();
                return m_heardAny;
            }
            if (!Fill())
                return Fail();
        }
    }
}

bool CMP3Player::Fill()
{
    size_t total = m_size;
    size_t length = audio::Mp3Stream::kSourceSize;
    auto position = m_consumed == 0 ? audio::BlockPosition::First : audio::BlockPosition::Middle;
    if (length >= total - m_consumed) {
        length = total - m_consumed;
        position = audio::BlockPosition::Last;
    }
    m_reader.Read(m_consumed, m_stream.Source().first(length));
    if (!m_stream.Convert(length, position))
        return false;
    m_consumed += static_cast<uint32_t>(m_stream.SourceUsed());
    auto pcm = m_stream.Destination();
    size_t n = std::min(pcm.size(), m_outputBufferSize);
    auto& buffer = m_buffers[static_cast<size_t>(m_currentBuffer)];
    std::copy_n(pcm.begin(), n, buffer.begin());
    if (m_consumed >= total)
        m_atEnd = true;
    m_heardAny = m_heardAny || n > 0;
    m_bufferDone.Reset();
    m_pending.fetch_add(1);   // before the write: its done notice may come at once
    if (!m_wave->Submit({ buffer.data(), n }, m_atEnd)) {
        m_pending.fetch_sub(1);
        return false;
    }
    m_currentBuffer = 1 - m_currentBuffer;
    return true;
}

// Runs on the device's thread: count and signal, nothing else.
void CMP3Player::OnBufferDone()
{
    m_pending.fetch_sub(1);
    m_bufferDone.Set();
}

bool CMP3Player::Fail()
{
    CloseAll();
    return false;
}

// Unlike a wave device, the output cannot refuse to close.
void CMP3Player::CloseAll()
{
    m_stream.Close();
    if (m_wave)
        m_wave->Clear();   // returns every queued buffer, as a reset of the device does
    m_wave.reset();
    for (auto& buffer : m_buffers)
        std::vector<uint8_t>().swap(buffer);
}

CMP3Thread::CMP3Thread(audio::OutputOwner& output, sys::Event& started, sys::Event& finished, sys::Event& stop,
    const uint8_t* data, int32_t size, bool loop)
    : m_player(output, started, finished, stop)
    , m_started(started)
    , m_finished(finished)
    , m_stop(stop)
    , m_data(data)
    , m_size(size)
    , m_loop(loop)
    , m_thread([this] { Run(); })
{
    m_player.SetLooping(loop);
}

CMP3Thread::~CMP3Thread()
{
    m_thread.Join();
}

void CMP3Thread::Start()
{
    m_thread.Resume();
    if (!m_thread.HasStarted()) {   // no thread could be made: nothing plays, nobody waits
        m_started.Set();
        m_finished.Set();
    }
}

void CMP3Thread::Join()
{
    m_thread.Join();
}

void CMP3Thread::Run()
{
    do {
        if (!m_player.PlayMemory(m_data, static_cast<size_t>(std::max(m_size, 0)))) {
            m_started.Set();
            if (m_loop)
                m_stop.Wait(kRetryPause);
        }
    } while (m_loop && !m_stop.IsSet());
    m_finished.Set();
    m_stop.Wait();
}

CMP3Controller::CMP3Controller(audio::OutputOwner& output)
    : m_output(output)
{
}

CMP3Controller::~CMP3Controller()
{
    Stop();
}

bool CMP3Controller::WaveOutAvailable()
{
    return m_output.Get() != nullptr;
}

bool CMP3Controller::Mp3CodecPresent() const
{
    return audio::Mp3CodecPresent();
}

void CMP3Controller::Start(const uint8_t* data, int32_t size, bool wait, bool loop, const sys::Event& stop)
{
    {
        std::lock_guard lock(m_mutex);
        StopLocked();
        if (!WaveOutAvailable() || !data || !Mp3CodecPresent())
            return;
        m_started.Reset();
        m_finished.Reset();
        m_stop.Reset();
        m_current = std::make_unique<CMP3Thread>(m_output, m_started, m_finished, m_stop, data, size, loop);
        m_current->Start();
    }
    if (wait) {
        std::array<const sys::Event*, 2> events { &m_finished, &stop };
        sys::Event::WaitAny(events, kForever);
    }
}

void CMP3Controller::Stop()
{
    std::lock_guard lock(m_mutex);
    StopLocked();
}

void CMP3Controller::StopLocked()
{
    if (!Mp3CodecPresent() || !m_current)
        return;
    m_started.Wait();
    m_stop.Set();
    m_current->Join();
    m_current.reset();
    m_finished.Set();
}

}
