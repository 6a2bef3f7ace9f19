#include "bridge_peers.h"
#include "platform/linux/qt_socket.h"
#include "platform/linux/qt_socket_factory.h"
#include "support/wait_until.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <QDir>

#include <memory>
#include <optional>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

using namespace pvx::platform;

namespace {

constexpr int kWait = 5000;
const QString kLoopback = QStringLiteral("127.0.0.1");

// What one socket's events reported.
struct Seen {
    int connected = 0;
    int closed = 0;
    std::vector<int> requests;
    std::vector<std::pair<int, QString>> errors;
    QStringList warnings;
    QByteArray received;
    qint64 sent = 0;
};

// Records every event; reads all data that arrives when `read` is set.
Socket::Events recordInto(Seen &seen, Socket *read)
{
    Socket::Events events;
    events.connected = [&seen] { ++seen.connected; };
    events.closed = [&seen] { ++seen.closed; };
    events.connectionRequest = [&seen](int id) { seen.requests.push_back(id); };
    events.error = [&seen](int number, const QString &text) { seen.errors.emplace_back(number, text); };
    events.sendProgress = [&seen](qint64 bytes) { seen.sent += bytes; };
    events.warning = [&seen](const QString &text) { seen.warnings.append(text); };
    events.dataArrival = [&seen, read](qint64 total) {
        EXPECT_GT(total, 0);
        if (read)
            seen.received += read->getData(total);
    };
    return events;
}

// The descriptor this process listens on at `port`, or -1.
int listeningDescriptor(int port)
{
    for (const QString &name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        const int fd = name.toInt();
        int listening = 0;
        socklen_t size = sizeof listening;
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0 && ntohs(local.sin_port) == port)
            return fd;
    }
    return -1;
}

double cpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

class QtSocketTest : public ::testing::Test {
protected:
    // A listening socket on a free loopback port.
    std::unique_ptr<Socket> listener(Seen &seen)
    {
        auto socket = factory.create();
        socket->setEvents(recordInto(seen, nullptr));
        EXPECT_TRUE(socket->bind(0, kLoopback).ok());
        EXPECT_EQ(socket->state(), kSocketOpen);
        EXPECT_TRUE(socket->listen().ok());
        EXPECT_EQ(socket->state(), kSocketListening);
        EXPECT_GT(socket->localPort(), 0);
        return socket;
    }

    std::unique_ptr<Socket> client(Seen &seen, int port)
    {
        auto socket = factory.create();
        socket->setEvents(recordInto(seen, socket.get()));
        socket->setRemoteHost(kLoopback);
        socket->setRemotePort(port);
        return socket;
    }

    /// A server socket accepted from `listen` for the next client.
    std::unique_ptr<Socket> acceptNext(Socket &listen, Seen &seen, bool reads)
    {
        auto server = factory.create();
        server->setEvents(recordInto(seen, reads ? server.get() : nullptr));
        Socket::Events listenEvents;
        listenEvents.connectionRequest = [socket = server.get()](int id) { EXPECT_TRUE(socket->accept(id).ok()); };
        listen.setEvents(listenEvents);
        return server;
    }

    QtSocketFactory factory;
};

