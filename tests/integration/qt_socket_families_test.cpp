// Listening and datagram sockets of both address families, over 127.0.0.1
// and ::1.
#include "platform/linux/qt_socket_factory.h"
#include "support/wait_until.h"

#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace pvx::platform;

namespace {

constexpr int kWait = 5000;

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

bool hasIPv6Loopback()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHostIPv6, 0);
}

class QtSocketFamilies : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!hasIPv6Loopback())
            GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    }

    /// A listener on `address` at a free port; each client is accepted on a
    /// socket of its own, which echoes what it receives.
    std::unique_ptr<Socket> listenOn(const QString &address)
    {
        auto socket = factory.create();
        Socket::Events events;
        events.connectionRequest = [this](int id) {
            auto server = factory.create();
            Socket *raw = server.get();
            Socket::Events echo;
            echo.dataArrival = [raw](qint64 total) { (void)raw->sendData(raw->getData(total)); };
            raw->setEvents(echo);
            EXPECT_TRUE(raw->accept(id).ok());
            accepted.push_back(std::move(server));
        };
        socket->setEvents(events);
        const auto bound = socket->bind(0, address);
        EXPECT_TRUE(bound.ok()) << bound.error().detail.toStdString();
        const auto listening = socket->listen();
        EXPECT_TRUE(listening.ok()) << listening.error().detail.toStdString();
        return socket;
    }

    QStringList peerAddresses() const
    {
        QStringList addresses;
        for (const auto &socket : accepted)
            addresses.append(socket->remoteHostIP());
        return addresses;
    }

    QtSocketFactory factory;
    std::vector<std::unique_ptr<Socket>> accepted;
};

} // namespace

TEST_F(QtSocketFamilies, EachListenAddressTakesTheFamiliesItNames)
{
    const struct {
        const char *address;
        bool takesIPv4;
        bool takesIPv6;
    } cases[] = {
        {"", true, true},
        {"::", true, true},
        {"[::]", true, true},
        {"0.0.0.0", true, false},
        {"127.0.0.1", true, false},
        {"::1", false, true},
        {"[::1]", false, true},
    };
    for (const auto &c : cases) {
        accepted.clear();
        auto listener = listenOn(s(c.address));
        ASSERT_EQ(listener->state(), kSocketListening) << c.address;
        // Both clients at once: one socket serves both families side by side.
        QTcpSocket ipv4, ipv6;
        ipv4.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listener->localPort()));
        ipv6.connectToHost(QHostAddress::LocalHostIPv6, static_cast<quint16>(listener->localPort()));
        const auto settled = [](const QTcpSocket &socket) {
            return socket.state() == QAbstractSocket::ConnectedState || socket.error() != QAbstractSocket::UnknownSocketError;
        };
        ASSERT_TRUE(waitUntil([&] { return settled(ipv4) && settled(ipv6); }, kWait)) << c.address;
        const int expected = (c.takesIPv4 ? 1 : 0) + (c.takesIPv6 ? 1 : 0);
        ASSERT_TRUE(waitUntil([&] { return static_cast<int>(accepted.size()) == expected; }, kWait)) << c.address;
        EXPECT_EQ(ipv4.state() == QAbstractSocket::ConnectedState, c.takesIPv4) << c.address;
        EXPECT_EQ(ipv6.state() == QAbstractSocket::ConnectedState, c.takesIPv6) << c.address;
        // Shown as a user would type them, never IPv4-mapped.
        EXPECT_EQ(peerAddresses().contains(s("127.0.0.1")), c.takesIPv4) << c.address;
        EXPECT_EQ(peerAddresses().contains(s("::1")), c.takesIPv6) << c.address;
        for (QTcpSocket *client : {&ipv4, &ipv6}) {
            if (client->state() != QAbstractSocket::ConnectedState)
                continue;
            QByteArray bytes(256, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i);
            client->write(bytes);
            QByteArray back;
            ASSERT_TRUE(waitUntil([&] { back += client->readAll(); return back.size() >= bytes.size(); }, kWait));
            EXPECT_EQ(back, bytes) << c.address;
        }
    }
}

TEST_F(QtSocketFamilies, ABadLocalAddressFailsBindWithItsReason)
{
    auto socket = factory.create();
    for (const char *address : {"[::1]:4001", "fe80::1%nosuch0", "[::1"}) {
        const auto bound = socket->bind(0, s(address));
        ASSERT_FALSE(bound.ok()) << address;
        EXPECT_TRUE(bound.error().detail.startsWith(s("Not a valid local address: ") + s(address) + s(" ("))) << address;
        EXPECT_EQ(socket->state(), kSocketClosed);
    }
}

TEST_F(QtSocketFamilies, DatagramsGoBackToTheLastSenderOfEitherFamily)
{
    const struct {
        const char *bindTo;
        QHostAddress::SpecialAddress sender;
        const char *shown;
    } cases[] = {
        {"", QHostAddress::LocalHost, "127.0.0.1"},
        {"", QHostAddress::LocalHostIPv6, "::1"},
        {"::", QHostAddress::LocalHost, "127.0.0.1"},
        {"::1", QHostAddress::LocalHostIPv6, "::1"},
    };
    for (const auto &c : cases) {
        auto socket = factory.create();
        socket->setProtocol(SocketProtocol::Udp);
        QByteArray received;
        Socket::Events events;
        events.dataArrival = [&](qint64) { received += socket->getData(0); };
        socket->setEvents(events);
        ASSERT_TRUE(socket->bind(0, s(c.bindTo)).ok()) << c.bindTo;

        QUdpSocket peer;
        ASSERT_TRUE(peer.bind(QHostAddress(c.sender), 0));
        peer.writeDatagram("ping", QHostAddress(c.sender), static_cast<quint16>(socket->localPort()));
        ASSERT_TRUE(waitUntil([&] { return received == "ping"; }, kWait)) << c.bindTo;
        EXPECT_EQ(socket->remoteHostIP(), s(c.shown)) << c.bindTo;
        EXPECT_EQ(socket->senderPort(), peer.localPort());

        socket->setRemoteHost(socket->remoteHostIP());
        socket->setRemotePort(socket->senderPort());
        ASSERT_TRUE(socket->sendData("pong").ok()) << c.bindTo;
        ASSERT_TRUE(waitUntil([&] { return peer.hasPendingDatagrams(); }, kWait)) << c.bindTo;
        EXPECT_EQ(peer.receiveDatagram().data(), QByteArray("pong"));
    }
}
