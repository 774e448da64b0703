#include "show/FileBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver {

void AdviseHugePages(uint8_t* bytes, size_t size) {
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    if (size < 2 * kHugePage) return;
    const auto start = (reinterpret_cast<uintptr_t>(bytes) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(bytes) + size) & ~(kHugePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

Status<> FileBuffer::Open(const std::filesystem::path& path, uint64_t offset) {
    m_bytes.reset();
    m_size = m_filled = 0;
    m_path = path;
    m_offset = offset;
    // Without blocking: a FIFO is refused below rather than waited on.
    m_file = std::make_shared<sys::FileDescriptor>(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!m_file->IsValid()) {
        return Error{"cannot open " + path.string() + ": " + std::strerror(errno)};
    }
    struct stat info {};
    if (::fstat(m_file->Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
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
    AdviseHugePages(bytes.get(), length);
    m_bytes = std::move(bytes);
    m_size = length;
    return {};
}

Result<size_t> FileBuffer::Supply(size_t count) {
    count = std::min(count, m_size);
    const size_t target = std::max(count, std::min(m_size, m_filled + kChunk));
    while (m_filled < count) {
        ssize_t n = ::pread(m_file->Get(), m_bytes.get() + m_filled, target - m_filled,
                            static_cast<off_t>(m_offset + m_filled));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            return Error{"cannot read " + m_path.string() + ": " + (n < 0 ? std::strerror(errno) : "it ended early")};
        }
        m_filled += static_cast<size_t>(n);
    }
    return m_filled;
}

std::optional<StoredBlock> FileBuffer::Leave(size_t from, size_t size) {
    if (from > m_size || size > m_size - from) return std::nullopt;
    const size_t to = from + size;
    if (m_filled > from) {
        // Only whole pages inside the block: its neighbours' bytes stay.
        const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto first = (reinterpret_cast<uintptr_t>(m_bytes.get()) + from + page - 1) & ~(page - 1);
        const auto last = (reinterpret_cast<uintptr_t>(m_bytes.get()) + std::min(to, m_filled)) & ~(page - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    }
    m_filled = std::max(m_filled, to);
    return StoredBlock{m_file, m_offset + from};
}

} // namespace showsaver
