#pragma once
// Where a show's bytes come from: a file (the packed screensaver or a bare
// show file) or a block of memory (tests, fuzzing, showpack build).

#include "platform/sys/FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace showsaver {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to out.size() bytes; returns how many (0 at the end).
    virtual size_t Read(std::span<uint8_t> out) = 0;
    // Bytes left to read. Lets a reader refuse a length field that announces
    // more than the source holds before it allocates anything.
    virtual uint64_t Remaining() const = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    size_t Read(std::span<uint8_t> out) override;
    uint64_t Remaining() const override { return m_bytes.size() - m_position; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
};

// Reads a file from a start offset to its end. Owns the descriptor.
class FileSource final : public ByteSource {
public:
    FileSource() = default;

    // Opens `path` for reading and positions it at `offset`. On failure returns
    // false and sets `error` to a sentence that names the file.
    bool Open(const std::filesystem::path& path, uint64_t offset, std::string& error);
    size_t Read(std::span<uint8_t> out) override;
    uint64_t Remaining() const override { return m_size - m_position; }
    uint64_t Size() const { return m_size; }

private:
    sys::FileDescriptor m_fd;
    uint64_t m_size = 0;
    uint64_t m_position = 0;
};

} // namespace showsaver
