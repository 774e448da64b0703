#pragma once
// A file's bytes from an offset to its end, read into one buffer that what is
// read from them may share: the files embedded in a show point into it
// rather than being copied out. Unlike a mapping of the file, the bytes stay
// valid whatever later happens to the file on disk.

#include "platform/sys/Result.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace showsaver {

class FileBuffer {
public:
    // Reads `path` from `offset` on; the error is a sentence that names the
    // file. Only regular files are read (a FIFO is refused, not waited on),
    // and a file too large for the memory there is is an error.
    Status<> Open(const std::filesystem::path& path, uint64_t offset);

    std::span<uint8_t> Bytes() const { return {m_bytes.get(), m_size}; }
    // Keeps the bytes alive; empty for an empty file.
    const std::shared_ptr<uint8_t[]>& Owner() const { return m_bytes; }

private:
    std::shared_ptr<uint8_t[]> m_bytes;
    size_t m_size = 0;
};

} // namespace showsaver
