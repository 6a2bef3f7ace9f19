#include "platform/linux/connection_duplicate.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace pvx::platform {

ConnectionDuplicate::ConnectionDuplicate(int descriptor)
    : m_fd(descriptor >= 0 ? ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0) : -1)
{
}

bool ConnectionDuplicate::peerReset()
{
    if (!m_fd.valid())
        return false;
    int pending = 0;
    socklen_t length = sizeof pending;
    if (::getsockopt(m_fd.get(), SOL_SOCKET, SO_ERROR, &pending, &length) == 0 && pending == ECONNRESET)
        return true;
    // Qt's failed read or write has taken the error already; the state
    // still tells: a FIN leaves the connection in CLOSE_WAIT, a reset closes it.
    tcp_info info{};
    length = sizeof info;
    return ::getsockopt(m_fd.get(), IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_CLOSE;
}

void ConnectionDuplicate::keepWhatIsHeld()
{
    m_left = kernelHolds();
}

qint64 ConnectionDuplicate::kernelHolds() const
{
    int waiting = 0;
    if (!m_fd.valid() || ::ioctl(m_fd.get(), FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

qint64 ConnectionDuplicate::bytesAvailable() const
{
    return m_left > 0 ? std::min(m_left, kernelHolds()) : 0;
}

QByteArray ConnectionDuplicate::read(qint64 maxBytes)
{
    QByteArray bytes;
    maxBytes = std::min(maxBytes, m_left);
    if (!m_fd.valid() || maxBytes <= 0)
        return bytes;
    bytes.resize(maxBytes);
    qint64 filled = 0;
    while (filled < maxBytes) {
        const ssize_t got = ::recv(m_fd.get(), bytes.data() + filled, static_cast<size_t>(maxBytes - filled),
                                   MSG_DONTWAIT);
        if (got > 0)
            filled += got;
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    bytes.truncate(filled);
    // What an error cut short is not coming any more.
    m_left = filled < maxBytes ? 0 : m_left - filled;
    return bytes;
}

} // namespace pvx::platform
