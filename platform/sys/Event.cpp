#include "platform/sys/Event.h"

#include <algorithm>
#include <optional>

namespace showsaver::sys {

namespace {

using Clock = std::chrono::steady_clock;

// The point in time `timeout` from now, or nothing when that lies beyond what the
// clock can represent (such a wait is treated as unlimited).
std::optional<Clock::time_point> DeadlineAfter(std::chrono::milliseconds timeout)
{
    auto now = Clock::now();
    auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
    if (timeout >= room)
        return std::nullopt;
    return now + std::max(timeout, std::chrono::milliseconds::zero());
}

}

// One WaitAny call. It lives on the waiting thread's stack; every event it is registered
// with drops the registration (under the event's mutex) before WaitAny returns, so Set
// never touches a waiter that is gone. Lock order: event mutex, then waiter mutex.
class Event::Waiter {
public:
    void Fire(int index)
    {
        std::lock_guard lock(m_mutex);
        if (m_fired < 0 || index < m_fired)
            m_fired = index;
        m_woken.notify_one();
    }

    int WaitUntil(std::optional<Clock::time_point> deadline)
    {
        std::unique_lock lock(m_mutex);
        auto fired = [this] { return m_fired >= 0; };
        if (deadline)
            m_woken.wait_until(lock, *deadline, fired);
        else
            m_woken.wait(lock, fired);
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    int m_fired = -1;
};

Event::Event(bool signalled)
    : m_signalled(signalled)
{
}

void Event::Set()
{
    std::lock_guard lock(m_mutex);
    m_signalled.store(true, std::memory_order_release);
    ++m_setCount;
    for (auto& registration : m_waiters)
        registration.waiter->Fire(registration.index);
    m_changed.notify_all();
}

void Event::Reset()
{
    std::lock_guard lock(m_mutex);
    m_signalled.store(false, std::memory_order_release);
}

bool Event::Wait(std::chrono::milliseconds timeout)
{
    if (IsSet())
        return true;
    auto deadline = DeadlineAfter(timeout);
    std::unique_lock lock(m_mutex);
    auto setCountAtStart = m_setCount;
    auto signalled = [&] { return IsSet() || m_setCount != setCountAtStart; };
    if (!deadline) {
        m_changed.wait(lock, signalled);
        return true;
    }
    return m_changed.wait_until(lock, *deadline, signalled);
}

bool Event::WaitUntil(Clock::time_point deadline)
{
    if (IsSet())
        return true;
    std::unique_lock lock(m_mutex);
    auto setCountAtStart = m_setCount;
    return m_changed.wait_until(lock, deadline, [&] { return IsSet() || m_setCount != setCountAtStart; });
}

void Event::Wait()
{
    Wait(std::chrono::milliseconds::max());
}

void Event::Register(Waiter& waiter, int index) const
{
    std::lock_guard lock(m_mutex);
    m_waiters.push_back({ &waiter, index });
    if (IsSet())
        waiter.Fire(index);
}

void Event::Unregister(const Waiter& waiter) const
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_waiters, [&](const Registration& r) { return r.waiter == &waiter; });
}

int Event::WaitAny(std::span<const Event* const> events, std::chrono::milliseconds timeout)
{
    // Fast path: something is already signalled, or the caller only wants a poll.
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i] && events[i]->IsSet())
            return static_cast<int>(i);
    }
    if (events.empty() || timeout <= std::chrono::milliseconds::zero())
        return -1;

    auto deadline = DeadlineAfter(timeout);
    Waiter waiter;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i])
            events[i]->Register(waiter, static_cast<int>(i));
    }
    int fired = waiter.WaitUntil(deadline);
    for (const Event* event : events) {
        if (event)
            event->Unregister(waiter);
    }
    return fired;
}

}
