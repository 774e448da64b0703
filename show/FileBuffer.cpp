#include "show/MappedFile.h"

#include "platform/sys/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace showsaver {

MappedFile::~MappedFile() {
    if (m_mapping) ::munmap(m_mapping, m_mappingSize);
}

Status<> MappedFile::Open(const std::filesystem::path& path, uint64_t offset) {
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
    if (offset == size) {
        m_bytes = {};
        return {};
    }
    // Mappings start at a page boundary; the bytes before the offset are skipped.
    auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    uint64_t start = offset - offset % page;
    m_mappingSize = static_cast<size_t>(size - start);
    void* mapping = ::mmap(nullptr, m_mappingSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.Get(), static_cast<off_t>(start));
    if (mapping != MAP_FAILED) {
        m_mapping = mapping;
        ::madvise(mapping, m_mappingSize, MADV_SEQUENTIAL);
        m_bytes = {static_cast<const uint8_t*>(mapping) + (offset - start), static_cast<size_t>(size - offset)};
        return {};
    }
    m_mappingSize = 0;
    m_copy.resize(static_cast<size_t>(size - offset));
    size_t done = 0;
    while (done < m_copy.size()) {
        ssize_t n = ::pread(file.Get(), m_copy.data() + done, m_copy.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            return Error{"cannot read " + path.string() + ": " + (n < 0 ? std::strerror(errno) : "it ended early")};
        }
        done += static_cast<size_t>(n);
    }
    m_bytes = m_copy;
    return {};
}

} // namespace showsaver
