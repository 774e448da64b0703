#include "show/FileBuffer.h"

#include "platform/sys/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver {

Status<> FileBuffer::Open(const std::filesystem::path& path, uint64_t offset) {
    m_bytes.reset();
    m_size = 0;
    // Without blocking: a FIFO is refused below rather than waited on.
    sys::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsValid()) {
        return Error{"cannot open " + path.string() + ": " + std::strerror(errno)};
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Error{path.string() + " is not a regular file"};
    }
    auto size = static_cast<uint64_t>(info.st_size);
    if (offset > size) {
        return Error{path.string() + " is shorter than " + std::to_string(offset) + " bytes"};
    }
    if (offset == size) return {};
    if (size - offset > SIZE_MAX) return Error{path.string() + " is too large to read"};
    const auto length = static_cast<size_t>(size - offset);
    std::shared_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[length]);
    if (!bytes) {
        return Error{"not enough memory to read the " + std::to_string(length) + " bytes of " + path.string()};
    }
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(file.Get(), bytes.get() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            return Error{"cannot read " + path.string() + ": " + (n < 0 ? std::strerror(errno) : "it ended early")};
        }
        done += static_cast<size_t>(n);
    }
    m_bytes = std::move(bytes);
    m_size = length;
    return {};
}

} // namespace showsaver
