// The MIDI player on FluidSynth through the disk driver, with its notices
// relayed through a stand-in for the window's thread.

#include "SoundFixtures.h"
#include "media/MidiPlayer.h"
#include "media/Mp3Player.h"
#include "platform/audio/WaveSound.h"

#include <condition_variable>
#include <deque>
#include <thread>

namespace showsaver {
namespace {

using namespace std::chrono_literals;

// Runs posted closures one by one on its own thread, as the window's loop does.
class WindowThread {
public:
    WindowThread() : m_thread([this] { Run(); }) {}
    ~WindowThread()
    {
        Post({});
        m_thread.join();
    }
    void Post(std::function<void()> task)
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        m_changed.notify_one();
    }
    NoticePoster Poster()
    {
        return [this](std::function<void()> task) { ++m_posted; Post(std::move(task)); };
    }
    int Posted() const { return m_posted; }

private:
    void Run()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_tasks.empty(); });
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            if (!task)
                return;
            task();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    std::atomic<int> m_posted { 0 };
    std::thread m_thread;
};

// A MIDI file's bytes as the show hands them over, held by the player.
FileContents Music(std::vector<uint8_t> bytes)
{
    auto held = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    return { std::shared_ptr<const uint8_t>(held, held->data()), *held };
}

TEST(MidiPlayer, ANoteIsHeardAndItsEndSignalled)
{
    test::DiskRecording recording("midi-note");
    const auto note = test::MidiNote(80, 69, 480);   // square lead, A4, half a second
    WindowThread window;
    {
        audio::OutputOwner output;
        CMidiPlayer player(output);
        player.SetCallbackWindow(window.Poster());
        ASSERT_EQ(player.Open(Music(note), false), mci::kErrorNone);
        EXPECT_TRUE(player.Opened());
        ASSERT_EQ(player.Play(), mci::kErrorNone);
        EXPECT_TRUE(player.playbackFinished.Wait(10s));
        // Notices other than a successful end for this device change nothing.
        player.playbackFinished.Reset();
        for (auto notice : { mci::Notice::Aborted, mci::Notice::Superseded, mci::Notice::Failure })
            player.OnNotice(player.Device(), notice);
        player.OnNotice(player.Device() + 1, mci::Notice::Successful);
        EXPECT_FALSE(player.playbackFinished.IsSet());
        std::this_thread::sleep_for(300ms);
    }
    auto heard = test::LoudPart(recording.Samples(), 1000);
    EXPECT_GT(double(heard.size()) / audio::kDeviceRate, 0.3);
    // The pitch of the held note, away from its attack and its release.
    std::vector<int16_t> held(heard.begin() + std::ptrdiff_t(heard.size() / 4), heard.end() - std::ptrdiff_t(heard.size() / 4));
    EXPECT_NEAR(test::EstimateFrequency(held, audio::kDeviceRate), 440, 10);
}

TEST(MidiPlayer, ALoopingFilePlaysOnPastItsEnd)
{
    test::DiskRecording recording("midi-loop");
    // A quarter of a second, held by the player alone: each end opens it again.
    auto music = Music(test::MidiNote(80, 69, 240));
    WindowThread window;
    {
        audio::OutputOwner output;
        CMidiPlayer player(output);
        player.SetCallbackWindow(window.Poster());
        player.SetLoop(true);
        ASSERT_EQ(player.Open(std::move(music), false), mci::kErrorNone);
        ASSERT_EQ(player.Play(), mci::kErrorNone);
        std::this_thread::sleep_for(1500ms);
        EXPECT_FALSE(player.playbackFinished.IsSet());
        EXPECT_EQ(player.LastError(), mci::kErrorNone);
        EXPECT_EQ(player.Stop(), mci::kErrorNone);
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_GE(window.Posted(), 4);   // three ends and the stop
    // The note sounds on, replayed each time the file ends.
    EXPECT_GT(double(test::LoudPart(recording.Samples(), 1000).size()) / audio::kDeviceRate, 1.0);
}

TEST(MidiPlayer, FilesFluidSynthCannotReadFailSilently)
{
    test::DiskRecording recording("midi-bad");
    std::vector<std::vector<uint8_t>> files = {
        { 'n', 'o', 't', ' ', 'm', 'i', 'd', 'i' },
        { 'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'X', 'X', 'X', 'X', 0xFF, 0xFF },
        {},
    };
    audio::OutputOwner output;
    WindowThread window;
    for (const auto& bytes : files) {
        CMidiPlayer player(output);
        player.SetCallbackWindow(window.Poster());
        bool failed = player.Open(Music(bytes), false) != mci::kErrorNone || player.Play() != mci::kErrorNone;
        EXPECT_TRUE(failed);
        EXPECT_EQ(player.LastError(), mci::kErrorInvalidFile);
        EXPECT_FALSE(player.playbackFinished.Wait(200ms));
    }
    CMidiPlayer never(output);
    EXPECT_EQ(never.Close(), mci::kErrorNone);   // no open ever succeeded: nothing is sent
    EXPECT_NE(never.Stop(), mci::kErrorNone);
}

}
}

namespace showsaver {
namespace {

TEST(NoSoundDevice, EveryPlayIsSilentlySkipped)
{
    test::ScopedEnvironment driver("SDL_AUDIODRIVER", "no-such-driver");
    auto folder = test::FreshFolder("no-device");
    audio::OutputOwner output;
    EXPECT_EQ(output.Get(), nullptr);
    audio::WaveSound sound(output);
    EXPECT_FALSE(sound.PlayAsync(test::S16Wave(test::Sine(440, 0.2, 22050, 1), 22050, 1), true));
    auto mp3 = test::SineMp3(folder, 440, 0.5, 44100, 2);
    CMP3Controller controller(output);
    controller.Start(mp3.data(), int32_t(mp3.size()), true, true, sys::Event());   // returns: nothing to wait for
    controller.Stop();
    CMidiPlayer player(output);
    EXPECT_EQ(player.Open(Music(test::MidiNote(0, 60, 480)), false), mci::kErrorHardware);
    EXPECT_FALSE(player.Opened());
    std::filesystem::remove_all(folder);
}

}
}
