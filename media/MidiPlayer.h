#pragma once
// MIDI music through the sequencer device. One CMidiPlayer belongs to the
// scene thread; its completion notices travel to the screensaver window's
// thread through the notice poster, where OnNotice replays a looping file or
// signals the end of the music.

#include "platform/mci/Sequencer.h"
#include "show/EmbeddedFile.h"

#include <functional>

namespace showsaver {

// Runs a closure on the window's thread (the lead binds it to the UI loop).
// It may run the closure at once when called on that thread.
using NoticePoster = std::function<void(std::function<void()>)>;

// A device of the media control layer: its id, where its notices go, and the
// last error of its requests (recorded, never shown).
class CMciDevice {
public:
    explicit CMciDevice(audio::OutputOwner& output);
    virtual ~CMciDevice();
    CMciDevice(const CMciDevice&) = delete;
    CMciDevice& operator=(const CMciDevice&) = delete;

    void SetCallbackWindow(NoticePoster poster);
    mci::DeviceId Device() const { return m_device; }
    mci::Error LastError() const { return m_lastError; }

protected:
    // Stores a non-zero result as the last error and returns it.
    mci::Error Record(mci::Error result);

    mci::Sequencer m_mci;
    mci::DeviceId m_device = 0;
    NoticePoster m_callbackWindow;

private:
    mci::Error m_lastError = mci::kErrorNone;
};

class CMidiPlayer : public CMciDevice {
public:
    explicit CMidiPlayer(audio::OutputOwner& output);
    ~CMidiPlayer() override;

    // Opens the MIDI file `music` on a sequencer device and keeps it, for a
    // looping play to open again at each end (ReleaseMusic lets go of it). A
    // device still open from an earlier file is closed first. `shareable` has
    // no effect on this device.
    virtual mci::Error Open(FileContents music, bool shareable);
    // Closes the device; only when an open ever succeeded.
    virtual mci::Error Close();
    // Plays from the current position; the completion notice goes to the poster.
    mci::Error Play();
    mci::Error Stop();

    // A completion notice as the window's thread receives it.
    void OnNotice(mci::DeviceId device, mci::Notice notice);

    void ReleaseMusic();
    // Whether the music replays at its end. Set under the player's lock, as
    // the music is, since a notice on the window's thread may read them at
    // any time.
    void SetLoop(bool loop);
    bool Loop();
    // Set by a successful open and never cleared.
    bool Opened() const { return m_opened; }

    sys::Event playbackFinished;

private:
    struct Guard;
    std::recursive_mutex m_mutex;     // the scene thread and the window's thread both drive the device
    bool m_loop = false;
    FileContents m_music;
    std::atomic<bool> m_opened { false };
    std::shared_ptr<Guard> m_guard;   // lets a notice posted late find the player gone
};

}
