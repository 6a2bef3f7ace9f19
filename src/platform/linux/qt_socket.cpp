#include "platform/linux/qt_socket.h"

#include "platform/linux/ip_address.h"
#include "platform/linux/openssl_context.h"
#include "platform/linux/pending_connections.h"
#include "platform/linux/qt_timer.h"
#include "platform/linux/socket_errors.h"
#include "platform/linux/tcp_connection.h"
#include "platform/linux/tcp_listener.h"
#include "platform/linux/tls_connection.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace pvx::platform {

namespace {

constexpr int kMaxPort = 65535;

// Closes a connection request that nobody accepted, once the event that
// offered it has been handled or dropped.
class RequestGuard {
public:
    RequestGuard(std::shared_ptr<PendingConnections> pending, int id)
        : m_pending(std::move(pending)), m_id(id) {}
    ~RequestGuard() { m_pending->reject(m_id); }
    RequestGuard(const RequestGuard &) = delete;
    RequestGuard &operator=(const RequestGuard &) = delete;
    int id() const { return m_id; }

private:
    std::shared_ptr<PendingConnections> m_pending;
    int m_id;
};

Result<quint16> portNumber(int port, bool allowZero)
{
    if (port < (allowZero ? 0 : 1) || port > kMaxPort)
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("Not a valid port number: %1").arg(port));
    return static_cast<quint16>(port);
}

QString errnoText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

void setOption(int descriptor, int level, int option)
{
    const int on = 1;
    (void)::setsockopt(descriptor, level, option, &on, sizeof on);
}

// The address (as a user would type it) and the port of one end of a
// connection, of either family.
std::pair<QString, int> endpoint(int descriptor, bool peer)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto *any = reinterpret_cast<sockaddr *>(&address);
    const int got = peer ? ::getpeername(descriptor, any, &length) : ::getsockname(descriptor, any, &length);
    if (got != 0 || (address.ss_family != AF_INET && address.ss_family != AF_INET6))
        return {QString(), 0};
    const QHostAddress host(any);
    quint16 port = 0;
    if (address.ss_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address, sizeof v6);
        port = ntohs(v6.sin6_port);
    } else {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        port = ntohs(v4.sin_port);
    }
    return {addressText(host), port};
}

} // namespace

QtSocket::QtSocket(std::shared_ptr<PendingConnections> pending, std::function<void()> connectionEnded)
    : m_pending(std::move(pending)), m_connectionEnded(std::move(connectionEnded)),
      m_destination(m_resolver, [this](const QString &description) { raiseWarning(description); }),
      m_attempts(m_resolver, std::make_unique<QtTimer>(),
                 {
                     .attempt = [this](const QHostAddress &address) { attemptConnection(address); },
                     .failed = [this](int number, const QString &description) {
                         dropAttempt();
                         raiseError(number, description);
                     },
                 })
{
}

QtSocket::~QtSocket()
{
    releaseBackends();
}

void QtSocket::setProtocol(SocketProtocol protocol)
{
    m_protocol = protocol;
}

void QtSocket::setLocalPort(int port)
{
    m_localPort = port;
}

void QtSocket::setRemoteHost(const QString &host)
{
    m_remoteHost = host;
    // A name for datagrams is looked up now, so that its address is known
    // by the time the first one goes.
    if (m_protocol == SocketProtocol::Udp && !host.trimmed().isEmpty())
        (void)m_destination.address(host.trimmed());
}

void QtSocket::setRemotePort(int port)
{
    m_remotePort = port;
}

void QtSocket::setEvents(Events events)
{
    m_events = std::move(events);
}

Result<void> QtSocket::bind(int port, const QString &address)
{
    EventGate::CallScope call(m_gate);
    if (m_state != kSocketClosed)
        return stateError(m_state);
    const auto number = portNumber(port, true);
    if (!number)
        return number.error();
    const auto host = parseLocalAddress(address);
    if (!host)
        return host.error();
    if (m_protocol == SocketProtocol::Udp)
        return bindUdp(*host, *number);
    m_bindAddress = *host;
    m_localPort = *number;
    m_state = kSocketOpen;
    return {};
}

