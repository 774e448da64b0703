#pragma once
// A thread that runs the calls handed to it, one after another, in the order
// they came: the owner thread of an object whose operations must all run on
// one thread. Invoke returns once its call has run, or as soon as `giveUp`
// is set, so a caller can never be held by a call that cannot run. A call
// given up on still runs later, unless the thread is destroyed first, so it
// must own what it uses or outlive the thread.

#include "platform/sys/Event.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace showsaver::sys {

class CommandThread {
public:
    CommandThread();
    // Runs nothing more: calls still waiting are dropped, the one running ends.
    ~CommandThread();
    CommandThread(const CommandThread&) = delete;
    CommandThread& operator=(const CommandThread&) = delete;

    // True when `call` has run; false when `giveUp` was set first. Called on
    // the thread itself, it runs `call` at once.
    bool Invoke(std::function<void()> call, Event& giveUp);

private:
    struct Call {
        std::function<void()> body;
        Event done;
    };
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Call>> m_calls;   // under m_mutex
    bool m_quit = false;                         // under m_mutex
    std::thread m_thread;
};

} // namespace showsaver::sys
