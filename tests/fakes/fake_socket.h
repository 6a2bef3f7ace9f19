#pragma once

#include "platform/socket.h"

#include <QList>

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
        if (connectError)
            return *connectError;
        m_state = platform::kSocketConnecting;
        return {};
    }
    platform::Result<void> accept(int requestId) override
    {
        acceptedRequests.append(requestId);
        m_state = platform::kSocketConnected;
        return {};
    }
    void close() override
    {
        ++closeCalls;
        m_state = platform::kSocketClosed;
    }
    platform::Result<void> sendData(const QByteArray &bytes) override
    {
        if (sendError)
            return *sendError;
        sent.append(bytes);
        return {};
    }
    QByteArray getData(qint64 maxBytes) override
    {
        const QByteArray bytes = incoming.left(maxBytes);
        incoming.remove(0, bytes.size());
        return bytes;
    }
    qint64 bytesAvailable() const override { return incoming.size(); }
    qint64 bytesToWrite() const override { return pendingOutput; }
    void setReadBufferSize(qint64 bytes) override { readBufferSize = bytes; }
    void setEvents(Events newEvents) override { events = std::move(newEvents); }

    void setState(int state) { m_state = state; }

    /// The remote side sends bytes.
    void arrive(const QByteArray &bytes)
    {
        incoming += bytes;
        if (events.dataArrival)
            events.dataArrival(incoming.size());
    }

    Events events;
    QList<QByteArray> sent;
    QByteArray incoming;
    QString peerAddress;
    qint64 pendingOutput = 0;
    qint64 readBufferSize = 0;
    std::optional<platform::Error> bindError;
    std::optional<platform::Error> listenError;
    std::optional<platform::Error> connectError;
    std::optional<platform::Error> sendError;
    QList<int> acceptedRequests;
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
        created.append(socket.get());
        return socket;
    }
    FakeSocket &socket(int index) { return *created.at(index); }

    QList<FakeSocket *> created;
};

} // namespace pvx::fakes
