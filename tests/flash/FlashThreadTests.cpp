// The Flash player thread of the show against a window of memory layers:
// how each kind of movie ends, what its end leaves behind, and the switch
// in the classes hive.

#include "media/FlashPlayerThread.h"

#include "flash/SwfWriter.h"
#include "platform/registry/Store.h"
#include "platform/sys/TempFiles.h"
#include "support/FakePlayer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace showsaver {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A movie of `frames` frames of one background colour.
std::vector<uint8_t> Movie(int frames, double fps) {
    flash::test::SwfWriter writer(40, 30, fps, frames);
    writer.Background(0x3366CC);
    for (int i = 0; i < frames; ++i) writer.ShowFrame();
    writer.End();
    return writer.Fws();
}

class FlashThread : public ::testing::Test {
protected:
    // The thread holds the only reference to the movie's bytes, as one the
    // show hands over holds a copy read from the show's file.
    std::unique_ptr<media::CFlashPlayerThread> Make(std::vector<uint8_t> movie, bool loop, int32_t timeLimit) {
        auto thread = std::make_unique<media::CFlashPlayerThread>(m_window, m_running, timeLimit, nullptr);
        thread->rectangle = {10, 5, 50, 35};
        thread->loop = loop;
        thread->timed = timeLimit != -1;
        auto bytes = std::make_shared<std::vector<uint8_t>>(std::move(movie));
        thread->movie = {std::shared_ptr<const uint8_t>(bytes, bytes->data()), *bytes};
        m_movieBytes = bytes;
        m_running.Set();
        return thread;
    }
    std::weak_ptr<std::vector<uint8_t>> m_movieBytes;
    testing::FakeWindow m_window;
    sys::Event m_running;
};

// A movie without a time limit that does not loop ends on its last frame:
// the event is reset, its layer is gone.
TEST_F(FlashThread, AMovieThatDoesNotLoopEndsOnItsLastFrame) {
    auto thread = Make(Movie(5, 50), false, -1);
    thread->Start();
    ASSERT_TRUE(thread->Stopped().Wait(30s));
    thread->Join();
    EXPECT_EQ(thread->FrameNum(), 4);
    EXPECT_EQ(thread->TotalFrames(), 5);
    EXPECT_FALSE(m_running.IsSet());
    EXPECT_EQ(m_window.layers.Count(), 0u);
}

// A looping movie plays on until it is stopped from outside, without its
// bytes, which go once it is loaded; two stops at once from two threads act
// once.
TEST_F(FlashThread, ALoopingMovieRunsUntilStoppedAndOnlyTheFirstStopActs) {
    auto thread = Make(Movie(3, 60), true, -1);
    thread->Start();
    std::this_thread::sleep_for(300ms);   // several rounds of the movie
    EXPECT_FALSE(thread->Stopped().IsSet());
    ASSERT_EQ(m_window.layers.Count(), 1u);
    EXPECT_TRUE(m_movieBytes.expired());
    std::thread other([&] { thread->Stop(); });
    thread->Stop();
    other.join();
    thread->Join();
    EXPECT_FALSE(m_running.IsSet());
    EXPECT_EQ(m_window.layers.Count(), 0u);
}

// A timed movie ends by its timer whatever its length; a limit of 0 starts
// no timer, so the movie runs until stopped.
TEST_F(FlashThread, ATimedMovieEndsByItsTimerAndALimitOfZeroNever) {
    auto timed = Make(Movie(10000, 30), false, 200);
    timed->Start();
    ASSERT_TRUE(timed->Stopped().Wait(30s));
    timed->Join();
    EXPECT_LT(timed->FrameNum(), 9999);

    auto untimed = Make(Movie(10000, 30), false, 0);
    untimed->Start();
    EXPECT_FALSE(untimed->Stopped().Wait(500ms));
    untimed->Stop();
}

// Bytes that are no movie: nothing shows, and the event is reset so that a
// waiting starter goes on.
TEST_F(FlashThread, AMovieThatCannotBeMadeResetsTheRunningEvent) {
    const std::string junk = "no movie here";
    auto thread = Make({junk.begin(), junk.end()}, false, -1);
    thread->Start();
    ASSERT_TRUE(thread->Stopped().Wait(30s));
    thread->Join();
    EXPECT_FALSE(m_running.IsSet());
    EXPECT_EQ(m_window.layers.Count(), 0u);
}

TEST(FlashInstalled, TheClassesHiveSwitchesFlashOffOnlyByNamingAMissingServer) {
    sys::TempDirectory folder {fs::temp_directory_path()};
    registry::Store store(folder.Path());
    const char* key = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";
    EXPECT_TRUE(media::IsFlashInstalled(store)) << "no key: the built-in player plays";
    ASSERT_TRUE(store.Set(registry::Hive::ClassesRoot, key, "", std::string("/nowhere/flash.ocx")));
    EXPECT_FALSE(media::IsFlashInstalled(store));
    const auto server = folder.Path() / "flash.ocx";
    std::ofstream(server) << "x";
    ASSERT_TRUE(store.Set(registry::Hive::ClassesRoot, key, "", server.string()));
    EXPECT_TRUE(media::IsFlashInstalled(store));
}

} // namespace
} // namespace showsaver
