#include "platform/sys/WaitPacer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace std::chrono_literals;
using showsaver::sys::Event;
using showsaver::sys::WaitPacer;

namespace {

// A pacer on a clock of its own: every reading of the clock takes 1 µs, and
// every sleep wakes `lateness` after the time it was asked for.
class SteppedPacer final : public WaitPacer {
public:
    SteppedPacer(Event& stop, Duration lateness) : WaitPacer(stop), m_lateness(lateness) {}

    Clock::time_point now = Clock::time_point(1h);
    std::vector<Clock::time_point> sleeps;
    int readings = 0;

protected:
    Clock::time_point Now() override {
        ++readings;
        return now += 1us;
    }
    bool SleepUntil(Clock::time_point deadline) override {
        sleeps.push_back(deadline);
        now = std::max(now, deadline + m_lateness);
        return false;
    }

private:
    Duration m_lateness;
};

TEST(WaitPacer, ShortWaitsAddUpIntoOneSleepOfADisplayFrame) {
    Event stop;
    SteppedPacer pacer(stop, 0us);
    const auto step = WaitPacer::kSmallestSleep / 7;
    for (int i = 0; i < 6; ++i) pacer.Wait(step);
    EXPECT_TRUE(pacer.sleeps.empty()) << "six sevenths of a frame are owed, not slept";
    EXPECT_EQ(pacer.Debt(), 6 * step);
    pacer.Wait(step + 1us);
    ASSERT_EQ(pacer.sleeps.size(), 1u);
    EXPECT_LE(pacer.Debt(), WaitPacer::kLongestLead) << "what the sleep aimed early stays owed";
}

TEST(WaitPacer, AStopEndsEveryWaitAtOnce) {
    Event stop;
    stop.Set();
    SteppedPacer pacer(stop, 0us);
    pacer.Wait(10s);
    EXPECT_TRUE(pacer.sleeps.empty());
    EXPECT_LE(pacer.readings, 1);
}

// Over any run of waits, the time taken plus what is still owed equals the
// time asked for, give or take the clock's step, whether the sleeps wake on
// time or late; and no wait polls: a sleeping wait reads the clock twice.
TEST(WaitPacer, TheWaitsOfARunTakeTheTimeAskedFor) {
    for (auto lateness : {0us, 40us, 300us}) {
        Event stop;
        SteppedPacer pacer(stop, lateness);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> micros(10, 5000);
        WaitPacer::Duration asked{0};
        auto start = pacer.now;
        int longestPoll = 0;
        for (int i = 0; i < 2000; ++i) {
            WaitPacer::Duration length = std::chrono::microseconds(micros(random));
            asked += length;
            int before = pacer.readings;
            size_t sleeps = pacer.sleeps.size();
            pacer.Wait(length);
            if (pacer.sleeps.size() > sleeps) longestPoll = std::max(longestPoll, pacer.readings - before);
        }
        auto taken = pacer.now - start;
        auto error = std::chrono::duration_cast<std::chrono::microseconds>(taken + pacer.Debt() - asked);
        // Each sleeping wait starts with a reading of the clock, which costs
        // this clock 1 µs that no wait asked for.
        auto readingsBeforeWaits = static_cast<long>(pacer.sleeps.size());
        EXPECT_LE(std::abs(error.count() - readingsBeforeWaits), 5) << "lateness " << lateness.count() << " µs";
        EXPECT_LE(longestPoll, 2) << "no poll after a sleep";
    }
}

} // namespace
