#include "codec/Source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "codec/CodecInternal.h"

namespace showsaver::codec {
namespace {

using detail::CodecError;
using detail::RecordError;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Reads exactly out.size() bytes; false on an error or an early end (the
// file shrank while we read it).
bool ReadFully(int fd, std::span<uint8_t> out) {
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

size_t Source::Read(std::span<uint8_t> out) {
    const size_t count = std::min(out.size(), m_bytes.size() - m_position);
    if (count != 0) std::memcpy(out.data(), m_bytes.data() + m_position, count);
    m_position += count;
    return count;
}

bool Source::Seek(size_t offset) {
    if (offset > m_bytes.size()) return false;
    m_position = offset;
    return true;
}

std::span<const uint8_t> Source::TakeRemainder() {
    const auto rest = m_bytes.subspan(m_position);
    m_position = m_bytes.size();
    return rest;
}

std::unique_ptr<Source> OpenMemorySource(std::span<const uint8_t> bytes) {
    if (bytes.data() == nullptr && !bytes.empty()) {
        RecordError({ErrorCode::BadParameter, "a memory source needs its bytes"});
        return nullptr;
    }
    std::unique_ptr<Source> source(new Source);
    source->m_bytes = bytes;
    return source;
}

std::unique_ptr<Source> OpenFileSource(const std::filesystem::path& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    // Only regular files: a FIFO or a device could block or never end.
    if (fd.Get() < 0 || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        RecordError({ErrorCode::FileOpen, "the file cannot be opened as a regular file"});
        return nullptr;
    }
    if (static_cast<uint64_t>(status.st_size) > kMaxFileBytes) {
        RecordError({ErrorCode::OutOfMemory, "the file is larger than the codec reads"});
        return nullptr;
    }
    try {
        std::unique_ptr<Source> source(new Source);
        source->m_owned.resize(static_cast<size_t>(status.st_size));
        if (!ReadFully(fd.Get(), source->m_owned)) {
            RecordError({ErrorCode::FileRead, "the file could not be read whole"});
            return nullptr;
        }
        source->m_bytes = source->m_owned;
        source->m_path = path;
        return source;
    } catch (const std::bad_alloc&) {
        RecordError({ErrorCode::OutOfMemory, "no memory for the file's contents"});
        return nullptr;
    }
}

bool Rewind(Source& source) { return source.Seek(0); }

void CloseSource(std::unique_ptr<Source>& source) { source.reset(); }

} // namespace showsaver::codec
