#include "playback/SceneThread.h"

#include "platform/sys/Clock.h"
#include "show/ItemList.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>

namespace showsaver {

namespace {

// Decoded pictures and their resampling buffers are tens of megabytes each,
// one picture after another. The C library would otherwise raise its
// threshold for mapping large blocks to 32 MB after the first such block
// is freed, after which the buffers of the next pictures come from the heap
// and stay resident between the holes they leave. Blocks of a megabyte and
// more are always mapped, and given back when freed.
void KeepLargeBlocksOutOfTheHeap() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

} // namespace

CSceneThread::CSceneThread(Setup setup, Mode mode)
    : m_setup(std::move(setup)), m_mode(mode), m_thread([this] { Run(); }) {
    if (!m_setup.media) m_setup.media = std::make_unique<NoMediaPlayers>();
}

CSceneThread::~CSceneThread() { RequestStop(); }

void CSceneThread::RequestStop() {
    // The players are stopped first, so that a wait for the end of a medium
    // returns, then the thread sees the stop event at its next poll.
    m_setup.media->StopForClose();
    m_stop.Set();
    m_thread.Resume();
    if (m_thread.HasStarted()) m_exited.Wait();
    m_thread.Join();
}

void CSceneThread::Run() {
    if (m_mode == Mode::Calibrate) {
        CountPolls();
    } else {
        sys::RequestPreciseWakeups();
        KeepLargeBlocksOutOfTheHeap();
        PlayShow();
    }
    m_exited.Set();
}

void CSceneThread::CountPolls() {
    uint32_t count = 0;
    while (count < 0xFFFFFFFFu && !m_stop.IsSet()) ++count;
    *m_setup.times = count;
}

bool CSceneThread::WaitUnlessStopped(const sys::Event* event) const {
    if (!event) return !m_stop.IsSet();
    const sys::Event* events[] = {event, &m_stop};
    return sys::Event::WaitAny(events, std::chrono::milliseconds::max()) == 0;
}

std::string CSceneThread::CapturePath(int32_t source) const {
    if (source != 2 && source != 3) return {};
    WaitUnlessStopped(m_setup.capturesTaken);
    return source == 2 ? m_setup.desktopCapture : m_setup.wallpaperCapture;
}

void CSceneThread::PlayShow() {
    m_setup.window->SetBackground(0);
    if (!WaitUnlessStopped(m_setup.itemsReady)) return EndOfShow();
    const ItemList& items = *m_setup.items;
    for (int index = 0; index < items.Size(); ++index) {
        if (m_stop.IsSet()) break;
        Item& item = items.At(index);
        if (item.IsDisabled()) continue;
        int played = index;
        item.Play(*m_setup.dc, index, *this);
        if (m_setup.afterItem) m_setup.afterItem(played);
    }
    EndOfShow();
}

void CSceneThread::EndOfShow() { m_setup.media->EndShow(); }

bool CSceneThread::WaitFor(sys::Event& event) {
    AwaitWindow();
    return WaitUnlessStopped(&event);
}

uint64_t CSceneThread::PollsFor(uint32_t elapsed, double total) const {
    if (total <= 0 || elapsed >= total) return 0;
    double polls = (1.0 - elapsed / total) * static_cast<double>(*m_setup.times) * total * 0.00001;
    if (!(polls > 0)) return 0;
    return polls >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint64_t>(polls);
}

void CSceneThread::CalibratedWait(uint32_t elapsed, double total) {
    if (m_setup.pacing == Pacing::Virtual) return;
    AwaitWindow();
    uint32_t times = *m_setup.times;
    uint64_t polls = PollsFor(elapsed, total);
    if (times == 0 || polls == 0) return;
    if (m_setup.pacing == Pacing::Film) return AdvanceFilm(polls * 1'000'000ull / times);
    // n polls last n / Times seconds on this machine.
    m_pacer.Wait(std::chrono::nanoseconds(polls * 1'000'000'000ull / times));
}

uint32_t CSceneThread::TickCount() const {
    if (m_setup.pacing == Pacing::Film) return static_cast<uint32_t>(m_filmMicros / 1000);
    return m_setup.pacing == Pacing::Virtual ? m_virtualTicks : sys::TickCount();
}

uint64_t CSceneThread::FilmFrameTime(uint64_t frame) const {
    return m_setup.filmFps > 0 ? frame * 1'000'000ull / static_cast<uint64_t>(m_setup.filmFps) : UINT64_MAX;
}

// Every frame whose time the clock passes is given at its time; a stop
// request ends the film's clock where it is.
void CSceneThread::AdvanceFilm(uint64_t micros) {
    const uint64_t target = m_filmMicros + micros;
    while (!m_stop.IsSet()) {
        const uint64_t due = FilmFrameTime(m_filmFrames);
        if (due >= target) break;
        m_filmMicros = std::max(m_filmMicros, due);
        if (m_setup.atFrame) m_setup.atFrame();
        ++m_filmFrames;
    }
    if (!m_stop.IsSet()) m_filmMicros = target;
}

void CSceneThread::FinishFilm(uint64_t micros) {
    for (uint64_t due = FilmFrameTime(m_filmFrames); due <= micros; due = FilmFrameTime(++m_filmFrames)) {
        m_filmMicros = std::max(m_filmMicros, due);
        if (m_setup.atFrame) m_setup.atFrame();
    }
}

void CSceneThread::Sleep(uint32_t ms) {
    if (m_setup.pacing == Pacing::Virtual) {
        m_virtualTicks += ms;
        return;
    }
    if (m_setup.pacing == Pacing::Film) return AdvanceFilm(uint64_t{ms} * 1000);
    AwaitWindow();
    // Wakes early on a stop request, so that a stopped pause ends at once.
    m_stop.Wait(std::chrono::milliseconds(ms));
}

} // namespace showsaver
