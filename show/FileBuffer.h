#pragma once
// A file's bytes from an offset to its end, read into one buffer that what is
// read from them may share: the files embedded in a show point into it
// rather than being copied out. Unlike a mapping of the file, the bytes stay
// valid whatever later happens to the file on disk.
//
// The buffer is made whole at Open, but filled a chunk at a time as a reader
// asks for more (ByteSupply): what is read next, and unscrambled where it
// lies, is then still in the cache instead of having been pushed out by the
// rest of a large file. A large embedded file is left in the file instead
// (Leave): its part of the buffer is never filled and takes no memory.

#include "platform/sys/FileDescriptor.h"
#include "platform/sys/Result.h"
#include "show/ShowReader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace showsaver {

// Asks for the whole huge pages inside a large buffer: a show of many
// megabytes is then faulted in by a few of them rather than by thousands of
// small pages. Memory that is already in use keeps its pages.
void AdviseHugePages(uint8_t* bytes, size_t size);

class FileBuffer final : public ByteSupply {
public:
    // Bytes read by one system call at most, unless a reader asks for more.
    static constexpr size_t kChunk = size_t{4} << 20;

    // Opens `path` and makes the buffer for its bytes from `offset` on; the
    // error is a sentence that names the file. Only regular files are read (a
    // FIFO is refused, not waited on), and a file too large for the memory
    // there is is an error.
    Status<> Open(const std::filesystem::path& path, uint64_t offset);

    // The whole buffer; only the first Filled() bytes hold the file's.
    std::span<uint8_t> Bytes() const { return {m_bytes.get(), m_size}; }
    size_t Filled() const { return m_filled; }
    // Keeps the bytes alive; empty for an empty file.
    const std::shared_ptr<uint8_t[]>& Owner() const { return m_bytes; }

    // Reads on until at least `count` bytes (and, when there are, a chunk more
    // than before) are in the buffer.
    Result<size_t> Supply(size_t count) override;
    // The block's whole pages that were read go back to the system; those
    // never read never take memory.
    std::optional<StoredBlock> Leave(size_t from, size_t size) override;

private:
    std::filesystem::path m_path;
    std::shared_ptr<sys::FileDescriptor> m_file;   // kept open by the blocks left in it
    uint64_t m_offset = 0;
    std::shared_ptr<uint8_t[]> m_bytes;
    size_t m_size = 0;
    size_t m_filled = 0;
};

} // namespace showsaver
