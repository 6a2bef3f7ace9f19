#include "platform/linux/tcp_listener.h"

#include "platform/linux/posix_error.h"
#include "platform/linux/socket_errors.h"

#include <QHostAddress>

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>

namespace pvx::platform {

namespace {

constexpr int kRetryMs = 1000;
// Connections taken per wake-up before other events get their turn.
constexpr int kAcceptsPerWake = 64;

QString systemText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

bool outOfResources(int errorNumber)
{
    return errorNumber == EMFILE || errorNumber == ENFILE || errorNumber == ENOBUFS || errorNumber == ENOMEM;
}

// The connection (not the listener) is at fault: it went away or the network
// under it did. The next one may be fine.
bool connectionGone(int errorNumber)
{
    switch (errorNumber) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

} // namespace

Result<std::unique_ptr<TcpListener>> TcpListener::listen(const QHostAddress &address, quint16 port, Events events)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return addressError(errno, address, port);
    // A port left in TIME_WAIT by the previous run may be taken again at once.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address.toIPv4Address());
    socklen_t length = sizeof local;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr *>(&local), length) != 0
        || ::listen(fd.get(), SOMAXCONN) != 0
        || ::getsockname(fd.get(), reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return addressError(errno, address, port);
    return std::unique_ptr<TcpListener>(new TcpListener(std::move(fd), ntohs(local.sin_port), std::move(events)));
}

std::unique_ptr<TcpListener> TcpListener::adopt(UniqueFd listening, Events events)
{
    return std::unique_ptr<TcpListener>(new TcpListener(std::move(listening), 0, std::move(events)));
}

TcpListener::TcpListener(UniqueFd fd, quint16 port, Events events)
    : m_fd(std::move(fd)), m_port(port), m_events(std::move(events)), m_readable(m_fd.get(), QSocketNotifier::Read)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_readable, &QSocketNotifier::activated, this, [this] { acceptWaiting(); });
    connect(&m_retry, &QTimer::timeout, this, [this] {
        m_readable.setEnabled(true);
        acceptWaiting();
    });
}

void TcpListener::stop()
{
    m_stopped = true;
    m_readable.setEnabled(false);
    m_retry.stop();
}

void TcpListener::acceptWaiting()
{
    for (int tries = 0; tries < kAcceptsPerWake && !m_stopped; ++tries) {
        const int connection = ::accept4(m_fd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (connection >= 0) {
            m_pauseReported = false;
            m_events.accepted(UniqueFd(connection));
            continue;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK)
            return;
        if (connectionGone(error))
            continue;
        if (outOfResources(error)) {
            pause(error);
            return;
        }
        stop();
        m_events.failed(error, posixError(error, QStringLiteral("Accepting clients failed")).detail);
        return;
    }
}

void TcpListener::pause(int errorNumber)
{
    // The clients stay in the kernel's queue; trying again at once would only
    // spin until a descriptor is free.
    m_readable.setEnabled(false);
    m_retry.start();
    if (m_pauseReported)
        return;
    m_pauseReported = true;
    const QString waitsFor = errorNumber == EMFILE || errorNumber == ENFILE ? QStringLiteral("a descriptor")
                                                                             : QStringLiteral("memory");
    m_events.paused(QStringLiteral("%1: new clients wait until %2 is free").arg(systemText(errorNumber), waitsFor));
}

} // namespace pvx::platform
