#pragma once

#include "platform/linux/connect_attempts.h"
#include "platform/linux/event_gate.h"
#include "platform/linux/qt_host_resolver.h"
#include "platform/linux/remote_address_lookup.h"
#include "platform/linux/unique_fd.h"
#include "platform/socket.h"

#include <QAbstractSocket>
#include <QHostAddress>

#include <memory>

class QTcpSocket;
class QUdpSocket;

namespace pvx::platform {

class ByteStream;
class OpenSslContext;
class PendingConnections;
class TcpListener;

/// A TCP or UDP socket over a TcpListener, a TcpConnection (QTcpSocket only
/// resolves and connects) and QUdpSocket.
///
/// States: 0 closed; 1 open (UDP bound, or TCP bound and not yet
/// listening); 2 listening; 6 connecting (also while the host name is being
/// resolved); 7 connected; 8 closed by the peer (what was received can still
/// be read) until close(); 9 error until close().
///
/// Events follow EventGate: never from inside a call into this object;
/// events raised by Qt during a call arrive from the event loop afterwards,
/// in order. close() drops the events not yet delivered. The owner may
/// destroy the socket from inside any of its handlers.
///
/// - connectionRequest: the waiting connection belongs to the factory's
///   PendingConnections; a request not accepted when the handler returns
///   (or dropped undelivered) is closed at once.
/// - closed: the peer closed an established connection; a reset is error
///   10054 instead. Either way what the peer sent before stays readable
///   until close(). Seen once what came before is read, or on a send.
/// - dataArrival: raised once, and again only after a read.
/// - sendProgress: for bytes that waited in the queue (bytesToWrite); bytes
///   the kernel takes at once never wait and raise nothing.
/// - error: network errors (number above 10000) put the socket in state 9;
///   errors about the socket's own use (40020) leave it as it is. A
///   listening socket that fails has stopped listening.
/// - warning: out of descriptors, accepting pauses for about a second at a
///   time; a remote host name for datagrams does not resolve.
///
/// TCP sockets send without delay (no Nagle); accepted connections use TCP
/// keepalive. The listen queue is as long as the system allows. A TCP
/// connect tries the remote host's addresses of both families as
/// ConnectAttempts says; its error is the last attempt's. With TLS set, a
/// connection made or accepted is a TlsConnection and stays in state 6
/// until its handshake has finished. Addresses read as
/// a user would type them (`127.0.0.1` also for an IPv4 client of a socket
/// that takes both families, `::1`, `fe80::1%eth0`).
class QtSocket final : public Socket {
public:
    /// `pending` holds the connection requests of every socket made by the
    /// same factory; `connectionEnded` hears of every connection closed.
    explicit QtSocket(std::shared_ptr<PendingConnections> pending, std::function<void()> connectionEnded = {});
    ~QtSocket() override;
    QtSocket(const QtSocket &) = delete;
    QtSocket &operator=(const QtSocket &) = delete;

    void setProtocol(SocketProtocol protocol) override;
    SocketProtocol protocol() const override { return m_protocol; }
    /// The port bind or listen use. While the socket is bound, listening or
    /// connected it reads the port actually in use (so port 0 reads the
    /// port the system chose).
    void setLocalPort(int port) override;
    int localPort() const override { return m_localPort; }
    /// UDP: a host name starts its lookup at once.
    void setRemoteHost(const QString &host) override;
    QString remoteHost() const override { return m_remoteHost; }
    /// Accept sets it to the peer's port.
    void setRemotePort(int port) override;
    int remotePort() const override { return m_remotePort; }
    /// TCP: the peer's address once connected; UDP: the sender of the
    /// datagram getData returned last. Remote host and port stay as set.
    QString remoteHostIP() const override { return m_remoteHostIP; }
    int senderPort() const override { return m_senderPort; }
    int state() const override { return m_state; }

    /// TCP: records the local address and port for listen (state 1); UDP:
    /// binds at once (state 1). `address` as parseLocalAddress reads it:
    /// empty or "::" takes both families (IPv4 alone on a machine without
    /// IPv6), "0.0.0.0" IPv4 alone. Only on a closed socket. A bad address
    /// fails here with its reason; a port in use fails here (UDP) or in
    /// listen (TCP).
    Result<void> bind(int port, const QString &address) override;
    /// TCP only, on a closed or bound socket.
    Result<void> listen() override;
    /// TCP only, on a closed socket (state 0): fails at once otherwise.
    Result<void> connect() override;
    /// Only on a closed socket; `requestId` must still be waiting.
    Result<void> accept(int requestId) override;
    /// Closes whatever the socket holds, aborting a connection; state 0.
    void close() override;

    /// TCP: queues the bytes on a connected socket. UDP: sends one datagram
    /// to the remote host and port, binding to any free port first when the
    /// socket is closed. A host name is looked up in the background and kept
    /// while the remote host stays the same; until its address is known
    /// datagrams are dropped (HostNotFound).
    Result<void> sendData(const QByteArray &bytes) override;
    /// TCP: up to `maxBytes`. UDP: the next datagram whole, whatever
    /// `maxBytes` says (a datagram is never split).
    QByteArray getData(qint64 maxBytes) override;
    qint64 readInto(char *buffer, qint64 maxBytes) override;
    /// TCP: bytes waiting; UDP: size of the next datagram, 0 when none.
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    void holdSending(bool held) override;

    /// Takes an OpenSslContext, as QtSocketFactory loads it.
    void setTls(std::shared_ptr<const TlsSetup> setup) override;

    void setEvents(Events events) override;

private:
    Result<void> bindUdp(const QHostAddress &address, quint16 port);
    Result<QHostAddress> udpDestination();
    void releaseBackends();

    void onAccepted(UniqueFd connection);
    void onListenerFailed(int errorNumber, const QString &description);
    void raiseWarning(const QString &description);
    /// Starts connecting to one of the remote host's addresses.
    void attemptConnection(const QHostAddress &address);
    /// Lets go of the attempt running now, if any.
    void dropAttempt();
    void onConnected();
    /// Reads and writes the connection from now on; with TLS it first
    /// shakes hands.
    void adopt(UniqueFd connection);
    void onTlsEstablished();
    void onStreamReadable();
    void onStreamFailed(int error);
    void endConnection(int errorNumber);
    void onSocketError(QAbstractSocket *socket, QAbstractSocket::SocketError error);
    void onReadyRead();
    void onBytesWritten(qint64 bytes);
    void raiseError(int number, const QString &description);

    std::shared_ptr<PendingConnections> m_pending;
    std::function<void()> m_connectionEnded;
    EventGate m_gate;
    Events m_events;

    SocketProtocol m_protocol = SocketProtocol::Tcp;
    int m_localPort = 0;
    QString m_remoteHost;
    int m_remotePort = 0;
    QString m_remoteHostIP;
    int m_senderPort = 0;
    int m_state = kSocketClosed;

    QHostAddress m_bindAddress{QHostAddress::Any};
    bool m_sendingDatagram = false;

    TcpListener *m_listener = nullptr;
    QtHostResolver m_resolver;
    /// After the resolver, which it uses until it dies.
    RemoteAddressLookup m_destination;
    ConnectAttempts m_attempts;
    quint16 m_connectPort = 0;
    /// Only while connecting.
    QTcpSocket *m_tcp = nullptr;
    ByteStream *m_stream = nullptr;
    std::shared_ptr<const OpenSslContext> m_tls;
    QUdpSocket *m_udp = nullptr;
};

} // namespace pvx::platform
