#include "platform/mci/FluidSynth.h"

#include "MediaLibraryNames.h"
#include "platform/sys/SharedLibrary.h"

#include <cstdio>

namespace showsaver::mci {
namespace {

Status<> Resolve(FluidApi& api) {
    auto library = sys::SharedLibrary::Open(kFluidsynthSoname);
    if (!library) return library.Error();
#define SHOWSAVER_FLUIDSYNTH_RESOLVE(function)                                                                         \
    if (!library->Resolve(api.function, #function)) return Error{kFluidsynthSoname + std::string(" lacks " #function)};
    SHOWSAVER_FLUIDSYNTH_FUNCTIONS(SHOWSAVER_FLUIDSYNTH_RESOLVE)
#undef SHOWSAVER_FLUIDSYNTH_RESOLVE
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) api.fluid_set_log_function(level, nullptr, nullptr);
    return {};
}

struct Loaded {
    FluidApi api;
    bool ok = false;
};

const Loaded& Once() {
    static const Loaded loaded = [] {
        Loaded result;
        const auto status = Resolve(result.api);
        result.ok = status.Ok();
        if (!result.ok) std::fprintf(stderr, "showsaver: MIDI cannot play: %s\n", status.Error().what.c_str());
        return result;
    }();
    return loaded;
}

} // namespace

bool LoadFluidSynth() {
    return Once().ok;
}

const FluidApi& Fluid() {
    return Once().api;
}

} // namespace showsaver::mci