TEST_F(QtSocketTest, AcceptsOnAnotherSocketAndCarriesDataBothWays)
{
    Seen listenSeen, serverSeen, clientSeen;
    auto listen = listener(listenSeen);
    auto server = factory.create();
    server->setEvents(recordInto(serverSeen, server.get()));
    Socket::Events listenEvents = recordInto(listenSeen, nullptr);
    listenEvents.connectionRequest = [&](int id) {
        listenSeen.requests.push_back(id);
        EXPECT_TRUE(server->accept(id).ok());
        EXPECT_EQ(server->state(), kSocketConnected);
    };
    listen->setEvents(listenEvents);

    auto peer = client(clientSeen, listen->localPort());
    ASSERT_TRUE(peer->connect().ok());
    EXPECT_EQ(peer->state(), kSocketConnecting);
    ASSERT_TRUE(waitUntil([&] { return clientSeen.connected == 1 && server->state() == kSocketConnected; }, kWait));
    EXPECT_EQ(listenSeen.requests.size(), 1u);
    EXPECT_EQ(peer->state(), kSocketConnected);
    EXPECT_EQ(peer->remoteHostIP(), kLoopback);
    EXPECT_EQ(server->remoteHostIP(), kLoopback);
    EXPECT_EQ(server->remotePort(), peer->localPort());
    EXPECT_EQ(server->localPort(), listen->localPort());

    ASSERT_TRUE(peer->sendData("hello").ok());
    ASSERT_TRUE(server->sendData("world").ok());
    ASSERT_TRUE(waitUntil([&] { return serverSeen.received == "hello" && clientSeen.received == "world"; }, kWait));
    // The kernel took the bytes at once: nothing waited, so no progress.
    EXPECT_EQ(server->bytesToWrite(), 0);
    EXPECT_EQ(serverSeen.sent, 0);
    // Held, bytes wait in the queue; released, they go in order.
    server->holdSending(true);
    ASSERT_TRUE(server->sendData("held").ok());
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(server->bytesToWrite(), 4);
    EXPECT_EQ(clientSeen.received, "world");
    server->holdSending(false);
    ASSERT_TRUE(waitUntil([&] { return clientSeen.received == "worldheld"; }, kWait));
    EXPECT_EQ(serverSeen.sent, 4);

    peer->close();
    EXPECT_EQ(peer->state(), kSocketClosed);
    ASSERT_TRUE(waitUntil([&] { return serverSeen.closed == 1; }, kWait));
    EXPECT_EQ(server->state(), kSocketClosing);
    server->close();
    EXPECT_EQ(server->state(), kSocketClosed);
    EXPECT_EQ(listen->state(), kSocketListening);
    EXPECT_TRUE(clientSeen.errors.empty());
    EXPECT_TRUE(serverSeen.errors.empty());
    EXPECT_EQ(clientSeen.closed, 0);
}

TEST_F(QtSocketTest, APeersEndKeepsWhatItSentAndTellsAResetFromAClose)
{
    // Qt reads a reset as an end of stream, and after a failed write drops
    // what it had read ahead; neither may cost a byte.
    const struct {
        const char *name;
        bool reset;
        bool serverWrites;
    } cases[] = {
        {"reset seen by a write", true, true},
        {"reset seen by reading", true, false},
        {"orderly close", false, false},
    };
    const QByteArray payload = pattern(64 * 1024);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Seen listenSeen, serverSeen;
        auto listen = listener(listenSeen);
        auto server = acceptNext(*listen, serverSeen, !c.serverWrites);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listen->localPort()));
        ASSERT_TRUE(waitUntil([&] { return server->state() == kSocketConnected; }, kWait));
        peer.write(payload);
        ASSERT_TRUE(waitUntil([&] { return pvx::testing::allAcknowledged(peer); }, kWait));
        if (c.reset)
            pvx::testing::resetConnection(peer);
        else
            peer.disconnectFromHost();
        if (c.serverWrites) {
            ASSERT_TRUE(server->sendData("x").ok());
        }

        ASSERT_TRUE(waitUntil([&] { return serverSeen.closed + serverSeen.errors.size() > 0; }, kWait));
        while (server->bytesAvailable() > 0)
            serverSeen.received += server->getData(server->bytesAvailable());
        EXPECT_EQ(serverSeen.received.size(), payload.size());
        EXPECT_TRUE(serverSeen.received == payload);
        if (c.reset) {
            ASSERT_EQ(serverSeen.errors.size(), 1u);
            EXPECT_EQ(serverSeen.errors[0].first, kErrorConnectionReset);
            EXPECT_EQ(serverSeen.errors[0].second, QStringLiteral("Connection reset by peer"));
            EXPECT_EQ(serverSeen.closed, 0);
            EXPECT_EQ(server->state(), kSocketError);
        } else {
            EXPECT_TRUE(serverSeen.errors.empty());
            EXPECT_EQ(serverSeen.closed, 1);
            EXPECT_EQ(server->state(), kSocketClosing);
        }
        server->close();
        EXPECT_EQ(server->bytesAvailable(), 0);
    }
}

