#pragma once

#include <utility>

namespace showsaver::sys {

// Owns one POSIX file descriptor and closes it in its destructor. -1 means "none".
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
    ~FileDescriptor() { Close(); }

    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const noexcept { return m_fd; }
    bool IsValid() const noexcept { return m_fd >= 0; }

    // Closes now and reports whether close succeeded (it can fail with a late write error).
    bool Close() noexcept;

private:
    int m_fd = -1;
};

}