Result<void> QtSocket::listen()
{
    EventGate::CallScope call(m_gate);
    if (m_protocol != SocketProtocol::Tcp)
        return makeError(ErrorCode::Unsupported, QStringLiteral("A UDP socket cannot listen"));
    // A bound UDP socket whose protocol was switched afterwards stays UDP.
    if ((m_state != kSocketClosed && m_state != kSocketOpen) || m_udp)
        return stateError(m_state);
    const auto port = portNumber(m_localPort, true);
    if (!port)
        return port.error();
    const QHostAddress address = m_state == kSocketOpen ? m_bindAddress : QHostAddress(QHostAddress::Any);

    auto listener = TcpListener::listen(address, *port,
                                        {
                                            .accepted = [this](UniqueFd fd) { onAccepted(std::move(fd)); },
                                            .paused = [this](const QString &text) { raiseWarning(text); },
                                            .failed = [this](int errorNumber, const QString &text) {
                                                onListenerFailed(errorNumber, text);
                                            },
                                        });
    if (!listener)
        return listener.error();
    m_listener = listener->release();
    m_localPort = m_listener->port();
    m_state = kSocketListening;
    return {};
}

Result<void> QtSocket::connect()
{
    EventGate::CallScope call(m_gate);
    if (m_state != kSocketClosed)
        return stateError(m_state);
    if (m_protocol != SocketProtocol::Tcp)
        return makeError(ErrorCode::Unsupported, QStringLiteral("A UDP socket does not connect"));
    if (m_remoteHost.trimmed().isEmpty())
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("No remote host is set"));
    const auto port = portNumber(m_remotePort, false);
    if (!port)
        return port.error();

    m_remoteHostIP.clear();
    m_connectPort = *port;
    m_state = kSocketConnecting;
    m_attempts.start(m_remoteHost);
    return {};
}

void QtSocket::attemptConnection(const QHostAddress &address)
{
    dropAttempt();
    m_tcp = new QTcpSocket;
    QTcpSocket *socket = m_tcp;
    QObject::connect(socket, &QTcpSocket::connected, socket, [this] { onConnected(); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [this, socket](QAbstractSocket::SocketError error) { onSocketError(socket, error); });
    // May fail at once (and emit synchronously); the gate queues the error
    // that ends the last attempt.
    socket->connectToHost(address, m_connectPort);
}

void QtSocket::dropAttempt()
{
    if (!m_tcp)
        return;
    // The attempt may be the one emitting: it goes from the event loop.
    m_tcp->disconnect();
    m_tcp->abort();
    m_tcp->deleteLater();
    m_tcp = nullptr;
}

Result<void> QtSocket::accept(int requestId)
{
    EventGate::CallScope call(m_gate);
    if (m_state != kSocketClosed)
        return stateError(m_state);
    UniqueFd descriptor = m_pending->take(requestId);
    if (!descriptor.valid())
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("No connection request %1 is waiting").arg(requestId));
    m_protocol = SocketProtocol::Tcp;
    setOption(descriptor.get(), SOL_SOCKET, SO_KEEPALIVE);
    adopt(std::move(descriptor));
    return {};
}

Result<void> QtSocket::bindUdp(const QHostAddress &address, quint16 port)
{
    auto *socket = new QUdpSocket;
    // Qt keeps "::" to IPv6 alone; here it means both families, as for TCP.
    const QHostAddress local =
        address.isEqual(QHostAddress(QHostAddress::AnyIPv6), QHostAddress::StrictConversion) ? QHostAddress(QHostAddress::Any)
                                                                                            : address;
    // Without ShareAddress or ReuseAddressHint a port in use is refused, as
    // it would be for TCP.
    if (!socket->bind(local, port, QAbstractSocket::DontShareAddress)) {
        const Error error = bindError(socket->error(), socket->errorString(), address, port);
        m_gate.dispose(socket);
        return error;
    }
    m_udp = socket;
    QObject::connect(socket, &QUdpSocket::errorOccurred, socket,
                     [this, socket](QAbstractSocket::SocketError error) { onSocketError(socket, error); });
    QObject::connect(socket, &QUdpSocket::readyRead, socket, [this] { onReadyRead(); });
    QObject::connect(socket, &QUdpSocket::bytesWritten, socket, [this](qint64 bytes) { onBytesWritten(bytes); });
    m_localPort = socket->localPort();
    m_state = kSocketOpen;
    return {};
}

void QtSocket::close()
{
    EventGate::CallScope call(m_gate);
    releaseBackends();
    m_gate.dropQueued();
    m_state = kSocketClosed;
}

void QtSocket::releaseBackends()
{
    if (m_listener) {
        m_listener->stop();
        m_gate.dispose(m_listener);
        m_listener = nullptr;
    }
    if (m_stream) {
        m_stream->close();
        m_gate.dispose(m_stream);
        m_stream = nullptr;
        if (m_connectionEnded)
            m_connectionEnded();
    }
    m_attempts.stop();
    if (m_tcp) {
        m_tcp->disconnect();
        m_tcp->abort();
        m_gate.dispose(m_tcp);
        m_tcp = nullptr;
    }
    if (m_udp) {
        m_udp->disconnect();
        m_udp->abort();
        m_gate.dispose(m_udp);
        m_udp = nullptr;
    }
}

