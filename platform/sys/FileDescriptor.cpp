#include "platform/sys/FileDescriptor.h"

#include <unistd.h>

namespace showsaver::sys {

bool FileDescriptor::Close() noexcept
{
    if (m_fd < 0)
        return true;
    // On Linux the descriptor is released even when close reports EINTR, so never retry.
    int result = ::close(std::exchange(m_fd, -1));
    return result == 0;
}

}
