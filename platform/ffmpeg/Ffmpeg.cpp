#include "platform/ffmpeg/Ffmpeg.h"

#include "MediaLibraryNames.h"
#include "platform/sys/SharedLibrary.h"

#include <optional>

namespace showsaver::ffmpeg {
namespace {

struct Libraries {
    std::optional<sys::SharedLibrary> avutil, avcodec, avformat, swresample, swscale;
};

Status<> Open(std::optional<sys::SharedLibrary>& library, const char* soname) {
    auto opened = sys::SharedLibrary::Open(soname);
    if (!opened) return Error{"the video libraries are missing: " + opened.Error().what};
    library.emplace(*opened);
    return {};
}

Status<> Resolve(Api& api) {
    Libraries libraries;
    // Lowest first, as they depend on one another.
    if (auto s = Open(libraries.avutil, kAvutilSoname); !s) return s;
    if (auto s = Open(libraries.swresample, kSwresampleSoname); !s) return s;
    if (auto s = Open(libraries.swscale, kSwscaleSoname); !s) return s;
    if (auto s = Open(libraries.avcodec, kAvcodecSoname); !s) return s;
    if (auto s = Open(libraries.avformat, kAvformatSoname); !s) return s;
#define SHOWSAVER_FFMPEG_RESOLVE(library, function)                                                                   \
    if (!libraries.library->Resolve(api.function, #function))                                                         \
        return Error{"the video libraries lack " #function " (another FFmpeg than the engine was built with?)"};
    SHOWSAVER_FFMPEG_FUNCTIONS(SHOWSAVER_FFMPEG_RESOLVE)
#undef SHOWSAVER_FFMPEG_RESOLVE
    return {};
}

struct Loaded {
    Api api;
    Status<> status;
};

const Loaded& Once() {
    static const Loaded loaded = [] {
        Loaded result;
        result.status = Resolve(result.api);
        return result;
    }();
    return loaded;
}

} // namespace

Status<> Load() {
    return Once().status;
}

const Api& Av() {
    return Once().api;
}

} // namespace showsaver::ffmpeg
