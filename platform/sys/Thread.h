#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace showsaver::sys {

// A thread that is created with its body but does not run until Resume.
// The destructor joins a started thread, so the owner must make the body finish
// (usually by setting its stop event) before letting go of it.
class SuspendedThread {
public:
    explicit SuspendedThread(std::function<void()> body);
    ~SuspendedThread();
    SuspendedThread(const SuspendedThread&) = delete;
    SuspendedThread& operator=(const SuspendedThread&) = delete;

    // Starts the body. Only the first call does anything. When the system cannot make
    // another thread the body never runs; HasStarted() then stays false.
    void Resume();

    // Waits for the body to finish. Returns at once when the thread never started,
    // was already joined, or when called from the thread itself.
    void Join();

    // True from Resume until the body has returned.
    bool IsRunning() const noexcept { return m_running.load(std::memory_order_acquire); }
    bool HasStarted() const noexcept { return m_started.load(std::memory_order_acquire); }

private:
    void Run();
    bool IsCalledFromBody() const noexcept;

    std::function<void()> m_body;
    std::mutex m_mutex;   // guards m_thread and the one-time start
    std::thread m_thread;
    bool m_resumeCalled = false;
    std::atomic<bool> m_started { false };
    std::atomic<bool> m_running { false };
    std::atomic<std::thread::id> m_bodyThread {};   // lets calls from the body itself avoid the lock
};

}
