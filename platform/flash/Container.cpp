#include "platform/flash/Container.h"

#include "platform/flash/Reader.h"

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

// Inflates into out[filled...]; returns the bytes produced. Stops at the
// stream's end, at an error, or when `out` is full.
size_t InflateInto(std::span<const uint8_t> data, std::span<uint8_t> out) {
    ZStreamPtr z(new z_stream{});
    if (inflateInit(z.get()) != Z_OK) {
        delete z.release();
        return 0;
    }
    z->next_in = const_cast<Bytef*>(data.data());
    z->avail_in = static_cast<uInt>(std::min<size_t>(data.size(), UINT32_MAX));
    z->next_out = out.data();
    z->avail_out = static_cast<uInt>(std::min<size_t>(out.size(), UINT32_MAX));
    while (z->avail_out > 0) {
        int status = inflate(z.get(), Z_NO_FLUSH);
        if (status != Z_OK) break;
    }
    return out.size() - z->avail_out;
}

// The ZWS body: u32 compressed length, 5 property bytes, raw LZMA data.
// liblzma's .lzma reader takes it behind a made-up header whose size field
// says "unknown".
size_t UnpackLzma(std::span<const uint8_t> file, std::span<uint8_t> out) {
    if (file.size() < 17) return 0;
    std::vector<uint8_t> input(file.begin() + 12, file.begin() + 17);
    input.insert(input.end(), 8, 0xFF);
    input.insert(input.end(), file.begin() + 17, file.end());
    LzmaPtr stream(new lzma_stream(LZMA_STREAM_INIT));
    if (lzma_alone_decoder(stream.get(), uint64_t{256} << 20) != LZMA_OK) return 0;
    stream->next_in = input.data();
    stream->avail_in = input.size();
    stream->next_out = out.data();
    stream->avail_out = out.size();
    while (stream->avail_out > 0) {
        lzma_ret status = lzma_code(stream.get(), LZMA_FINISH);
        if (status != LZMA_OK) break;
    }
    return out.size() - stream->avail_out;
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
    body.bytes.assign(length, 0);
    std::memcpy(body.bytes.data(), file.data(), kPrefixSize);
    std::span<uint8_t> rest = std::span<uint8_t>(body.bytes).subspan(kPrefixSize);
    size_t produced = 0;
    if (kind == 'F')
        produced = length - kPrefixSize, std::memcpy(rest.data(), file.data() + kPrefixSize, produced);
    else if (kind == 'C')
        produced = InflateInto(file.subspan(kPrefixSize), rest);
    else
        produced = UnpackLzma(file, rest);
    body.bytes.resize(kPrefixSize + produced);
    if (!ReadHeader(body, error)) return std::nullopt;
    return body;
}

std::optional<std::vector<uint8_t>> Inflate(std::span<const uint8_t> data, size_t maxBytes, MemoryBudget& budget) {
    if (!budget.Charge(maxBytes)) return std::nullopt;
    std::vector<uint8_t> out(maxBytes);
    size_t produced = InflateInto(data, out);
    if (produced < maxBytes) return std::nullopt;
    return out;
}

} // namespace showsaver::flash
