#include "platform/linux/descriptor_read.h"

#include <cerrno>

#include <unistd.h>

namespace pvx::platform {

qsizetype readUpTo(int descriptor, char *buffer, qsizetype size)
{
    qsizetype filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(descriptor, buffer + filled, static_cast<std::size_t>(size - filled));
        if (got > 0)
            filled += got;
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return filled;
}

} // namespace pvx::platform
