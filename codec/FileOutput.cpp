#include "codec/FileOutput.h"

#include <sys/stat.h>

#include <system_error>

namespace showsaver::codec::detail {

FileOutput::FileOutput(const std::filesystem::path& path) : m_path(path), m_file(std::fopen(path.c_str(), "wbe")) {
    struct stat status {};
    m_regular = m_file && ::fstat(fileno(m_file), &status) == 0 && S_ISREG(status.st_mode);
}

FileOutput::~FileOutput() {
    if (!m_file) return; // never created, or already committed
    std::fclose(m_file);
    Discard();
}

bool FileOutput::Commit() {
    const bool written = std::ferror(m_file) == 0 && std::fflush(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (written && closed) return true;
    Discard();
    return false;
}

void FileOutput::Discard() {
    if (!m_regular) return;
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

} // namespace showsaver::codec::detail
