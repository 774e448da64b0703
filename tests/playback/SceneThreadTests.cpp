#include "playback/SceneThread.h"
#include "show/ControlItems.h"
#include "support/FakePlayer.h"
#include "support/ShowBytes.h"

#include <gtest/gtest.h>

#include <thread>

namespace showsaver {
namespace {

using namespace std::chrono_literals;
using testing::FakeMedia;
using testing::FakeWindow;

// Counts how often it is played; can ask for a stop when played.
class CountingItem final : public Item {
public:
    CountingItem() : Item(ItemKind::Note) {}
    int Play(gfx::DeviceContext&, int&, ScenePlayer&) override {
        ++plays;
        if (onPlay) onPlay();
        return 0;
    }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<CountingItem>(); }
    int plays = 0;
    std::function<void()> onPlay;
};

class RecordingMedia final : public MediaControl {
public:
    explicit RecordingMedia(std::vector<std::string>& log) : m_log(log) {}
    void PlayWave(const MediaPlay&, ScenePlayer&) override {}
    void PlayVideo(const MediaPlay&, ScenePlayer&) override {}
    void PlayMp3(const MediaPlay&, ScenePlayer&) override {}
    void PlayFlash(const MediaPlay&, ScenePlayer&) override {}
    void PlayMidi(const MediaPlay&, ScenePlayer&) override {}
    void StopWave() override { m_log.push_back("wave"); }
    void StopMp3() override { m_log.push_back("mp3"); }
    void StopVideo() override { m_log.push_back("video"); }
    void StopFlash() override { m_log.push_back("flash"); }
    void StopMidi() override { m_log.push_back("midi"); }

private:
    std::vector<std::string>& m_log;
};

struct Fixture {
    FakeWindow window;
    testing::CollectingSink messages;
    ItemList items;
    uint32_t times = 1000;
    std::vector<std::string> mediaLog;

    CSceneThread::Setup MakeSetup() {
        CSceneThread::Setup setup;
        setup.window = &window;
        setup.dc = &testing::UnusedContext();
        setup.items = &items;
        setup.times = &times;
        setup.messages = &messages;
        setup.media = std::make_unique<RecordingMedia>(mediaLog);
        return setup;
    }
    CountingItem* Add(bool disabled = false) {
        auto item = std::make_unique<CountingItem>();
        int32_t flag = disabled;
        item->SetDisabled(&flag);
        auto* raw = item.get();
        items.Append(std::move(item));
        return raw;
    }
};

TEST(SceneThread, AnEmptyShowRepaintsAndRunsTheEndSequence) {
    Fixture f;
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.Resume();
    ASSERT_TRUE(thread.WaitForExit(60s));
    EXPECT_EQ(f.window.backgrounds, std::vector<ColorRef>{0});
    EXPECT_EQ(f.mediaLog, (std::vector<std::string>{"wave", "mp3", "midi", "video", "flash"}));
}

TEST(SceneThread, PlaysEnabledItemsOnceInOrder) {
    Fixture f;
    auto* a = f.Add();
    auto* skipped = f.Add(true);
    auto* b = f.Add();
    std::vector<int> order;
    a->onPlay = [&] { order.push_back(1); };
    b->onPlay = [&] { order.push_back(2); };
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.Resume();
    ASSERT_TRUE(thread.WaitForExit(60s));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(skipped->plays, 0);
}

TEST(SceneThread, ALoopBackToTheFirstItemReplaysIt) {
    Fixture f;
    auto start = std::make_unique<LoopStartItem>();
    f.items.Append(std::move(start));
    auto* body = f.Add();
    auto end = std::make_unique<LoopEndItem>();
    end->repeat.repeatCount = 3;
    end->repeat.jumpTarget = 0;   // the loop end sets the index to -1
    f.items.Append(std::move(end));
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.Resume();
    ASSERT_TRUE(thread.WaitForExit(60s));
    EXPECT_EQ(body->plays, 3);
}

TEST(SceneThread, StopRequestEndsBeforeTheNextItemAndRunsTheEndSequence) {
    Fixture f;
    auto* first = f.Add();
    auto* second = f.Add();
    CSceneThread* self = nullptr;
    std::thread stopper;
    first->onPlay = [&] {
        // The window's thread asks for the stop while the item plays.
        stopper = std::thread([&] { self->RequestStop(); });
        while (!self->IsStopRequested()) std::this_thread::yield();
    };
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    self = &thread;
    thread.Resume();
    ASSERT_TRUE(thread.WaitForExit(60s));
    stopper.join();
    EXPECT_EQ(first->plays, 1);
    EXPECT_EQ(second->plays, 0);
    // RequestStop stops the players first; the end sequence runs after it.
    EXPECT_EQ(f.mediaLog, (std::vector<std::string>{"mp3", "video", "flash", "midi", "wave", "mp3", "midi",
                                                     "video", "flash"}));
}

TEST(SceneThread, StopBeforeStartEndsBeforeTheFirstItem) {
    Fixture f;
    auto* item = f.Add();
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.RequestStop();
    EXPECT_TRUE(thread.HasExited());
    EXPECT_EQ(item->plays, 0);
    thread.RequestStop();   // a second request returns at once
}

TEST(SceneThread, APauseEndsOnAStopRequest) {
    Fixture f;
    auto pause = std::make_unique<PauseItem>();
    pause->duration.duration = 3600 * 1000;
    f.items.Append(std::move(pause));
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.Resume();
    EXPECT_FALSE(thread.WaitForExit(50ms));
    thread.RequestStop();
    EXPECT_TRUE(thread.HasExited());
}

// Plays like a slow transition: many calibrated waits of the longest kind.
class WaitingItem final : public Item {
public:
    WaitingItem() : Item(ItemKind::Note) {}
    int Play(gfx::DeviceContext&, int&, ScenePlayer& player) override {
        started.Set();
        for (int step = 0; step < 100000; ++step) player.Pacer().CalibratedWait(0, 1000.0);
        return 0;
    }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<WaitingItem>(); }
    sys::Event started;
};

