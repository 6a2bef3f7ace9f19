#include "platform/linux/tcp_listener.h"

#include "platform/linux/ip_address.h"
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
    int error = 0;
    if (address.protocol() != QAbstractSocket::AnyIPProtocol)
        return listenOn(address, port, std::move(events), error);
    // Every address: both families on one socket, IPv4 alone where the
    // machine has no IPv6 (the module absent or the family turned off).
    auto both = listenOn(QHostAddress(QHostAddress::AnyIPv6), port, events, error);
    if (both || (error != EAFNOSUPPORT && error != EADDRNOTAVAIL && error != EPROTONOSUPPORT))
        return both;
    return listenOn(QHostAddress(QHostAddress::AnyIPv4), port, std::move(events), error);
}

Result<std::unique_ptr<TcpListener>> TcpListener::listenOn(const QHostAddress &address, quint16 port, Events events,
                                                                 int &errorNumber)
{
    union {
        sockaddr any;
        sockaddr_in v4;
        sockaddr_in6 v6;
    } local{};
    socklen_t length = 0;
    const bool isIPv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (isIPv6) {
        local.v6.sin6_family = AF_INET6;
        local.v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&local.v6.sin6_addr, bytes.c, sizeof local.v6.sin6_addr);
        local.v6.sin6_scope_id = address.scopeId().isEmpty() ? 0 : zoneIndex(address.scopeId());
        length = sizeof local.v6;
    } else {
        local.v4.sin_family = AF_INET;
        local.v4.sin_port = htons(port);
        local.v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof local.v4;
    }
    UniqueFd fd(::socket(local.any.sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        errorNumber = errno;
        return addressError(errorNumber, address, port);
    }
    // A port left in TIME_WAIT by the previous run may be taken again at once.
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (isIPv6) {
        // "::" takes IPv4 clients too, whatever the system's default says;
        // a particular IPv6 address has no IPv4 side anyway.
        const int v6Only = address.isEqual(QHostAddress(QHostAddress::AnyIPv6), QHostAddress::StrictConversion) ? 0 : 1;
        ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
    }
    if (::bind(fd.get(), &local.any, length) != 0
        || ::listen(fd.get(), SOMAXCONN) != 0
        || ::getsockname(fd.get(), &local.any, &length) != 0) {
        errorNumber = errno;
        return addressError(errorNumber, address, port);
    }
    const quint16 bound = isIPv6 ? local.v6.sin6_port : local.v4.sin_port;
    return std::unique_ptr<TcpListener>(new TcpListener(std::move(fd), ntohs(bound), std::move(events)));
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
