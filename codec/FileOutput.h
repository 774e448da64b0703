#pragma once
// The file both writers write into: created (or truncated) on construction,
// and removed again unless Commit succeeds, so a failed write never leaves
// half a picture behind. Only a regular file is ever removed; a device or
// FIFO given as the path is left alone.

#include <cstdio>
#include <filesystem>

namespace showsaver::codec::detail {

class FileOutput {
public:
    explicit FileOutput(const std::filesystem::path& path);
    ~FileOutput();
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // Null when the file could not be created.
    std::FILE* Get() const { return m_file; }
    // Flushes and closes the file; false (and the file removed) when any
    // write failed. Call at most once.
    bool Commit();

private:
    void Discard();

    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    bool m_regular = false;
};

} // namespace showsaver::codec::detail