TEST(SceneThread, AStopRequestCutsEveryCalibratedWaitShortAndRunsTheEndSequence) {
    Fixture f;
    f.times = 0xFFFFFFFFu;   // each wait would poll for seconds
    auto waiting = std::make_unique<WaitingItem>();
    auto* item = waiting.get();
    f.items.Append(std::move(waiting));
    auto* after = f.Add();
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.Resume();
    ASSERT_TRUE(item->started.Wait(60s));
    thread.RequestStop();
    EXPECT_TRUE(thread.HasExited());
    EXPECT_EQ(after->plays, 0);
    // The request stops the players, then the end of the show runs.
    EXPECT_EQ(f.mediaLog, (std::vector<std::string>{"mp3", "video", "flash", "midi", "wave", "mp3", "midi", "video",
                                                    "flash"}));
}

// An item that waits for a medium: the first wait ends when its event is
// set, the second only with the show.
class EventWaitItem final : public Item {
public:
    EventWaitItem() : Item(ItemKind::Note) {}
    int Play(gfx::DeviceContext&, int&, ScenePlayer& player) override {
        waiting.Set();
        results.push_back(player.WaitFor(medium));
        return 0;
    }
    std::unique_ptr<Item> Clone() const override { return std::make_unique<EventWaitItem>(); }
    sys::Event medium, waiting;
    std::vector<bool> results;
};

TEST(SceneThread, AWaitForAMediumEndsWithItsEventOrWithTheShow) {
    Fixture f;
    auto first = std::make_unique<EventWaitItem>();
    auto second = std::make_unique<EventWaitItem>();
    auto* a = first.get();
    auto* b = second.get();
    f.items.Append(std::move(first));
    f.items.Append(std::move(second));
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    thread.Resume();
    ASSERT_TRUE(a->waiting.Wait(60s));
    a->medium.Set();
    ASSERT_TRUE(b->waiting.Wait(60s));
    thread.RequestStop();
    EXPECT_EQ(a->results, std::vector<bool>{true});
    EXPECT_EQ(b->results, std::vector<bool>{false});
}

TEST(SceneThread, VirtualPacingTakesNoTimeAndMovesItsOwnClock) {
    Fixture f;
    f.times = 0xFFFFFFFFu;
    CSceneThread::Setup setup = f.MakeSetup();
    setup.pacing = CSceneThread::Pacing::Virtual;
    CSceneThread thread(std::move(setup), CSceneThread::Mode::Play);
    uint32_t start = thread.TickCount();
    thread.Sleep(3600 * 1000);
    thread.CalibratedWait(0, 1e9);
    EXPECT_EQ(thread.TickCount() - start, 3600u * 1000u);
    thread.RequestStop();
}

TEST(SceneThread, CalibratedWaitPollsInProportion) {
    Fixture f;
    f.times = 250000;
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Play);
    EXPECT_EQ(thread.PollsFor(100000, 100000), 0u);
    EXPECT_EQ(thread.PollsFor(0, 100000), 250000u);
    EXPECT_EQ(thread.PollsFor(50000, 100000), 125000u);
    EXPECT_EQ(thread.PollsFor(200000, 100000), 0u);
    // The transitions' standard pause: (1000 - speed) * Times / 100000.
    EXPECT_EQ(thread.PollsFor(600, 1000.0), 1000u);
    EXPECT_EQ(thread.PollsFor(1000, 1000.0), 0u);
    thread.RequestStop();
}

TEST(SceneThread, CalibrationCountsPollsUntilStopped) {
    Fixture f;
    f.times = 7;
    CSceneThread thread(f.MakeSetup(), CSceneThread::Mode::Calibrate);
    thread.Resume();
    std::this_thread::sleep_for(20ms);
    thread.RequestStop();
    EXPECT_GT(f.times, 7u);
    EXPECT_TRUE(f.window.backgrounds.empty()) << "calibration plays nothing";
}

} // namespace
} // namespace showsaver
