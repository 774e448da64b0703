#include "platform/video/AviHeader.h"

#include <cstring>
#include <fstream>
#include <system_error>

namespace showsaver::video {

namespace {

constexpr int kMaxDepth = 8;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool IsTag(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// Walks the chunks of [begin, end), which must lie inside `head` unless the
// walk stops at the pictures first. Sets `reachedPictures` at "LIST movi".
bool ChunksFit(std::span<const uint8_t> head, uint64_t begin, uint64_t end, int depth, bool& reachedPictures) {
    if (depth > kMaxDepth) return false;
    uint64_t at = begin;
    while (at + 8 <= end && !reachedPictures) {
        if (at + 8 > head.size()) return false;   // a header chunk beyond what was read
        const uint8_t* chunk = head.data() + at;
        const uint64_t size = Le32(chunk + 4);
        const bool isList = IsTag(chunk, "LIST") && at + 12 <= head.size();
        // The pictures are read packet by packet, so a cut file may end inside them.
        if (isList && IsTag(chunk + 8, "movi")) {
            reachedPictures = true;
            return true;
        }
        if (size > end - at - 8) return false;
        if (isList && size >= 4 && !ChunksFit(head, at + 12, at + 8 + size, depth + 1, reachedPictures)) return false;
        at += 8 + size + (size & 1);   // chunks are padded to even sizes
    }
    return true;
}

} // namespace

bool AviHeaderFits(std::span<const uint8_t> head, uint64_t fileSize) {
    if (head.size() < 12 || head.size() > fileSize) return false;
    if (!IsTag(head.data(), "RIFF") || !IsTag(head.data() + 8, "AVI ")) return false;
    // The RIFF size of a cut file is larger than the file: the file bounds the walk.
    bool reachedPictures = false;
    return ChunksFit(head, 12, fileSize, 0, reachedPictures);
}

std::vector<uint8_t> ReadAviHead(const std::filesystem::path& path, uint64_t& fileSize) {
    std::error_code error;
    fileSize = std::filesystem::file_size(path, error);
    if (error) return {};
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> head(std::min<uint64_t>(fileSize, kAviHeadBytes));
    if (!in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()))) return {};
    return head;
}

} // namespace showsaver::video
