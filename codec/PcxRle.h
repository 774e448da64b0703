#pragma once
// PCX's run-length expansion, one scan line at a time. A byte of the form
// 11nnnnnn (a run's head) repeats the next byte n times; any other byte
// stands for itself. Runs may cross plane and scan-line boundaries, so the
// stream is expanded as one and a run cut by a line's end goes on in the
// next line.
//
// Two kernels do the bulk of the stream: a portable one (SSE2 blocks where
// the build has them, bytes otherwise) and a wide one for processors with
// AVX-512 byte permutes and compression, chosen at run time. The wide one
// runs on past a line's end to the end of the blocks it has taken; the
// bytes it expands there are kept for the next lines, so a line's tail
// costs nothing extra.
// Both stop short of the data's end; the bytes there go through one checked
// loop, so both give the same lines and the same errors.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/CodecInternal.h"

namespace showsaver::codec::detail {

enum class RleKernel { Portable, Wide };

// The wide kernel when this processor runs it, the portable one otherwise.
RleKernel FastestRleKernel();

class RleLineReader {
public:
    // Bytes past a line's end that Next may overwrite with scratch: the
    // buffer behind each line must be this much longer than the line.
    static constexpr size_t kSlack = 512;
    // At most this many bytes are expanded past a line's end and kept for
    // the next.
    static constexpr size_t kAhead = 512;

    // `kernel` must be one this processor runs (FastestRleKernel or
    // Portable).
    RleLineReader(std::span<const uint8_t> data, bool compressed, RleKernel kernel = FastestRleKernel())
        : m_data(data), m_compressed(compressed), m_kernel(kernel) {}

    // Fills `line` with the next line's bytes, or fails when the data ends
    // first.
    Status Next(std::span<uint8_t> line);

private:
    std::span<const uint8_t> m_data;
    bool m_compressed;
    RleKernel m_kernel;
    size_t m_at = 0;
    // Bytes already expanded for the lines after the last one returned.
    std::array<uint8_t, kAhead> m_ahead{};
    size_t m_aheadAt = 0;
    size_t m_aheadSize = 0;
};

} // namespace showsaver::codec::detail
