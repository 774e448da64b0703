#pragma once
// A file's bytes from an offset to its end, mapped into memory read-only.
// The show reader works on the mapping directly: no read calls, no buffer
// copies, and nothing is allocated for the file's size.

#include "platform/sys/Result.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace showsaver {

class MappedFile {
public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    // Maps `path` from `offset` on; the error is a sentence that names the
    // file. Files that cannot be mapped (pipes, some special files) are read
    // into memory instead.
    Status<> Open(const std::filesystem::path& path, uint64_t offset);

    std::span<const uint8_t> Bytes() const { return m_bytes; }

private:
    void* m_mapping = nullptr;
    size_t m_mappingSize = 0;
    std::vector<uint8_t> m_copy;
    std::span<const uint8_t> m_bytes;
};

} // namespace showsaver