TEST_F(QtSocketTest, RequestNotAcceptedIsClosedAtOnce)
{
    Seen listenSeen, clientSeen;
    auto listen = listener(listenSeen);
    auto peer = client(clientSeen, listen->localPort());
    ASSERT_TRUE(peer->connect().ok());
    ASSERT_TRUE(waitUntil([&] { return clientSeen.closed == 1; }, kWait));
    ASSERT_EQ(listenSeen.requests.size(), 1u);

    // The request is gone: nobody can take it over later.
    auto late = factory.create();
    const auto accepted = late->accept(listenSeen.requests.front());
    ASSERT_FALSE(accepted.ok());
    EXPECT_EQ(accepted.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(late->state(), kSocketClosed);
}

TEST_F(QtSocketTest, ListenerMayBeDestroyedInsideItsRequestHandler)
{
    Seen listenSeen, clientSeen;
    auto listen = listener(listenSeen);
    const int port = listen->localPort();
    Socket::Events events;
    events.connectionRequest = [&](int) { listen.reset(); };
    listen->setEvents(events);
    auto peer = client(clientSeen, port);
    ASSERT_TRUE(peer->connect().ok());
    ASSERT_TRUE(waitUntil([&] { return !listen && clientSeen.closed == 1; }, kWait));
}

TEST_F(QtSocketTest, OutOfDescriptorsTheListenerWaitsQuietlyAndTakesTheClientLater)
{
    Seen listenSeen;
    auto listen = listener(listenSeen);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listen->localPort()));
    // Every descriptor taken before the listener sees the client.
    std::vector<pvx::platform::UniqueFd> hogs;
    for (;;) {
        pvx::platform::UniqueFd hog(::fcntl(0, F_DUPFD_CLOEXEC, 0));
        if (!hog.valid())
            break;
        hogs.push_back(std::move(hog));
    }
    const double cpuBefore = cpuSeconds();
    runEventsFor(std::chrono::milliseconds(2500));
    const double cpuUsed = cpuSeconds() - cpuBefore;
    hogs.clear();

    EXPECT_LT(cpuUsed, 0.5) << "accepting must not spin";
    EXPECT_TRUE(listenSeen.requests.empty());
    ASSERT_EQ(listenSeen.warnings.size(), 1);
    EXPECT_EQ(listenSeen.warnings.front(),
              QStringLiteral("Too many open files: new clients wait until a descriptor is free"));
    EXPECT_TRUE(listenSeen.errors.empty());
    EXPECT_TRUE(waitUntil([&] { return listenSeen.requests.size() == 1; }, kWait));
    EXPECT_EQ(listen->state(), kSocketListening);
}

TEST_F(QtSocketTest, AListenerThatFailsStopsAndSaysWhy)
{
    Seen listenSeen;
    auto listen = listener(listenSeen);
    const int fd = listeningDescriptor(listen->localPort());
    ASSERT_GE(fd, 0);
    // A listening socket shut down fails every accept from then on.
    ASSERT_EQ(::shutdown(fd, SHUT_RDWR), 0);
    ASSERT_TRUE(waitUntil([&] { return !listenSeen.errors.empty(); }, kWait));
    runEventsFor(std::chrono::milliseconds(200));
    ASSERT_EQ(listenSeen.errors.size(), 1u);
    EXPECT_EQ(listenSeen.errors[0].first, kErrorNetworkDown);
    EXPECT_EQ(listenSeen.errors[0].second, QStringLiteral("Accepting clients failed: Invalid argument"));
    EXPECT_EQ(listen->state(), kSocketError);
    listen->close();
    EXPECT_EQ(listen->state(), kSocketClosed);
}

TEST_F(QtSocketTest, AcceptNeedsAClosedSocket)
{
    Seen listenSeen, serverSeen, clientSeen;
    auto listen = listener(listenSeen);
    auto busy = factory.create();
    ASSERT_TRUE(busy->bind(0, kLoopback).ok());
    Socket::Events events;
    std::optional<Result<void>> outcome;
    events.connectionRequest = [&](int id) { outcome = busy->accept(id); };
    listen->setEvents(events);
    auto peer = client(clientSeen, listen->localPort());
    ASSERT_TRUE(peer->connect().ok());
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, kWait));
    ASSERT_FALSE(outcome->ok());
    EXPECT_EQ(outcome->error().code, ErrorCode::WrongState);
    EXPECT_EQ(outcome->error().detail, QStringLiteral("Not possible while the socket is open"));
}

