#include "platform/mci/Sequencer.h"

#include "platform/mci/FluidSynth.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace showsaver::mci {

namespace {

constexpr auto kForever = std::chrono::milliseconds::max();
// Frames rendered on the opening thread at the first play, so that FluidSynth
// parses the file there and not inside the device's callback.
constexpr int kPrimeFrames = 64;

// The play has reached the file's last event. FluidSynth itself reports its
// player done only once the voices and the reverb have died away, seconds later.
bool PlayedToEnd(fluid_player_t* player)
{
    int total = Fluid().fluid_player_get_total_ticks(player);
    return Fluid().fluid_player_get_status(player) == FLUID_PLAYER_DONE
        || (total > 0 && Fluid().fluid_player_get_current_tick(player) >= total);
}

}

void SettingsCloser::operator()(_fluid_hashtable_t* settings) const { Fluid().delete_fluid_settings(settings); }
void SynthCloser::operator()(_fluid_synth_t* synth) const { Fluid().delete_fluid_synth(synth); }
void PlayerCloser::operator()(_fluid_player_t* player) const { Fluid().delete_fluid_player(player); }

std::optional<std::filesystem::path> FindSoundfont()
{
    std::error_code error;
    if (const char* named = std::getenv("SHOWSAVER_SOUNDFONT"); named && *named)
        return std::filesystem::is_regular_file(named, error) ? std::optional(std::filesystem::path(named)) : std::nullopt;
    std::filesystem::path system = "/usr/share/sounds/sf2/default-GM.sf2";
    if (std::filesystem::is_regular_file(system, error))
        return system;
    return std::nullopt;
}

Sequencer::Sequencer(audio::OutputOwner& output)
    : m_output(output)
    , m_notices([this] { DeliverEnds(); })
{
    m_notices.Resume();
}

Sequencer::~Sequencer()
{
    if (m_open != 0)
        Close(m_open);
    m_quit.Set();
    m_notices.Join();
}

Error Sequencer::EnsureSynth()
{
    if (m_synth)
        return kErrorNone;
    auto soundfont = FindSoundfont();
    if (!soundfont)
        return kErrorNoSoundfont;
    std::unique_ptr<_fluid_hashtable_t, SettingsCloser> settings(Fluid().new_fluid_settings());
    if (!settings)
        return kErrorHardware;
    Fluid().fluid_settings_setstr(settings.get(), "player.timing-source", "sample");
    Fluid().fluid_settings_setnum(settings.get(), "synth.sample-rate", audio::kDeviceRate);
    Fluid().fluid_settings_setnum(settings.get(), "synth.gain", kSynthGain);
    // Only the samples of the instruments a file selects are read into memory.
    Fluid().fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
    std::unique_ptr<_fluid_synth_t, SynthCloser> synth(Fluid().new_fluid_synth(settings.get()));
    if (!synth)
        return kErrorHardware;
    if (Fluid().fluid_synth_sfload(synth.get(), soundfont->c_str(), 1) == FLUID_FAILED)
        return kErrorNoSoundfont;
    m_settings = std::move(settings);
    m_synth = std::move(synth);
    return kErrorNone;
}

Error Sequencer::CheckOpen(DeviceId device) const
{
    return device != 0 && device == m_open ? kErrorNone : kErrorInvalidDevice;
}

Error Sequencer::Open(std::span<const uint8_t> bytes, uint32_t deviceType, DeviceId& device)
{
    device = 0;
    if (deviceType != kDeviceTypeSequencer)
        return kErrorUnsupportedType;
    if (m_open != 0)
        Close(m_open);
    if (!LoadFluidSynth())
        return kErrorHardware;
    // A standard MIDI file starts with its header chunk.
    static constexpr uint8_t kHeader[] = { 'M', 'T', 'h', 'd' };
    if (bytes.size() < sizeof kHeader || !std::equal(std::begin(kHeader), std::end(kHeader), bytes.begin()))
        return kErrorInvalidFile;
    if (Error failed = EnsureSynth())
        return failed;
    auto output = m_output.Get();
    if (!output)
        return kErrorHardware;
    std::unique_ptr<_fluid_player_t, PlayerCloser> player(Fluid().new_fluid_player(m_synth.get()));
    if (!player || Fluid().fluid_player_add_mem(player.get(), bytes.data(), bytes.size()) != FLUID_OK)
        return kErrorInvalidFile;
    {
        std::lock_guard lock(m_mutex);
        m_player = std::move(player);
        m_open = m_lastId = m_lastId + 1 == 0 ? 1 : m_lastId + 1;
        m_primed = false;
    }
    // Made outside m_mutex: the mixer takes its own lock before this one.
    m_stream = std::make_unique<audio::PullStream>(std::move(output),
        [this](int16_t* out, size_t frames) { Render(out, frames); });
    device = m_open;
    return kErrorNone;
}

