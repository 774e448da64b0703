// Feeds arbitrary bytes to the Flash player's GIF reader (the data a
// DefineBitsJPEG2 or 3 may hold). Whatever the bytes: no crash, no hang,
// and no more memory than the budget of a movie of that size allows.

#include "flash/characters/Gif.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace showsaver;
    flash::MemoryBudget budget(size);
    auto image = flash::DecodeGif(std::span<const uint8_t>(data, size), budget);
    if (image) (void)image->palette[image->indices.empty() ? 0 : image->indices.back()];
    return 0;
}
