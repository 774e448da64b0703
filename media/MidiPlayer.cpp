#include "media/MidiPlayer.h"

namespace showsaver {

// Shared with every posted notice: a notice that runs after the player is
// gone finds a null player and does nothing.
struct CMidiPlayer::Guard {
    std::recursive_mutex mutex;
    CMidiPlayer* player = nullptr;
};

CMciDevice::CMciDevice(audio::OutputOwner& output)
    : m_mci(output)
{
}

CMciDevice::~CMciDevice() = default;

void CMciDevice::SetCallbackWindow(NoticePoster poster)
{
    m_callbackWindow = std::move(poster);
}

mci::Error CMciDevice::Record(mci::Error result)
{
    if (result != mci::kErrorNone)
        m_lastError = result;
    return result;
}

CMidiPlayer::CMidiPlayer(audio::OutputOwner& output)
    : CMciDevice(output)
    , m_guard(std::make_shared<Guard>())
{
    m_guard->player = this;
}

CMidiPlayer::~CMidiPlayer()
{
    {
        std::lock_guard lock(m_guard->mutex);   // waits for a notice being handled
        m_guard->player = nullptr;
    }
    Stop();
    Close();
}

mci::Error CMidiPlayer::Open(FileContents music, bool)
{
    std::lock_guard lock(m_mutex);
    if (m_device != 0)
        Close();
    m_music = std::move(music);
    mci::DeviceId device = 0;
    mci::Error result = Record(m_mci.Open(m_music.bytes, mci::kDeviceTypeSequencer, device));
    if (result == mci::kErrorNone) {
        m_device = device;
        m_opened = true;
    }
    return result;
}

mci::Error CMidiPlayer::Close()
{
    std::lock_guard lock(m_mutex);
    if (!m_opened)
        return mci::kErrorNone;
    mci::Error result = Record(m_mci.Close(m_device));
    m_device = 0;
    return result;
}

mci::Error CMidiPlayer::Play()
{
    std::lock_guard lock(m_mutex);
    NoticePoster poster = m_callbackWindow;
    std::weak_ptr<Guard> guard = m_guard;
    auto notify = [poster, guard](mci::DeviceId device, mci::Notice notice) {
        if (!poster)
            return;
        poster([guard, device, notice] {
            auto alive = guard.lock();
            if (!alive)
                return;
            std::lock_guard lock(alive->mutex);
            if (alive->player)
                alive->player->OnNotice(device, notice);
        });
    };
    return Record(m_mci.Play(m_device, std::move(notify)));
}

mci::Error CMidiPlayer::Stop()
{
    std::lock_guard lock(m_mutex);
    return Record(m_mci.Stop(m_device));
}

void CMidiPlayer::OnNotice(mci::DeviceId device, mci::Notice notice)
{
    std::lock_guard lock(m_mutex);
    if (device != m_device || notice != mci::Notice::Successful)
        return;
    if (!m_loop) {
        playbackFinished.Set();
        return;
    }
    Close();
    Open(m_music, false);
    Play();
}

void CMidiPlayer::ReleaseMusic()
{
    std::lock_guard lock(m_mutex);
    m_music = {};
}

void CMidiPlayer::SetLoop(bool loop)
{
    std::lock_guard lock(m_mutex);
    m_loop = loop;
}

bool CMidiPlayer::Loop()
{
    std::lock_guard lock(m_mutex);
    return m_loop;
}

}
