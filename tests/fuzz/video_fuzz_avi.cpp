// libFuzzer target: arbitrary bytes opened as an AVI video from memory,
// through the video layer's own read and seek callbacks, and a few pictures
// and blocks of sound decoded and converted. Any input must be refused or
// decode within the limits: never a crash, a hang or an outsized allocation.

#include <cstdlib>

#include "platform/video/VideoFile.h"

// Every input makes and frees a demuxer, decoders and a scaler, a megabyte or
// two in all, so AddressSanitizer's default 256 MB quarantine of freed memory
// alone would take the process near the fuzzer's 512 MB RSS limit. A smaller
// quarantine still catches a use after free of the last inputs' memory.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver::video;
    // Smaller limits than the player's, so that one picture stays well under
    // the fuzzer's allocation limit.
    const VideoLimits limits {.maxSide = 1024, .maxPixels = 512 * 512};
    const auto file = VideoFile::OpenMemory({data, size}, nullptr, limits);
    if (!file) return 0;
    const auto frameSize = file->Size();
    if (frameSize.width <= 0 || frameSize.height <= 0 || int64_t{frameSize.width} * frameSize.height > limits.maxPixels)
        std::abort();
    for (int round = 0; round < 2; ++round) {
        for (int step = 0; step < 64; ++step) {
            const auto next = file->Next();
            if (next == VideoFile::Step::End) break;
            if (next == VideoFile::Step::Picture) (void)file->ConvertPicture();
            if (next == VideoFile::Step::Sound && file->Sound().size() % 2 != 0) std::abort();
        }
        if (!file->Rewind()) break;
    }
    return 0;
}