Result<void> QtSocket::sendData(const QByteArray &bytes)
{
    EventGate::CallScope call(m_gate);
    if (m_tcp || m_stream) {
        if (m_state != kSocketConnected || !m_stream)
            return stateError(m_state);
        m_stream->send(bytes);
        return {};
    }
    if (m_protocol != SocketProtocol::Udp || (m_state != kSocketOpen && m_state != kSocketClosed))
        return stateError(m_state);
    const auto destination = udpDestination();
    if (!destination)
        return destination.error();
    if (!m_udp) {
        const auto bound = bindUdp(QHostAddress(QHostAddress::Any), 0);
        if (!bound)
            return bound;
    }
    // A failed send is this call's result, not an error event as well.
    m_sendingDatagram = true;
    const qint64 sent = m_udp->writeDatagram(bytes, *destination, static_cast<quint16>(m_remotePort));
    m_sendingDatagram = false;
    if (sent < 0)
        return makeError(socketErrorCode(m_udp->error()),
                         QStringLiteral("%1 (%2:%3)").arg(m_udp->errorString(), m_remoteHost).arg(m_remotePort));
    return {};
}

Result<QHostAddress> QtSocket::udpDestination()
{
    const auto port = portNumber(m_remotePort, false);
    if (!port)
        return port.error();
    const QString host = m_remoteHost.trimmed();
    if (host.isEmpty())
        return makeError(ErrorCode::InvalidArgument, QStringLiteral("No remote host is set"));
    if (const auto address = m_destination.address(host))
        return *address;
    return makeError(ErrorCode::HostNotFound, QStringLiteral("No address is known for %1 yet").arg(host));
}

QByteArray QtSocket::getData(qint64 maxBytes)
{
    EventGate::CallScope call(m_gate);
    if (m_stream) {
        QByteArray bytes(std::max<qint64>(maxBytes, 0), Qt::Uninitialized);
        bytes.truncate(m_stream->read(bytes.data(), maxBytes));
        return bytes;
    }
    if (!m_udp || !m_udp->hasPendingDatagrams())
        return {};
    const QNetworkDatagram datagram = m_udp->receiveDatagram();
    m_remoteHostIP = addressText(datagram.senderAddress());
    m_senderPort = std::max(datagram.senderPort(), 0);
    return datagram.data();
}

qint64 QtSocket::readInto(char *buffer, qint64 maxBytes)
{
    EventGate::CallScope call(m_gate);
    return m_stream ? m_stream->read(buffer, maxBytes) : 0;
}

qint64 QtSocket::bytesAvailable() const
{
    if (m_stream)
        return m_stream->bytesAvailable();
    if (m_udp)
        return std::max<qint64>(m_udp->pendingDatagramSize(), 0);
    return 0;
}

qint64 QtSocket::bytesToWrite() const
{
    return m_stream ? m_stream->queued() : 0;
}

void QtSocket::holdSending(bool held)
{
    if (m_stream)
        m_stream->holdSending(held);
}

void QtSocket::onAccepted(UniqueFd connection)
{
    auto request = std::make_shared<RequestGuard>(m_pending, m_pending->add(std::move(connection)));
    m_gate.raise([this, request] {
        if (auto handler = m_events.connectionRequest)
            handler(request->id());
    });
}

void QtSocket::onListenerFailed(int errorNumber, const QString &description)
{
    // Called from inside the listener: it goes once it has returned.
    m_listener->disconnect();
    m_listener->deleteLater();
    m_listener = nullptr;
    raiseError(socketErrorNumberForErrno(errorNumber), description);
}

void QtSocket::raiseWarning(const QString &description)
{
    m_gate.raise([this, description] {
        if (auto handler = m_events.warning)
            handler(description);
    });
}

void QtSocket::onConnected()
{
    // From here the descriptor is read and written directly. Qt's socket has
    // read nothing yet; it lets go of its own descriptor and goes once this
    // signal has returned.
    m_attempts.stop();
    UniqueFd descriptor(::fcntl(static_cast<int>(m_tcp->socketDescriptor()), F_DUPFD_CLOEXEC, 0));
    const int duplicateError = errno;
    dropAttempt();
    if (!descriptor.valid()) {
        raiseError(socketErrorNumberForErrno(duplicateError), errnoText(duplicateError));
        return;
    }
    adopt(std::move(descriptor));
    if (!m_tls)
        onTlsEstablished();
}

