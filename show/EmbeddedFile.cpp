#include "show/EmbeddedFile.h"

#include "platform/shell/Shell.h"
#include "platform/sys/FileDescriptor.h"
#include "platform/sys/TempFiles.h"
#include "platform/ui/MessageBox.h"
#include "resources/StringTable.h"
#include "show/ShowReader.h"
#include "show/ShowWriter.h"
#include "show/Windows1252.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver {

namespace {

using sys::FileDescriptor;

bool ReadAll(int fd, uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Exactly `size` bytes from `offset`; false when the file ends first.
bool PreadAll(int fd, uint8_t* out, size_t size, uint64_t offset) {
    for (size_t done = 0; done < size;) {
        ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The bytes of a file of `size` bytes from `offset`: in memory at `bytes`,
// or left scrambled in the show's file at `stored`.
bool ReadFilePart(const std::shared_ptr<const uint8_t>& bytes, const std::optional<StoredBlock>& stored,
                  uint32_t size, uint64_t offset, std::span<uint8_t> out) {
    if (offset > size || out.size() > size - offset) return false;
    if (out.empty()) return true;
    if (!stored) {
        std::memcpy(out.data(), bytes.get() + offset, out.size());
        return true;
    }
    if (!PreadAll(stored->file->Get(), out.data(), out.size(), stored->offset + offset)) return false;
    // The whole file's length sets the shift of every part of it.
    Scramble(out, ScrambleDirection::Reading, size);
    return true;
}

} // namespace

void EmbeddedFile::Free() {
    m_bytes.reset();
    m_stored.reset();
    m_size = 0;
    m_name.clear();
}

void EmbeddedFile::CopyFrom(const EmbeddedFile& other) {
    if (this == &other) return;
    Free();
    if (other.m_stored) {
        m_stored = other.m_stored;   // the same bytes of the same open file
        m_size = other.m_size;
    } else if (other.m_size > 0) {
        auto bytes = std::make_unique_for_overwrite<uint8_t[]>(other.m_size);
        std::memcpy(bytes.get(), other.m_bytes.get(), other.m_size);
        m_bytes = std::shared_ptr<const uint8_t>(bytes.release(), std::default_delete<const uint8_t[]>());
        m_size = other.m_size;
    }
    m_name = other.m_name;
}

void EmbeddedFile::Assign(std::string name, std::unique_ptr<uint8_t[]> bytes, uint32_t size) {
    m_name = std::move(name);
    m_bytes = std::shared_ptr<const uint8_t>(bytes.release(), std::default_delete<const uint8_t[]>());
    m_size = m_bytes ? size : 0;
}

void EmbeddedFile::Load(ShowReader& reader, const std::function<void(ShowReader&)>& ownerFields) {
    Free();
    uint32_t size = reader.ReadUInt32();
    if (size == 0 || reader.Failed()) return;
    reader.ReadScrambledText(m_name);
    if (ownerFields) ownerFields(reader);
    if (auto stored = reader.LeaveScrambled(size)) {
        m_stored = std::move(stored);
        m_size = size;
        return;
    }
    auto bytes = reader.ReadScrambledShared(size);
    if (!bytes) return;
    m_bytes = std::move(bytes);
    m_size = size;
}

void EmbeddedFile::Save(ShowWriter& writer, const std::function<void(ShowWriter&)>& ownerFields) const {
    writer.WriteUInt32(m_size);
    if (m_size == 0) return;
    writer.WriteScrambledText(m_name);
    if (ownerFields) ownerFields(writer);
    auto contents = Contents();
    if (!contents) return writer.Fail(m_name + " can no longer be read from its show's file");
    writer.WriteScrambledBytes(contents->bytes);
}

std::optional<FileContents> EmbeddedFile::Contents() const { return Head(m_size); }

std::optional<FileContents> EmbeddedFile::Head(uint32_t count) const {
    count = std::min(count, m_size);
    if (!m_stored) return FileContents{m_bytes, {m_bytes.get(), count}};
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[count]);
    if (!bytes || !ReadAt(0, {bytes.get(), count})) return std::nullopt;
    std::span<const uint8_t> view(bytes.get(), count);
    return FileContents{std::shared_ptr<const uint8_t>(bytes.release(), std::default_delete<const uint8_t[]>()), view};
}

bool EmbeddedFile::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
    return ReadFilePart(m_bytes, m_stored, m_size, offset, out);
}

std::function<bool(uint64_t, std::span<uint8_t>)> EmbeddedFile::Reader() const {
    return [bytes = m_bytes, stored = m_stored, size = m_size](uint64_t offset, std::span<uint8_t> out) {
        return ReadFilePart(bytes, stored, size, offset, out);
    };
}

bool EmbeddedFile::ReadFromFile(const std::filesystem::path& path, ui::MessageSink& messages) {
    Free();
    auto fail = [&] {
        Free();
        messages.Show(path.string() + std::string(strings::Load(strings::kCannotReadData)));
        return false;
    };
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return fail();
    // The size field of a show is 32 bits wide.
    if (static_cast<uint64_t>(info.st_size) > UINT32_MAX) return fail();
    auto size = static_cast<uint32_t>(info.st_size);
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(size);
    if (!ReadAll(file.Get(), bytes.get(), size)) return fail();
    m_bytes = std::shared_ptr<const uint8_t>(bytes.release(), std::default_delete<const uint8_t[]>());
    m_size = size;
    m_name = Utf8ToCp1252(shell::DisplayName(path));
    return true;
}

bool EmbeddedFile::WriteTempFile(std::span<const uint8_t> bytes, std::filesystem::path& outPath,
                                 ui::MessageSink& messages) {
    return WriteTempFile(bytes, outPath, messages, sys::TempDirectory::ForProcess());
}

bool EmbeddedFile::WriteTempFile(std::span<const uint8_t> bytes, std::filesystem::path& outPath,
                                 ui::MessageSink& messages, sys::TempDirectory& directory) {
    auto fail = [&](const std::filesystem::path& made) {
        if (!made.empty()) ::unlink(made.c_str());
        messages.Show(strings::Load(strings::kCannotMakeDataFile));
        return false;
    };
    auto made = directory.CreateUniqueFile("Ssd", ".tmp");
    if (!made) return fail({});
    FileDescriptor file(::open(made->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    if (file.Get() < 0 || !WriteAll(file.Get(), bytes.data(), bytes.size()) || !file.Close()) return fail(*made);
    outPath = *made;
    return true;
}

} // namespace showsaver
