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
fs::path WriteMovie(const fs::path& folder, const std::string& name, int frames, double fps) {
    flash::test::SwfWriter writer(40, 30, fps, frames);
    writer.Background(0x3366CC);
    for (int i = 0; i < frames; ++i) writer.ShowFrame();
    writer.End();
    const auto bytes = writer.Fws();
    const auto path = folder / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

class FlashThread : public ::testing::Test {
protected:
    std::unique_ptr<media::CFlashPlayerThread> Make(const fs::path& movie, bool loop, int32_t timeLimit) {
        auto thread = std::make_unique<media::CFlashPlayerThread>(m_window, m_running, timeLimit, nullptr);
        thread->rectangle = {10, 5, 50, 35};
        thread->loop = loop;
        thread->timed = timeLimit != -1;
        thread->movieFile = movie;
        m_running.Set();
        return thread;
    }
    sys::TempDirectory m_folder {fs::temp_directory_path()};
    testing::FakeWindow m_window;
    sys::Event m_running;
};

// A movie without a time limit that does not loop ends on its last frame:
// the event is reset, its file and its layer are gone.
TEST_F(FlashThread, AMovieThatDoesNotLoopEndsOnItsLastFrame) {
    auto movie = WriteMovie(m_folder.Path(), "five.swf", 5, 50);
    auto thread = Make(movie, false, -1);
    thread->Start();
    ASSERT_TRUE(thread->Stopped().Wait(30s));
    thread->Join();
    EXPECT_EQ(thread->FrameNum(), 4);
    EXPECT_EQ(thread->TotalFrames(), 5);
    EXPECT_FALSE(m_running.IsSet());
    EXPECT_FALSE(fs::exists(movie));
    EXPECT_EQ(m_window.layers.Count(), 0u);
}

// A looping movie plays on until it is stopped from outside; two stops at
// once from two threads act once, and the looping movie keeps its file.
TEST_F(FlashThread, ALoopingMovieRunsUntilStoppedAndOnlyTheFirstStopActs) {
    auto movie = WriteMovie(m_folder.Path(), "loop.swf", 3, 60);
    auto thread = Make(movie, true, -1);
    thread->Start();
    std::this_thread::sleep_for(300ms);   // several rounds of the movie
    EXPECT_FALSE(thread->Stopped().IsSet());
    ASSERT_EQ(m_window.layers.Count(), 1u);
    std::thread other([&] { thread->Stop(); });
    thread->Stop();
    other.join();
    thread->Join();
    EXPECT_FALSE(m_running.IsSet());
    EXPECT_TRUE(fs::exists(movie)) << "a looping movie's file is the show's to delete";
    EXPECT_EQ(m_window.layers.Count(), 0u);
}

// A timed movie ends by its timer whatever its length; a limit of 0 starts
// no timer, so the movie runs until stopped.
TEST_F(FlashThread, ATimedMovieEndsByItsTimerAndALimitOfZeroNever) {
    auto movie = WriteMovie(m_folder.Path(), "long.swf", 10000, 30);
    auto timed = Make(movie, false, 200);
    timed->Start();
    ASSERT_TRUE(timed->Stopped().Wait(30s));
    timed->Join();
    EXPECT_LT(timed->FrameNum(), 9999);

    auto copy = m_folder.Path() / "zero.swf";
    fs::copy_file(WriteMovie(m_folder.Path(), "long2.swf", 10000, 30), copy);
    auto untimed = Make(copy, false, 0);
    untimed->Start();
    EXPECT_FALSE(untimed->Stopped().Wait(500ms));
    untimed->Stop();
}

// A file that is no movie: nothing shows, and the event is reset so that a
// waiting starter goes on.
TEST_F(FlashThread, AMovieThatCannotBeMadeResetsTheRunningEvent) {
    const auto junk = m_folder.Path() / "junk.swf";
    std::ofstream(junk) << "no movie here";
    auto thread = Make(junk, false, -1);
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