void QtSocket::adopt(UniqueFd connection)
{
    setOption(connection.get(), IPPROTO_TCP, TCP_NODELAY);
    const auto [peerAddress, peerPort] = endpoint(connection.get(), true);
    m_remoteHostIP = peerAddress;
    if (m_state == kSocketClosed)
        m_remotePort = peerPort;
    m_localPort = endpoint(connection.get(), false).second;
    ByteStream::Events events{
        .readable = [this] { onStreamReadable(); },
        .sent = [this](qint64 bytes) { onBytesWritten(bytes); },
        .sendFailed = [this](int error) { onStreamFailed(error); },
    };
    if (!m_tls) {
        m_stream = new TcpConnection(std::move(connection), std::move(events));
        m_state = kSocketConnected;
        return;
    }
    m_state = kSocketConnecting;
    // A client checks the name it was asked to connect to.
    auto ssl = m_tls->newConnection(m_remoteHost);
    if (!ssl) {
        raiseError(kErrorTlsHandshake, ssl.error().detail);
        return;
    }
    m_stream = new TlsConnection(std::move(connection), std::move(ssl.value()), m_tls->role(), std::move(events),
                                 {
                                     .finished = [this] { onTlsEstablished(); },
                                     .failed = [this](const QString &reason) { raiseError(kErrorTlsHandshake, reason); },
                                 });
}

void QtSocket::onTlsEstablished()
{
    m_state = kSocketConnected;
    m_gate.raise([this] {
        if (auto handler = m_events.connected)
            handler();
    });
}

void QtSocket::setTls(std::shared_ptr<const TlsSetup> setup)
{
    m_tls = std::static_pointer_cast<const OpenSslContext>(std::move(setup));
}

void QtSocket::onStreamReadable()
{
    m_gate.raise([this] {
        if (!m_stream || m_state != kSocketConnected)
            return;
        if (const qint64 waiting = m_stream->bytesAvailable(); waiting > 0) {
            if (auto handler = m_events.dataArrival)
                handler(waiting);
            return;
        }
        int error = 0;
        switch (m_stream->ending(error)) {
        case ByteStream::Ending::Open:
            m_stream->resumeReading();
            break;
        case ByteStream::Ending::Closed:
            endConnection(0);
            break;
        case ByteStream::Ending::Failed:
            endConnection(error);
            break;
        }
    });
}

void QtSocket::onStreamFailed(int error)
{
    if (m_state != kSocketConnected)
        return;
    // A send into a connection the peer has left: a reset, or its close.
    if (error == EPIPE || error == ECONNRESET)
        error = m_stream->peerReset() ? ECONNRESET : 0;
    endConnection(error);
}

void QtSocket::endConnection(int errorNumber)
{
    // What the peer sent before its end stays readable until close().
    m_stream->stopReading();
    if (errorNumber == 0) {
        m_state = kSocketClosing;
        m_gate.raise([this] {
            if (auto handler = m_events.closed)
                handler();
        });
    } else if (errorNumber == ECONNRESET) {
        raiseError(kErrorConnectionReset, QStringLiteral("Connection reset by peer"));
    } else {
        raiseError(socketErrorNumberForErrno(errorNumber), errnoText(errorNumber));
    }
}

void QtSocket::onSocketError(QAbstractSocket *socket, QAbstractSocket::SocketError error)
{
    if (m_sendingDatagram)
        return;
    const QString description = socket->errorString();
    const int number = socketErrorNumber(error, description);
    // A connection attempt that fails moves on to the host's next address.
    if (socket == m_tcp && !isUsageError(number)) {
        m_attempts.attemptFailed(number, description);
        return;
    }
    raiseError(number, description);
}

void QtSocket::raiseError(int number, const QString &description)
{
    if (!isUsageError(number))
        m_state = kSocketError;
    m_gate.raise([this, number, description] {
        if (auto handler = m_events.error)
            handler(number, description);
    });
}

void QtSocket::onReadyRead()
{
    // The count is taken at delivery: a queued event may find data read.
    m_gate.raise([this] {
        if (!m_udp || !m_udp->hasPendingDatagrams())
            return;
        if (auto handler = m_events.dataArrival)
            handler(bytesAvailable());
    });
}

void QtSocket::onBytesWritten(qint64 bytes)
{
    m_gate.raise([this, bytes] {
        if (auto handler = m_events.sendProgress)
            handler(bytes);
    });
}

} // namespace pvx::platform
