#pragma once

#include "platform/socket.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace pvx::fakes {

/// A socket in memory: the test sets the outcome of each operation, raises
/// its events and reads what was sent.
class FakeSocket : public platform::Socket {
public:
    void setProtocol(platform::SocketProtocol protocol) override { m_protocol = protocol; }
    platform::SocketProtocol protocol() const override { return m_protocol; }
    void setLocalPort(int port) override { m_localPort = port; }
    int localPort() const override { return m_localPort; }
    void setRemoteHost(const QString &host) override { m_remoteHost = host; }
    QString remoteHost() const override { return m_remoteHost; }
    void setRemotePort(int port) override { m_remotePort = port; }
    int remotePort() const override { return m_remotePort; }
    QString remoteHostIP() const override { return peerAddress; }
    int senderPort() const override { return peerPort; }
    int state() const override { return m_state; }

    platform::Result<void> bind(int port, const QString &address) override
    {
        ++bindCalls;
        boundPort = port;
        boundAddress = address;
        if (bindError)
            return *bindError;
        m_localPort = port;
        m_state = platform::kSocketOpen;
        return {};
    }
    platform::Result<void> listen() override
    {
        ++listenCalls;
        if (listenError)
            return *listenError;
        m_state = platform::kSocketListening;
        return {};
    }
    platform::Result<void> connect() override
    {
        ++connectCalls;
        if (m_state != platform::kSocketClosed)
            return platform::makeError(platform::ErrorCode::WrongState,
                                       QStringLiteral("Wrong protocol or connection state"));
        if (m_remoteHost.trimmed().isEmpty())
            return platform::makeError(platform::ErrorCode::InvalidArgument, QStringLiteral("No remote host is set"));
        if (connectError)
            return *connectError;
        m_state = platform::kSocketConnecting;
        return {};
    }
    platform::Result<void> accept(int requestId) override
    {
        acceptedRequests.append(requestId);
        // As a real socket, an accepted one knows its peer at once.
        if (waitingPeers != nullptr && waitingPeers->contains(requestId))
            peerAddress = waitingPeers->value(requestId);
        // A TLS connection waits for its handshake.
        m_state = tls ? platform::kSocketConnecting : platform::kSocketConnected;
        return {};
    }
    void close() override
    {
        ++closeCalls;
        m_state = platform::kSocketClosed;
        incoming.clear();
        datagrams.clear();
        pendingOutput = 0;
        held.clear();
        sendingHeld = false;
        if (raisesClosedWhenClosed && events.closed)
            events.closed();
    }
    platform::Result<void> sendData(const QByteArray &bytes) override
    {
        if (sendError)
            return *sendError;
        if (sendingHeld) {
            held.append(bytes);
            pendingOutput += bytes.size();
            return {};
        }
        sent.append(bytes);
        sentTo.append(m_remoteHost + QLatin1Char(':') + QString::number(m_remotePort));
        if (queuesOutput)
            pendingOutput += bytes.size();
        return {};
    }
    QByteArray getData(qint64 maxBytes) override
    {
        ++getDataCalls;
        if (m_protocol == platform::SocketProtocol::Udp) {
            if (datagrams.isEmpty())
                return {};
            const Datagram next = datagrams.takeFirst();
            peerAddress = next.address;
            peerPort = next.port;
            return next.bytes;
        }
        const QByteArray bytes = incoming.left(maxBytes);
        incoming.remove(0, bytes.size());
        return bytes;
    }
    qint64 readInto(char *buffer, qint64 maxBytes) override
    {
        if (m_protocol == platform::SocketProtocol::Udp)
            return 0;
        const QByteArray bytes = getData(maxBytes);
        std::copy(bytes.cbegin(), bytes.cend(), buffer);
        return bytes.size();
    }
    qint64 bytesAvailable() const override
    {
        if (m_protocol == platform::SocketProtocol::Udp)
            return datagrams.isEmpty() ? 0 : datagrams.front().bytes.size();
        return incoming.size();
    }
    qint64 bytesToWrite() const override { return pendingOutput; }
    /// Released, what was held counts as sent, and as queued only with queuesOutput.
    void holdSending(bool hold) override
    {
        sendingHeld = hold;
        for (; !hold && !held.isEmpty(); sent.append(held.takeFirst()))
            pendingOutput -= queuesOutput ? 0 : held.front().size();
    }
    void setEvents(Events newEvents) override { events = std::move(newEvents); }

    void setState(int state) { m_state = state; }

