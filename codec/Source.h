#pragma once
// Where a picture's bytes come from: a block of memory (an embedded file) or
// a file on disk (the wallpaper). A file is read whole when it is opened, so
// every reader decodes from one contiguous block and a source never fails
// after it exists.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace showsaver::codec {

class Source {
public:
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // A view of `bytes`, which must outlive the source. Null, with error 5,
    // when the span has a size but no data.
    friend std::unique_ptr<Source> OpenMemorySource(std::span<const uint8_t> bytes);
    // Reads the regular file at `path`. Null with error 2 when it cannot be
    // opened or is not a regular file, 3 when reading fails, 1 when it is
    // larger than the codec accepts (1 GiB).
    friend std::unique_ptr<Source> OpenFileSource(const std::filesystem::path& path);

    size_t Size() const { return m_bytes.size(); }
    size_t Position() const { return m_position; }
    // Copies up to out.size() bytes from the current position and moves past
    // them; returns how many were copied (fewer at the end).
    size_t Read(std::span<uint8_t> out);
    // Moves to `offset`; false (position unchanged) when it lies past the end.
    bool Seek(size_t offset);
    // The bytes from the current position to the end; moves to the end.
    std::span<const uint8_t> TakeRemainder();
    // The whole source, independent of the position.
    std::span<const uint8_t> Bytes() const { return m_bytes; }
    // The path a file source was opened on; null for memory.
    const std::filesystem::path* FilePath() const { return m_path ? &*m_path : nullptr; }

private:
    Source() = default;

    std::vector<uint8_t> m_owned; // a file's contents; empty for memory
    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
    std::optional<std::filesystem::path> m_path;
};

std::unique_ptr<Source> OpenMemorySource(std::span<const uint8_t> bytes);
std::unique_ptr<Source> OpenFileSource(const std::filesystem::path& path);

// Back to the first byte. Always succeeds on an open source.
bool Rewind(Source& source);
// Releases the source now (its destructor does the same).
void CloseSource(std::unique_ptr<Source>& source);

} // namespace showsaver::codec
