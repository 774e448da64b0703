#pragma once
// A check of an AVI file's header chunks made before FFmpeg reads them. The
// demuxer allocates a chunk's declared size before it reads the chunk (a
// stream name, codec extradata, a tag), so a header that declares a chunk
// larger than the file would have it allocate that much for a few bytes.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace showsaver::video {

// Bytes of a file's start that the check reads: every chunk before the
// pictures must lie within them.
inline constexpr size_t kAviHeadBytes = 1 << 20;

// True when `head`, the first bytes of a file of `fileSize` bytes, is a RIFF
// AVI whose chunks before the "movi" list (and every chunk inside them) fit
// in their parents and in the file.
bool AviHeaderFits(std::span<const uint8_t> head, uint64_t fileSize);

// The first kAviHeadBytes of a file (fewer when it is shorter); empty when it cannot be read.
std::vector<uint8_t> ReadAviHead(const std::filesystem::path& path, uint64_t& fileSize);

} // namespace showsaver::video