Error Sequencer::Play(DeviceId device, NoticeSink notify)
{
    if (Error failed = CheckOpen(device))
        return failed;
    NoticeSink superseded;
    {
        std::lock_guard lock(m_mutex);
        superseded = std::exchange(m_notify, {});
        Fluid().fluid_player_play(m_player.get());
        if (!m_primed) {
            std::array<int16_t, kPrimeFrames * 2> scratch {};
            Fluid().fluid_synth_write_s16(m_synth.get(), kPrimeFrames, scratch.data(), 0, 2, scratch.data(), 1, 2);
            m_primed = true;
        }
        if (Fluid().fluid_player_get_status(m_player.get()) == FLUID_PLAYER_DONE) {
            m_armed = false;
            return kErrorInvalidFile;   // FluidSynth could not read the tracks
        }
        m_notify = std::move(notify);
        m_armed = true;
    }
    if (superseded)
        superseded(device, Notice::Superseded);
    return kErrorNone;
}

Error Sequencer::Stop(DeviceId device)
{
    if (Error failed = CheckOpen(device))
        return failed;
    {
        std::lock_guard lock(m_mutex);
        m_armed = false;
        Fluid().fluid_player_stop(m_player.get());
        Fluid().fluid_synth_all_sounds_off(m_synth.get(), -1);
    }
    AbortPending(Notice::Aborted);
    return kErrorNone;
}

Error Sequencer::Close(DeviceId device)
{
    if (Error failed = CheckOpen(device))
        return failed;
    m_stream.reset();   // from here the mixer no longer renders
    {
        std::lock_guard lock(m_mutex);
        m_armed = false;
        m_player.reset();
        Fluid().fluid_synth_all_sounds_off(m_synth.get(), -1);
        m_open = 0;
    }
    AbortPending(Notice::Aborted);
    return kErrorNone;
}

void Sequencer::AbortPending(Notice notice)
{
    NoticeSink pending;
    DeviceId device = 0;
    {
        std::lock_guard lock(m_mutex);
        pending = std::exchange(m_notify, {});
        device = m_lastId;
    }
    if (pending)
        pending(device, notice);
}

// The device's thread: render, and hand a finished play's notice to the notice thread.
void Sequencer::Render(int16_t* out, size_t frames)
{
    std::lock_guard lock(m_mutex);
    Fluid().fluid_synth_write_s16(m_synth.get(), static_cast<int>(frames), out, 0, 2, out, 1, 2);
    m_rendered += frames;
    if (m_armed && m_player && PlayedToEnd(m_player.get()) && !m_ended) {
        m_armed = false;
        m_ended = std::move(m_notify);   // a move of std::function: no allocation
        m_endedDevice = m_open;
        m_endedEvent.Set();
    }
}

void Sequencer::DeliverEnds()
{
    std::array<sys::Event*, 2> events { &m_endedEvent, &m_quit };
    while (sys::Event::WaitAny(events, kForever) == 0) {
        m_endedEvent.Reset();
        NoticeSink ended;
        DeviceId device = 0;
        {
            std::lock_guard lock(m_mutex);
            ended = std::exchange(m_ended, {});
            device = m_endedDevice;
        }
        if (ended)
            ended(device, Notice::Successful);
    }
}

uint64_t Sequencer::RenderedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_rendered;
}

}