TEST_F(QtSocketTest, PortInUseIsRefusedWithADescription)
{
    for (const SocketProtocol protocol : {SocketProtocol::Tcp, SocketProtocol::Udp}) {
        SCOPED_TRACE(static_cast<int>(protocol));
        QTcpServer tcpHolder;
        QUdpSocket udpHolder;
        int port = 0;
        if (protocol == SocketProtocol::Tcp) {
            ASSERT_TRUE(tcpHolder.listen(QHostAddress::LocalHost, 0));
            port = tcpHolder.serverPort();
        } else {
            ASSERT_TRUE(udpHolder.bind(QHostAddress::LocalHost, 0));
            port = udpHolder.localPort();
        }
        auto socket = factory.create();
        socket->setProtocol(protocol);
        auto outcome = socket->bind(port, kLoopback);
        if (outcome.ok() && protocol == SocketProtocol::Tcp)
            outcome = socket->listen();
        ASSERT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.error().code, ErrorCode::AddressInUse);
        EXPECT_EQ(outcome.error().detail, QStringLiteral("Address already in use (127.0.0.1:%1)").arg(port));
    }
}

TEST_F(QtSocketTest, BadArgumentsAreRefused)
{
    auto socket = factory.create();
    EXPECT_EQ(socket->bind(70000, {}).error().detail, QStringLiteral("Not a valid port number: 70000"));
    EXPECT_EQ(socket->bind(0, QStringLiteral("nowhere")).error().detail,
              QStringLiteral("Not a valid local address: nowhere (neither an IPv4 nor an IPv6 address)"));
    EXPECT_EQ(socket->connect().error().detail, QStringLiteral("No remote host is set"));
    socket->setRemoteHost(kLoopback);
    EXPECT_EQ(socket->connect().error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(socket->sendData("x").error().code, ErrorCode::WrongState);
    EXPECT_EQ(socket->state(), kSocketClosed);
}

TEST_F(QtSocketTest, RefusedConnectRaisesErrorAndBusySocketRefusesConnect)
{
    int port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    Seen seen;
    auto socket = client(seen, port);
    ASSERT_TRUE(socket->connect().ok());
    EXPECT_TRUE(seen.errors.empty()) << "no event from inside the call";
    ASSERT_TRUE(waitUntil([&] { return !seen.errors.empty(); }, kWait));
    EXPECT_EQ(seen.errors.front().first, kErrorConnectionRefused);
    EXPECT_FALSE(seen.errors.front().second.isEmpty());
    EXPECT_EQ(socket->state(), kSocketError);

    const auto again = socket->connect();
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, ErrorCode::WrongState);

    socket->close();
    EXPECT_EQ(socket->state(), kSocketClosed);
    ASSERT_TRUE(socket->connect().ok());
    EXPECT_EQ(socket->state(), kSocketConnecting);
    EXPECT_FALSE(socket->connect().ok()) << "a pending attempt is not closed";
    socket->close();
    EXPECT_EQ(socket->state(), kSocketClosed);
    // The dropped attempt raises nothing afterwards.
    const size_t errors = seen.errors.size();
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(seen.errors.size(), errors);
}

TEST_F(QtSocketTest, UdpSocketsExchangeDatagramsWhole)
{
    Seen aSeen, bSeen;
    auto a = factory.create();
    auto b = factory.create();
    for (auto *socket : {a.get(), b.get()}) {
        socket->setProtocol(SocketProtocol::Udp);
        ASSERT_TRUE(socket->bind(0, kLoopback).ok());
        EXPECT_EQ(socket->state(), kSocketOpen);
    }
    std::vector<QByteArray> datagrams;
    Socket::Events bEvents = recordInto(bSeen, nullptr);
    bEvents.dataArrival = [&](qint64 total) {
        EXPECT_EQ(total, b->bytesAvailable());
        datagrams.push_back(b->getData(1));
    };
    b->setEvents(bEvents);
    a->setEvents(recordInto(aSeen, a.get()));

    a->setRemoteHost(kLoopback);
    a->setRemotePort(b->localPort());
    for (const char *text : {"one", "two two", "three three three"})
        ASSERT_TRUE(a->sendData(text).ok());
    ASSERT_TRUE(waitUntil([&] { return datagrams.size() == 3; }, kWait));
    EXPECT_EQ(datagrams, (std::vector<QByteArray>{"one", "two two", "three three three"}));
    EXPECT_EQ(b->remoteHostIP(), kLoopback);
    EXPECT_EQ(b->remoteHost(), QString()) << "the remote host stays as set";

    b->setRemoteHost(b->remoteHostIP());
    b->setRemotePort(a->localPort());
    ASSERT_TRUE(b->sendData("answer").ok());
    ASSERT_TRUE(waitUntil([&] { return aSeen.received == "answer"; }, kWait));
    EXPECT_TRUE(aSeen.errors.empty());
    EXPECT_TRUE(bSeen.errors.empty());
}

