#include "platform/sys/CommandThread.h"
#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using showsaver::sys::Event;
using showsaver::sys::SuspendedThread;

namespace {

// Generous limit for waits that must succeed: a failure shows as a false result,
// never as a hang, and no test depends on how quickly anything happens.
constexpr auto kLongWait = 60s;

}

TEST(Event, SetAndResetAreVisibleToIsSetAndZeroWaits)
{
    Event event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0ms));
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_TRUE(event.Wait(0ms)) << "manual reset: a wait does not clear the event";
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_TRUE(Event(true).IsSet());
}

TEST(Event, WaitTimesOutWhenNobodySets)
{
    Event event;
    EXPECT_FALSE(event.Wait(20ms));
    EXPECT_FALSE(event.Wait(-5ms));
    std::array<Event*, 2> events { &event, nullptr };
    EXPECT_EQ(Event::WaitAny(events, 20ms), -1);
    EXPECT_EQ(Event::WaitAny({}, 20ms), -1);
}

TEST(Event, AlreadySetEventReturnsAtOnceEvenWithoutLimit)
{
    Event event(true);
    event.Wait();   // would hang if the signalled state were missed
    EXPECT_TRUE(event.Wait(std::chrono::milliseconds::max()));
    std::array<Event*, 1> events { &event };
    EXPECT_EQ(Event::WaitAny(events, std::chrono::milliseconds::max()), 0);
}

TEST(Event, SetFromAnotherThreadWakesEveryWaiter)
{
    Event event;
    std::atomic<int> woken = 0;
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (event.Wait(kLongWait))
                ++woken;
        });
    std::this_thread::sleep_for(10ms);
    event.Set();
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(woken, 4);
}

TEST(Event, WaitAnyReturnsTheIndexOfTheEventSetByAnotherThread)
{
    Event stop, work, other;
    std::array<Event*, 3> events { &stop, &work, &other };
    std::thread setter([&] {
        std::this_thread::sleep_for(10ms);
        work.Set();
    });
    EXPECT_EQ(Event::WaitAny(events, kLongWait), 1);
    setter.join();
}

TEST(Event, WaitAnyPrefersTheLowestSignalledIndex)
{
    Event a, b, c;
    b.Set();
    c.Set();
    std::array<Event*, 3> events { &a, &b, &c };
    EXPECT_EQ(Event::WaitAny(events, 0ms), 1);
}

TEST(Event, PulsesThatAreResetAtOnceAreNotMissed)
{
    Event event;
    std::atomic<bool> done = false;
    std::thread pulser([&] {
        while (!done) {
            event.Set();
            event.Reset();
            std::this_thread::sleep_for(1ms);
        }
    });
    std::array<Event*, 1> events { &event };
    EXPECT_EQ(Event::WaitAny(events, kLongWait), 0);
    EXPECT_TRUE(event.Wait(kLongWait));
    done = true;
    pulser.join();
}

TEST(Event, SetAfterWaitAnyTimedOutTouchesNoStaleWaiter)
{
    // WaitAny registers a waiter on its stack with each event; a later Set must not reach
    // it (AddressSanitizer reports the use after return).
    Event a, b;
    std::array<Event*, 2> events { &a, &b };
    EXPECT_EQ(Event::WaitAny(events, 1ms), -1);
    a.Set();
    b.Set();
    EXPECT_EQ(Event::WaitAny(events, 0ms), 0);
}

TEST(SuspendedThread, RunsOnlyAfterResumeAndOnlyOnce)
{
    Event release;
    std::atomic<int> runs = 0;
    SuspendedThread thread([&] {
        ++runs;
        release.Wait();
    });
    EXPECT_FALSE(thread.HasStarted());
    EXPECT_FALSE(thread.IsRunning());
    thread.Join();   // nothing to join yet
    EXPECT_EQ(runs, 0);

    thread.Resume();
    thread.Resume();
    EXPECT_TRUE(thread.IsRunning());   // the body is blocked on `release`
    release.Set();
    thread.Join();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(runs, 1);
}

TEST(SuspendedThread, DestructorJoinsAStartedBody)
{
    std::atomic<bool> finished = false;
    Event release;
    {
        SuspendedThread thread([&] {
            release.Wait();
            std::this_thread::sleep_for(10ms);
            finished = true;
        });
        thread.Resume();
        release.Set();
    }
    EXPECT_TRUE(finished);
}

TEST(SuspendedThread, NeverStartedOrThrowingBodiesEndQuietly)
{
    { SuspendedThread neverStarted([] {}); }
    SuspendedThread throwing([] { throw std::runtime_error("test"); });
    throwing.Resume();
    throwing.Join();
    EXPECT_FALSE(throwing.IsRunning());
}

TEST(SuspendedThread, BodyMayJoinItself)
{
    SuspendedThread* self = nullptr;
    SuspendedThread thread([&] { self->Join(); });
    self = &thread;
    thread.Resume();
    thread.Join();
    EXPECT_FALSE(thread.IsRunning());
}

namespace showsaver::sys {
namespace {

// Calls run in order on the thread; a caller that gives up returns at once
// while the thread is busy, and its call still runs after the one ahead.
TEST(CommandThread, RunsCallsInOrderAndLetsACallerGiveUp)
{
    CommandThread thread;
    Event never, release, busy;
    std::vector<int> ran;
    std::thread first([&] { thread.Invoke([&] { busy.Set(); release.Wait(); ran.push_back(1); }, never); });
    busy.Wait();
    Event givenUp(true);
    EXPECT_FALSE(thread.Invoke([&] { ran.push_back(2); }, givenUp)) << "the thread is busy and the caller gave up";
    release.Set();
    first.join();
    EXPECT_TRUE(thread.Invoke([&] { ran.push_back(3); }, never));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    bool inline_ = false;
    thread.Invoke([&] { thread.Invoke([&] { inline_ = true; }, never); }, never);
    EXPECT_TRUE(inline_) << "a call made on the thread itself runs at once";
}

} // namespace
} // namespace showsaver::sys
