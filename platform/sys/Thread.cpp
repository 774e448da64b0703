#include "platform/sys/Thread.h"

#include <cstdio>
#include <exception>
#include <system_error>

namespace showsaver::sys {

SuspendedThread::SuspendedThread(std::function<void()> body)
    : m_body(std::move(body))
{
}

SuspendedThread::~SuspendedThread()
{
    Join();
    // Only reachable when the thread object is destroyed by its own body: it cannot join
    // itself, and a joinable std::thread would call std::terminate.
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable())
        m_thread.detach();
}

void SuspendedThread::Resume()
{
    if (IsCalledFromBody())
        return;   // the body is running, so Resume has long been called
    std::lock_guard lock(m_mutex);
    if (m_resumeCalled)
        return;
    m_resumeCalled = true;
    if (!m_body)
        return;
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] { Run(); });
        m_started.store(true, std::memory_order_release);
    } catch (const std::system_error& error) {
        m_running.store(false, std::memory_order_release);
        std::fprintf(stderr, "showsaver: cannot start a thread: %s\n", error.what());
    }
}

void SuspendedThread::Join()
{
    if (IsCalledFromBody())
        return;
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        return;
    m_thread.join();
}

bool SuspendedThread::IsCalledFromBody() const noexcept
{
    return m_bodyThread.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void SuspendedThread::Run()
{
    // An exception escaping a std::thread body terminates the process; report it instead.
    m_bodyThread.store(std::this_thread::get_id(), std::memory_order_release);
    try {
        m_body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "showsaver: a thread ended with an exception: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "showsaver: a thread ended with an unknown exception\n");
    }
    m_running.store(false, std::memory_order_release);
}

}
