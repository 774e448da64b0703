#include "platform/sys/CommandThread.h"

#include <array>

namespace showsaver::sys {

CommandThread::CommandThread() : m_thread([this] { Run(); }) {}

CommandThread::~CommandThread() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_calls.clear();
    }
    m_wake.notify_one();
    m_thread.join();
}

bool CommandThread::Invoke(std::function<void()> body, Event& giveUp) {
    if (std::this_thread::get_id() == m_thread.get_id()) {
        body();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->body = std::move(body);
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
    }
    m_wake.notify_one();
    std::array<Event*, 2> events {&call->done, &giveUp};
    return Event::WaitAny(events, std::chrono::milliseconds::max()) == 0;
}

void CommandThread::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_calls.empty(); });
        if (m_quit) return;
        auto call = std::move(m_calls.front());
        m_calls.pop_front();
        lock.unlock();
        call->body();
        call->done.Set();
        lock.lock();
    }
}

} // namespace showsaver::sys
