#pragma once
// A MIDI sequencer device with the media control semantics the players rely
// on: open a MIDI file's bytes on a device of the sequencer type, play it
// from the current position with a completion notice, stop, close. Errors
// are returned as codes for the caller to record; nothing is ever shown.
//
// FluidSynth renders into the sound output's mixer (pulled, with the
// player's timing taken from the samples rendered); it has no audio driver
// of its own. The General MIDI soundfont is the file named by
// SHOWSAVER_SOUNDFONT, else the system's default-GM.sf2 in /usr/share/sounds/sf2.
//
// One device is open at a time: opening a file while another is open closes
// the old one first (its pending notice is aborted). The synthesizer keeps
// its own copy of the file's bytes.
//
// Threads: Open, Play, Stop and Close come from any one thread at a time.
// Completion notices run on the sequencer's own notice thread (successful
// ends) or on the calling thread (aborted and superseded); they should only
// post the notice on to where it is handled.

#include "platform/audio/Streams.h"
#include "platform/sys/Event.h"
#include "platform/sys/Thread.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_player_t;

namespace showsaver::mci {

using DeviceId = uint32_t;   // 0 = no device
using Error = uint32_t;      // 0 = success

inline constexpr uint32_t kDeviceTypeSequencer = 523;

enum : Error {
    kErrorNone = 0,
    kErrorInvalidDevice = 257,      // no such device is open
    kErrorUnsupportedType = 258,    // only the sequencer type is supported
    kErrorInvalidFile = 296,        // not a MIDI file FluidSynth reads
    kErrorNoSoundfont = 310,
    kErrorHardware = 262,           // no synthesizer or no sound output
};

enum class Notice : uint32_t { Successful = 1, Superseded = 2, Aborted = 4, Failure = 8 };
using NoticeSink = std::function<void(DeviceId device, Notice notice)>;

struct SettingsCloser { void operator()(_fluid_hashtable_t* settings) const; };
struct SynthCloser { void operator()(_fluid_synth_t* synth) const; };
struct PlayerCloser { void operator()(_fluid_player_t* player) const; };

// The soundfont to use: $SHOWSAVER_SOUNDFONT, else default-GM.sf2 in the
// system's sound font folder; nullopt when neither exists.
std::optional<std::filesystem::path> FindSoundfont();

// FluidSynth's own gain (0.2) leaves one note near -30 dBFS, far under the
// wave sounds and MP3 music of the same show; this brings it to about
// -18 dBFS and leaves room for chords.
inline constexpr double kSynthGain = 0.8;

class Sequencer {
public:
    explicit Sequencer(audio::OutputOwner& output);
    ~Sequencer();
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    // Opens the MIDI file `bytes` on a new device of `deviceType` and stores
    // its id in `device`.
    Error Open(std::span<const uint8_t> bytes, uint32_t deviceType, DeviceId& device);
    // Plays from the current position to the end; `notify` hears once how it ended.
    Error Play(DeviceId device, NoticeSink notify);
    Error Stop(DeviceId device);
    Error Close(DeviceId device);

    // Device frames rendered by the synthesizer so far (for tests).
    uint64_t RenderedFrames() const;

private:
    Error EnsureSynth();
    Error CheckOpen(DeviceId device) const;
    void Render(int16_t* out, size_t frames);
    void AbortPending(Notice notice);
    void DeliverEnds();

    audio::OutputOwner& m_output;
    std::unique_ptr<_fluid_hashtable_t, SettingsCloser> m_settings;
    std::unique_ptr<_fluid_synth_t, SynthCloser> m_synth;
    mutable std::mutex m_mutex;   // guards the player and the notice state; the mixer renders under it
    std::unique_ptr<_fluid_player_t, PlayerCloser> m_player;
    DeviceId m_open = 0;
    DeviceId m_lastId = 0;
    bool m_primed = false;        // the open file has been parsed
    NoticeSink m_notify;          // the pending notice of the current play
    bool m_armed = false;         // the renderer reports the player's end once
    NoticeSink m_ended;           // a finished play's notice, for the notice thread
    DeviceId m_endedDevice = 0;
    uint64_t m_rendered = 0;
    std::unique_ptr<audio::PullStream> m_stream;
    sys::Event m_endedEvent;
    sys::Event m_quit;
    sys::SuspendedThread m_notices;
};

}
