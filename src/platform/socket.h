#pragma once

#include "platform/result.h"
#include "platform/tls.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace pvx::platform {

enum class SocketProtocol {
    Tcp = 0,
    Udp = 1,
};

/// Socket states as the session sees them.
enum SocketState : int {
    kSocketClosed = 0,
    kSocketOpen = 1,
    kSocketListening = 2,
    kSocketConnectionPending = 3,
    kSocketResolvingHost = 4,
    kSocketHostResolved = 5,
    kSocketConnecting = 6,
    kSocketConnected = 7,
    kSocketClosing = 8,
    kSocketError = 9,
};

/// Error numbers raised by the error event. Network errors are above 10000;
/// errors about the socket's own use are in the 40000 range and leave the
/// socket as it is.
enum SocketErrorNumber : int {
    kErrorAccess = 10013,
    kErrorAddressInUse = 10048,
    kErrorNetworkDown = 10050,
    kErrorNetworkUnreachable = 10051,
    kErrorConnectionReset = 10054,
    kErrorTimedOut = 10060,
    kErrorConnectionRefused = 10061,
    kErrorHostNotFound = 11001,
    /// The TLS handshake failed or timed out; the description says why.
    kErrorTlsHandshake = 12001,
    kErrorWrongState = 40020,
};

/// One TCP or UDP socket with the operations and events the session engine
/// uses. Calls and events happen on the event-loop thread; no event is
/// delivered from inside a call into this object.
class Socket {
public:
    struct Events {
        /// A connect() attempt succeeded; with TLS, once the handshake has
        /// finished, also on an accepted connection.
        std::function<void()> connected;
        /// The peer closed the connection (state 8). What it sent before
        /// can still be read; close() once bytesAvailable() is 0.
        std::function<void()> closed;
        /// A listening socket has a client waiting; accept it on any socket
        /// with accept(requestId) before returning, or it is closed.
        std::function<void(int requestId)> connectionRequest;
        /// Data is waiting; `bytesTotal` is what can be read now.
        std::function<void(qint64 bytesTotal)> dataArrival;
        /// Queued bytes were handed to the network.
        std::function<void(qint64 bytes)> sendProgress;
        /// An error; see SocketErrorNumber. A peer's reset is
        /// kErrorConnectionReset. After a network error on a connection what
        /// the peer sent before it can still be read until close(); a
        /// listening socket has stopped listening.
        std::function<void(int number, const QString &description)> error;
        /// Something the owner should know that ends nothing, raised once
        /// per episode: new clients wait in the queue until the system has
        /// room for them again, or the remote host name does not resolve
        /// (datagrams to it are dropped until it does).
        std::function<void(const QString &description)> warning;
    };

    virtual ~Socket() = default;

    virtual void setProtocol(SocketProtocol protocol) = 0;
    virtual SocketProtocol protocol() const = 0;
    virtual void setLocalPort(int port) = 0;
    virtual int localPort() const = 0;
    virtual void setRemoteHost(const QString &host) = 0;
    virtual QString remoteHost() const = 0;
    virtual void setRemotePort(int port) = 0;
    virtual int remotePort() const = 0;
    /// Address of the connected peer, or of the sender of the last datagram.
    virtual QString remoteHostIP() const = 0;
    /// UDP: port of the sender of the datagram getData returned last (0
    /// before the first). A UDP server answers there.
    virtual int senderPort() const = 0;
    virtual int state() const = 0;

    /// Binds to `port` on `address` (empty: every address).
    virtual Result<void> bind(int port, const QString &address) = 0;
    virtual Result<void> listen() = 0;
    /// Connects to the remote host and port; fails at once when the socket
    /// is not closed. The outcome arrives as `connected` or `error`.
    virtual Result<void> connect() = 0;
    /// Takes over the waiting connection `requestId`.
    virtual Result<void> accept(int requestId) = 0;
    virtual void close() = 0;

    /// TCP: queues the bytes; UDP: sends one datagram to the remote host and
    /// port.
    virtual Result<void> sendData(const QByteArray &bytes) = 0;
    /// TCP: up to `maxBytes` received bytes; UDP: the next datagram.
    virtual QByteArray getData(qint64 maxBytes) = 0;
    /// TCP: up to `maxBytes` received bytes into `buffer`, sparing getData's
    /// copy; returns how many came. UDP: nothing.
    virtual qint64 readInto(char *buffer, qint64 maxBytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    /// Bytes queued by sendData but not yet handed to the network.
    virtual qint64 bytesToWrite() const = 0;
    /// TCP: while held, what sendData is given stays queued (bytesToWrite)
    /// and nothing goes to the peer; released, it goes in order. A new
    /// connection starts released. UDP: no effect.
    virtual void holdSending(bool held) = 0;

    /// TCP: the connections made or accepted from now on speak TLS as
    /// `setup` says (none: plain). Such a connection stays in state 6 until
    /// its handshake has finished and raises `connected` then, or error
    /// kErrorTlsHandshake. A client checks the server's name against the
    /// remote host.
    virtual void setTls(std::shared_ptr<const TlsSetup> setup) = 0;

    virtual void setEvents(Events events) = 0;
};

class SocketFactory {
public:
    virtual ~SocketFactory() = default;
    virtual std::unique_ptr<Socket> create() = 0;
    /// Loads the certificates, key and trust `settings` name, once for all
    /// the connections of a side; a clear error naming the file otherwise.
    virtual Result<std::shared_ptr<const TlsSetup>> loadTls(const TlsSettings &settings) = 0;
};

} // namespace pvx::platform
