#include "flash/format/Container.h"

#include "flash/format/Reader.h"

#include <lzma.h>
#include <zlib.h>

#include <cstring>
#include <memory>

namespace showsaver::flash {
namespace {

constexpr size_t kPrefixSize = 8;

struct ZStreamEnd {
    void operator()(z_stream* z) const {
        inflateEnd(z);
        delete z;
    }
};
using ZStreamPtr = std::unique_ptr<z_stream, ZStreamEnd>;

struct LzmaEnd {
    void operator()(lzma_stream* s) const {
        lzma_end(s);
        delete s;
    }
};
using LzmaPtr = std::unique_ptr<lzma_stream, LzmaEnd>;

constexpr size_t kChunk = size_t{1} << 20;

// Makes room for the next chunk of output, never past `limit` bytes, so
// memory grows with what a stream really produces, not with what its
// header claims.
std::span<uint8_t> NextChunk(std::vector<uint8_t>& out, size_t produced, size_t limit) {
    size_t size = std::min(limit, produced + std::max(kChunk, produced));
    out.resize(size);
    return std::span<uint8_t>(out).subspan(produced);
}

// Inflates up to `limit` bytes into `out`, which ends up holding exactly
// what was produced. Stops at the stream's end or at an error.
void InflateInto(std::span<const uint8_t> data, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    ZStreamPtr z(new z_stream{});
    if (inflateInit(z.get()) != Z_OK) return;
    z->next_in = const_cast<Bytef*>(data.data());
    z->avail_in = static_cast<uInt>(std::min<size_t>(data.size(), UINT32_MAX));
    size_t produced = 0;
    while (produced < limit) {
        auto room = NextChunk(out, produced, limit);
        z->next_out = room.data();
        z->avail_out = static_cast<uInt>(room.size());
        int status = inflate(z.get(), Z_NO_FLUSH);
        produced += room.size() - z->avail_out;
        if (status != Z_OK) break;
    }
    out.resize(produced);
}

// The ZWS body: u32 compressed length, 5 property bytes, raw LZMA data.
// liblzma's .lzma reader takes it behind a made-up header whose size field
// says "unknown".
void UnpackLzma(std::span<const uint8_t> file, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    if (file.size() < 17) return;
    std::vector<uint8_t> input(file.begin() + 12, file.begin() + 17);
    input.insert(input.end(), 8, 0xFF);
    input.insert(input.end(), file.begin() + 17, file.end());
    LzmaPtr stream(new lzma_stream(LZMA_STREAM_INIT));
    // The dictionary the stream asks for is memory too.
    if (lzma_alone_decoder(stream.get(), uint64_t{64} << 20) != LZMA_OK) return;
    stream->next_in = input.data();
    stream->avail_in = input.size();
    size_t produced = 0;
    while (produced < limit) {
        auto room = NextChunk(out, produced, limit);
        stream->next_out = room.data();
        stream->avail_out = room.size();
        lzma_ret status = lzma_code(stream.get(), LZMA_FINISH);
        produced += room.size() - stream->avail_out;
        if (status != LZMA_OK) break;
    }
    out.resize(produced);
}

bool ReadHeader(Body& body, std::string& error) {
    Reader reader(std::span<const uint8_t>(body.bytes).subspan(kPrefixSize));
    body.header.stage = reader.ReadRect();
    uint16_t rate = reader.U16();
    body.header.frameRate = rate / 256.0;
    body.header.frameCount = reader.U16();
    if (reader.Failed()) {
        error = "the movie header is truncated";
        return false;
    }
    body.header.tagsOffset = kPrefixSize + reader.Position();
    return true;
}

} // namespace

std::optional<Body> UnpackMovie(std::span<const uint8_t> file, MemoryBudget& budget, std::string& error) {
    if (file.size() < kPrefixSize) {
        error = "too short for a movie";
        return std::nullopt;
    }
    char kind = static_cast<char>(file[0]);
    if ((kind != 'F' && kind != 'C' && kind != 'Z') || file[1] != 'W' || file[2] != 'S') {
        error = "not a Flash movie (no FWS, CWS or ZWS signature)";
        return std::nullopt;
    }
    uint32_t length = file[4] | (file[5] << 8) | (file[6] << 16) | (uint32_t(file[7]) << 24);
    if (kind == 'F') length = static_cast<uint32_t>(std::min<size_t>(length, file.size()));
    if (length < kPrefixSize || !budget.Charge(length)) {
        error = "the movie's length is out of bounds";
        return std::nullopt;
    }
    Body body;
    body.header.version = file[3];
    std::vector<uint8_t> rest;
    if (kind == 'F')
        rest.assign(file.begin() + kPrefixSize, file.begin() + length);
    else if (kind == 'C')
        InflateInto(file.subspan(kPrefixSize), rest, length - kPrefixSize);
    else
        UnpackLzma(file, rest, length - kPrefixSize);
    body.bytes.assign(file.begin(), file.begin() + kPrefixSize);
    body.bytes.insert(body.bytes.end(), rest.begin(), rest.end());
    if (!ReadHeader(body, error)) return std::nullopt;
    return body;
}

std::vector<uint8_t> MovieStart(std::span<const uint8_t> file, size_t count) {
    if (file.size() <= kPrefixSize || count <= kPrefixSize)
        return {file.begin(), file.begin() + std::min(file.size(), count)};
    std::vector<uint8_t> rest;
    if (file[0] == 'C')
        InflateInto(file.subspan(kPrefixSize), rest, count - kPrefixSize);
    else if (file[0] == 'Z')
        UnpackLzma(file, rest, count - kPrefixSize);
    else
        rest.assign(file.begin() + kPrefixSize, file.begin() + std::min(file.size(), count));
    std::vector<uint8_t> start(file.begin(), file.begin() + kPrefixSize);
    start.insert(start.end(), rest.begin(), rest.end());
    return start;
}

std::optional<std::vector<uint8_t>> Inflate(std::span<const uint8_t> data, size_t maxBytes, MemoryBudget& budget) {
    // Deflate never makes more than 1032 bytes of one.
    constexpr uint64_t kMaxRatio = 1032;
    if (maxBytes > data.size() * kMaxRatio + 64 || !budget.Charge(maxBytes)) return std::nullopt;
    std::vector<uint8_t> out;
    InflateInto(data, out, maxBytes);
    if (out.size() < maxBytes) return std::nullopt;
    return out;
}

} // namespace showsaver::flash
