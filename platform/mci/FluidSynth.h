#pragma once
// FluidSynth, opened on the first MIDI that plays: the engine does not link
// it, so a show without MIDI never maps it and its tree of sound libraries.
// Every call into FluidSynth goes through the table `Fluid()` returns, once
// `LoadFluidSynth` has succeeded.

#include <fluidsynth.h>

namespace showsaver::mci {

#define SHOWSAVER_FLUIDSYNTH_FUNCTIONS(X)                                                                              \
    X(new_fluid_settings)                                                                                              \
    X(delete_fluid_settings)                                                                                           \
    X(fluid_settings_setstr)                                                                                           \
    X(fluid_settings_setnum)                                                                                           \
    X(fluid_settings_setint)                                                                                           \
    X(new_fluid_synth)                                                                                                 \
    X(delete_fluid_synth)                                                                                              \
    X(fluid_synth_sfload)                                                                                              \
    X(fluid_synth_write_s16)                                                                                           \
    X(fluid_synth_all_sounds_off)                                                                                      \
    X(new_fluid_player)                                                                                                \
    X(delete_fluid_player)                                                                                             \
    X(fluid_player_add_mem)                                                                                            \
    X(fluid_player_play)                                                                                               \
    X(fluid_player_stop)                                                                                               \
    X(fluid_player_get_status)                                                                                         \
    X(fluid_player_get_total_ticks)                                                                                    \
    X(fluid_player_get_current_tick)                                                                                   \
    X(fluid_set_log_function)

struct FluidApi {
#define SHOWSAVER_FLUIDSYNTH_POINTER(function) decltype(&::function) function = nullptr;
    SHOWSAVER_FLUIDSYNTH_FUNCTIONS(SHOWSAVER_FLUIDSYNTH_POINTER)
#undef SHOWSAVER_FLUIDSYNTH_POINTER
};

// Opens the library and resolves the table once per process (from any
// thread), with FluidSynth's own log silenced; later calls give the first
// outcome. A library that is missing is said once on stderr, in one line.
bool LoadFluidSynth();

// The table; only after `LoadFluidSynth` returned true.
const FluidApi& Fluid();

} // namespace showsaver::mci