TEST_F(QtSocketTest, UdpSendBindsAClosedSocketAndNeverWaitsForANameLookup)
{
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
    Seen seen;
    auto socket = factory.create();
    socket->setEvents(recordInto(seen, nullptr));
    socket->setProtocol(SocketProtocol::Udp);
    EXPECT_EQ(socket->sendData("x").error().code, ErrorCode::InvalidArgument);
    socket->setRemotePort(receiver.localPort());

    // A name is looked up in the background; until its address is known
    // datagrams are dropped.
    socket->setRemoteHost(QStringLiteral("localhost"));
    ASSERT_TRUE(waitUntil([&] { return socket->sendData("hi").ok(); }, kWait));
    EXPECT_EQ(socket->state(), kSocketOpen);
    EXPECT_GT(socket->localPort(), 0);
    ASSERT_TRUE(waitUntil([&] { return receiver.hasPendingDatagrams(); }, kWait));
    EXPECT_EQ(receiver.receiveDatagram().data(), "hi");

    // A name that does not resolve is reported once, however often it is tried.
    socket->setRemoteHost(QStringLiteral("no-such-host.invalid"));
    EXPECT_EQ(socket->sendData("lost").error().code, ErrorCode::HostNotFound);
    ASSERT_TRUE(waitUntil([&] { return !seen.warnings.isEmpty(); }, kWait));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(socket->sendData("lost").error().code, ErrorCode::HostNotFound);
        runEventsFor(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(seen.warnings.size(), 1);
    EXPECT_TRUE(seen.warnings.front().contains(QStringLiteral("no-such-host.invalid")));
    EXPECT_TRUE(seen.errors.empty());
    EXPECT_FALSE(receiver.hasPendingDatagrams());
}

TEST_F(QtSocketTest, UnreadDataHoldsThePeerBackAndArrivesWhole)
{
    // Nothing is read ahead: a reader that stops leaves the bytes with the
    // kernel, TCP's window stops the sender, and reading later loses nothing.
    const QByteArray payload = pattern(32 << 20);
    Seen listenSeen, serverSeen, clientSeen;
    auto listen = listener(listenSeen);
    int arrivals = 0;
    auto server = acceptNext(*listen, serverSeen, false);
    Socket::Events serverEvents = recordInto(serverSeen, nullptr);
    serverEvents.dataArrival = [&](qint64) { ++arrivals; };
    server->setEvents(serverEvents);
    auto peer = client(clientSeen, listen->localPort());
    ASSERT_TRUE(peer->connect().ok());
    ASSERT_TRUE(waitUntil([&] { return clientSeen.connected == 1; }, kWait));
    ASSERT_TRUE(peer->sendData(payload).ok());

    waitUntil([] { return false; }, 300);
    EXPECT_GT(peer->bytesToWrite(), 0);
    EXPECT_EQ(arrivals, 1);

    QByteArray received;
    serverEvents.dataArrival = [&](qint64 total) { received += server->getData(total); };
    server->setEvents(serverEvents);
    received += server->getData(server->bytesAvailable());
    ASSERT_TRUE(waitUntil([&] { return received.size() == payload.size(); }, 20000));
    EXPECT_TRUE(received == payload);
    EXPECT_TRUE(waitUntil([&] { return peer->bytesToWrite() == 0; }, kWait));
    EXPECT_GT(clientSeen.sent, 0);
}

TEST_F(QtSocketTest, SocketMayBeDestroyedInsideItsHandlers)
{
    Seen listenSeen, clientSeen;
    auto listen = listener(listenSeen);
    std::unique_ptr<Socket> server = factory.create();
    Socket::Events serverEvents;
    serverEvents.dataArrival = [&](qint64) { server.reset(); };
    server->setEvents(serverEvents);
    Socket::Events listenEvents;
    listenEvents.connectionRequest = [&](int id) { EXPECT_TRUE(server->accept(id).ok()); };
    listen->setEvents(listenEvents);
    auto peer = client(clientSeen, listen->localPort());
    ASSERT_TRUE(peer->connect().ok());
    ASSERT_TRUE(waitUntil([&] { return clientSeen.connected == 1; }, kWait));
    ASSERT_TRUE(peer->sendData("bye").ok());
    ASSERT_TRUE(waitUntil([&] { return !server; }, kWait));
    EXPECT_TRUE(waitUntil([&] { return clientSeen.closed == 1; }, kWait));
}

} // namespace
