#pragma once
// A whole file carried inside a picture or media item: its display name and
// its bytes, which never change once made. A file loaded from a show points
// into the show's bytes in memory and keeps them, or, when it is large, is
// left in the show's file and read from there each time it is wanted
// (Contents), so that a show of many photographs or a long film does not
// sit in memory whole. Also the two file operations around it: reading a
// file from disk, and writing bytes to a new temporary file for a program
// that only takes file names.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "show/ShowReader.h"

namespace showsaver {

namespace ui { class MessageSink; }
namespace sys { class TempDirectory; }
class ShowWriter;

// An embedded file's bytes, valid while this lives.
struct FileContents {
    std::shared_ptr<const uint8_t> owner;
    std::span<const uint8_t> bytes;
};

class EmbeddedFile {
public:
    EmbeddedFile() = default;
    EmbeddedFile(EmbeddedFile&&) noexcept = default;
    EmbeddedFile& operator=(EmbeddedFile&&) noexcept = default;

    void Free();
    void CopyFrom(const EmbeddedFile& other);
    // Takes over `bytes` (size of them) under `name`.
    void Assign(std::string name, std::unique_ptr<uint8_t[]> bytes, uint32_t size);

    // The serialized form: size; when it is not 0, the name, the owning
    // kind's own fields (`ownerFields`) and the scrambled bytes.
    void Load(ShowReader& reader, const std::function<void(ShowReader&)>& ownerFields = {});
    void Save(ShowWriter& writer, const std::function<void(ShowWriter&)>& ownerFields = {}) const;

    // Reads the whole file; the name becomes its display name. On failure
    // the file is left empty and the message "<path>\nCannot be read data."
    // is shown.
    bool ReadFromFile(const std::filesystem::path& path, ui::MessageSink& messages);

    // Writes `bytes` to a new file "SsdXXXXXX.tmp" in the process's private
    // temporary directory and returns its path in `outPath`. On failure the
    // file is removed and "It cannot be made data file." is shown. The caller
    // deletes the file when done with it.
    static bool WriteTempFile(std::span<const uint8_t> bytes, std::filesystem::path& outPath,
                              ui::MessageSink& messages);
    // The same in a given directory.
    static bool WriteTempFile(std::span<const uint8_t> bytes, std::filesystem::path& outPath,
                              ui::MessageSink& messages, sys::TempDirectory& directory);

    const std::string& Name() const { return m_name; }   // Windows-1252
    void SetName(std::string cp1252) { m_name = std::move(cp1252); }
    uint32_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    // The bytes: those in memory, or read from the show's file now. Nothing
    // when a file left there cannot be read whole any more (the show's file
    // was cut short) or there is no memory for it; an empty file has none.
    std::optional<FileContents> Contents() const;
    // The first `count` bytes (fewer when the file is shorter), as Contents:
    // enough to tell a file's kind, without reading a large one whole.
    std::optional<FileContents> Head(uint32_t count) const;
    // A function that fills `out` with the bytes from `offset`, which must
    // lie inside the file (false otherwise), as Contents reads them: false
    // when a file left in the show's file cannot be read there any more. It
    // keeps what it reads from alive, for a player that reads a film as it
    // plays it, for as long as it plays.
    std::function<bool(uint64_t offset, std::span<uint8_t> out)> Reader() const;
    // Whether the bytes are in memory rather than left in the show's file.
    bool InMemory() const { return !m_stored; }

private:
    // What Reader's function does.
    bool ReadAt(uint64_t offset, std::span<uint8_t> out) const;

    std::string m_name;
    uint32_t m_size = 0;
    std::shared_ptr<const uint8_t> m_bytes;   // in memory, or
    std::optional<StoredBlock> m_stored;      // left in the show's file, scrambled
};

} // namespace showsaver
