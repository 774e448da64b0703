#pragma once
// The movie container: the 8-byte signature and length, the zlib (CWS) or
// LZMA (ZWS) compression of everything after it, and the movie header (stage
// rectangle, frame rate, frame count). Also the zlib inflation that bitmap
// tags use.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "flash/format/Limits.h"
#include "flash/format/Types.h"

namespace showsaver::flash {

struct MovieHeader {
    int version = 0;
    Rect stage;
    double frameRate = 0;     // as stored (8.8); 0 means "12"
    int frameCount = 0;       // the header's
    size_t tagsOffset = 0;    // where the first tag starts in the body
};

struct Body {
    std::vector<uint8_t> bytes;   // the whole movie uncompressed, its 8-byte prefix included
    MovieHeader header;
};

// Unpacks a movie file. On failure nullopt and `error` says why. The
// uncompressed length is charged to `budget` before anything is inflated; a
// truncated compressed stream keeps what was inflated.
std::optional<Body> UnpackMovie(std::span<const uint8_t> file, MemoryBudget& budget, std::string& error);

// The first `count` bytes of the uncompressed movie, its 8-byte prefix
// included; fewer when the movie is shorter or its stream breaks off. Only
// what is asked for is inflated.
std::vector<uint8_t> MovieStart(std::span<const uint8_t> file, size_t count);

// Inflates a zlib stream of at most `maxBytes` output; nullopt when it is
// damaged before producing `maxBytes` (a caller that knows the exact size
// passes it) or when `budget` cannot cover the output.
std::optional<std::vector<uint8_t>> Inflate(std::span<const uint8_t> data, size_t maxBytes, MemoryBudget& budget);

} // namespace showsaver::flash
