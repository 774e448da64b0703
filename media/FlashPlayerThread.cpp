#include "media/FlashPlayerThread.h"

#include "platform/audio/Streams.h"
#include "platform/registry/Store.h"

#include <malloc.h>
#include <system_error>

namespace showsaver::media {
namespace {

constexpr const char* kServerKey = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

// A movie's sound as a queue in the process's mixer.
class MixerFlashSink final : public flash::SoundSink {
public:
    explicit MixerFlashSink(std::shared_ptr<audio::Output> output) : m_queue(std::move(output), 4 * kRate) {}
    bool Queue(std::span<const int16_t> frames) override {
        m_queue.Push(frames);
        return true;
    }
    uint64_t FramesPlayed() const override { return m_queue.Consumed(); }

private:
    audio::FrameQueue m_queue;
};

} // namespace

bool IsFlashInstalled(const registry::Store& store) {
    if (!store.KeyExists(registry::Hive::ClassesRoot, kServerKey)) return true;
    auto server = store.GetString(registry::Hive::ClassesRoot, kServerKey, "");
    std::error_code ec;
    return server && !server->empty() && std::filesystem::exists(*server, ec);
}

CFlashPlayerThread::CFlashPlayerThread(SaverWindowControl& window, sys::Event& running, int32_t timeLimit,
                                       audio::OutputOwner* sound)
    : m_window(window), m_running(running), m_timeLimit(timeLimit), m_sound(sound) {}

CFlashPlayerThread::~CFlashPlayerThread() {
    Stop();
    Join();
}

void CFlashPlayerThread::Start() { m_thread = std::thread([this] { Run(); }); }

void CFlashPlayerThread::Join() {
    std::lock_guard lock(m_joinMutex);
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CFlashPlayerThread::Stop() {
    if (m_stopping.exchange(true)) return;
    Post(kQuit);
    m_running.Reset();
    m_stopped.Set();
}

void CFlashPlayerThread::Run() {
    // A host or a movie that cannot be made ends the thread at once, and
    // the running event with it, so that no starter waits for a movie that
    // never plays.
    if (!CreateHost()) {
        Stop();
        return;
    }
    StartMovie();
    for (;;) {
        const Message message = NextMessage();
        PreTranslate(message);
        if (message.id == kQuit) break;
    }
    // Closing the host takes its layer off the screen.
    m_player.SetSoundSink(nullptr);
    m_sink.reset();
    m_layer.Reset();
    // The movie's memory goes now rather than with the show's next movie,
    // and the C library gives the pages it freed back to the system: the
    // show goes on for as long as it likes with what remains.
    m_player.Unload();
    malloc_trim(0);
}

bool CFlashPlayerThread::CreateHost() {
    std::string error;
    const bool loaded = m_player.LoadBytes(movie.bytes, error);
    movie = {};
    if (!loaded) return false;
    m_layer = m_window.AddLayer(rectangle);
    if (!m_layer) return false;
    if (m_sound && !m_window.IsMuted())
        if (auto output = m_sound->Get()) {
            m_sink = std::make_unique<MixerFlashSink>(std::move(output));
            m_player.SetSoundSink(m_sink.get());
        }
    m_total = m_player.TotalFrames();
    ShowFrame();
    m_layer->SetVisible(true);
    return true;
}

void CFlashPlayerThread::StartMovie() {
    m_player.SetLoop(loop);
    m_player.Play();
    if (m_timeLimit > 0) m_timer = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeLimit);
}

void CFlashPlayerThread::PreTranslate(const Message& message) {
    if (timed) {
        if (message.id == kTimeUp) Stop();
        return;
    }
    m_frame = m_player.CurrentFrame();
    if (m_frame == m_total - 1 && !loop) Stop();
}

void CFlashPlayerThread::Post(uint32_t id) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({id});
    }
    m_wake.notify_one();
}

CFlashPlayerThread::Message CFlashPlayerThread::NextMessage() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_queue.empty()) {
            Message message = m_queue.front();
            m_queue.pop_front();
            return message;
        }
        auto due = m_player.NextFrameTime();
        if (m_timer) due = std::min(due, *m_timer);
        if (m_wake.wait_until(lock, due, [this] { return !m_queue.empty(); })) continue;
        const auto now = std::chrono::steady_clock::now();
        lock.unlock();
        if (m_timer && now >= *m_timer) {
            // The timer is never killed: each expiry stops the movie again
            // and tells the loop that the time is up.
            m_timer = *m_timer + std::chrono::milliseconds(m_timeLimit);
            m_player.Stop();
            Post(kTimeUp);
        }
        const int before = m_player.CurrentFrame();
        m_player.Advance(now);
        ShowFrame();
        lock.lock();
        if (m_player.CurrentFrame() != before || m_player.IsPlaying()) return {kNewFrame};
    }
}

void CFlashPlayerThread::ShowFrame() {
    m_layer->Paint([this](gfx::Surface& pixels) { m_player.Paint(pixels); });
}

} // namespace showsaver::media
