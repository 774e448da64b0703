#include "show/ByteSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver {

size_t MemorySource::Read(std::span<uint8_t> out) {
    size_t n = std::min(out.size(), m_bytes.size() - m_position);
    if (n > 0) std::memcpy(out.data(), m_bytes.data() + m_position, n);
    m_position += n;
    return n;
}

bool FileSource::Open(const std::filesystem::path& path, uint64_t offset, std::string& error) {
    m_fd = sys::FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!m_fd.IsValid()) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(m_fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path.string() + " is not a regular file";
        return false;
    }
    m_size = static_cast<uint64_t>(info.st_size);
    if (offset > m_size) {
        error = path.string() + " is shorter than " + std::to_string(offset) + " bytes";
        return false;
    }
    if (::lseek(m_fd.Get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = "cannot seek in " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    m_position = offset;
    return true;
}

size_t FileSource::Read(std::span<uint8_t> out) {
    size_t done = 0;
    while (done < out.size() && m_fd.IsValid()) {
        ssize_t n = ::read(m_fd.Get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    m_position += done;
    return done;
}

} // namespace showsaver