    /// The remote side sends bytes.
    void arrive(const QByteArray &bytes)
    {
        incoming += bytes;
        if (events.dataArrival)
            events.dataArrival(incoming.size());
    }
    /// A datagram arrives from `address`:`port`.
    void arriveDatagram(const QByteArray &bytes, const QString &address, int port)
    {
        datagrams.append({bytes, address, port});
        if (events.dataArrival)
            events.dataArrival(bytes.size());
    }
    /// The network takes `bytes` of the queued output.
    void drainOutput(qint64 bytes)
    {
        pendingOutput -= bytes;
        if (events.sendProgress)
            events.sendProgress(bytes);
    }
    /// The peer closes the connection.
    void peerCloses()
    {
        m_state = platform::kSocketClosing;
        if (events.closed)
            events.closed();
    }
    /// The peer resets the connection; what arrived before stays readable.
    void peerResets()
    {
        m_state = platform::kSocketError;
        if (events.error)
            events.error(platform::kErrorConnectionReset, QStringLiteral("Connection reset by peer"));
    }
    /// The TLS handshake of this connection ends, well or with `failure`.
    void finishHandshake(const std::optional<QString> &failure = std::nullopt)
    {
        m_state = failure ? platform::kSocketError : platform::kSocketConnected;
        if (failure && events.error)
            events.error(platform::kErrorTlsHandshake, *failure);
        else if (!failure && events.connected)
            events.connected();
    }
    /// Everything sent, joined.
    QByteArray sentBytes() const { return sent.join(); }

    struct Datagram {
        QByteArray bytes;
        QString address;
        int port = 0;
    };

    void setTls(std::shared_ptr<const platform::TlsSetup> setup) override { tls = std::move(setup); }

    Events events;
    std::shared_ptr<const platform::TlsSetup> tls;
    QList<QByteArray> sent;
    /// "host:port" each send went to (UDP).
    QStringList sentTo;
    QList<Datagram> datagrams;
    /// What sendData was given while sending was held.
    QList<QByteArray> held;
    bool sendingHeld = false;
    /// sendData adds to pendingOutput, as a network that has not taken it yet.
    bool queuesOutput = false;
    /// close() raises the closed event from inside the call.
    bool raisesClosedWhenClosed = false;
    int getDataCalls = 0;
    int peerPort = 0;
    QByteArray incoming;
    QString peerAddress;
    qint64 pendingOutput = 0;
    std::optional<platform::Error> bindError;
    std::optional<platform::Error> listenError;
    std::optional<platform::Error> connectError;
    std::optional<platform::Error> sendError;
    QList<int> acceptedRequests;
    /// The addresses of the clients waiting at the listener, by request.
    const QHash<int, QString> *waitingPeers = nullptr;
    int boundPort = -1;
    QString boundAddress;
    int bindCalls = 0;
    int listenCalls = 0;
    int connectCalls = 0;
    int closeCalls = 0;

private:
    platform::SocketProtocol m_protocol = platform::SocketProtocol::Tcp;
    int m_localPort = 0;
    QString m_remoteHost;
    int m_remotePort = 0;
    int m_state = platform::kSocketClosed;
};

/// Makes FakeSockets and keeps a pointer to each, in order of creation.
class FakeSocketFactory : public platform::SocketFactory {
public:
    std::unique_ptr<platform::Socket> create() override
    {
        auto socket = std::make_unique<FakeSocket>();
        socket->waitingPeers = &m_waitingPeers;
        created.append(socket.get());
        return socket;
    }
    platform::Result<std::shared_ptr<const platform::TlsSetup>> loadTls(const platform::TlsSettings &settings) override
    {
        tlsLoads.append(settings);
        if (tlsError)
            return *tlsError;
        return std::make_shared<const platform::TlsSetup>();
    }
    FakeSocket &socket(int index) { return *created.at(index); }
    /// A client from `address` asks socket 0, the listener, with request
    /// `requestId`; the socket it was accepted on, or -1.
    int connectClient(int requestId, const QString &address)
    {
        m_waitingPeers.insert(requestId, address);
        socket(0).events.connectionRequest(requestId);
        m_waitingPeers.remove(requestId);
        for (int i = 1; i < created.size(); ++i) {
            if (socket(i).acceptedRequests.contains(requestId))
                return i;
        }
        return -1;
    }

    QList<FakeSocket *> created;
    QList<platform::TlsSettings> tlsLoads;
    std::optional<platform::Error> tlsError;

private:
    QHash<int, QString> m_waitingPeers;
};

} // namespace pvx::fakes
