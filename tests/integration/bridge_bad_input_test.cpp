// Peers and devices that misbehave: the session goes on.
#include "bridge_fixture.h"

#include <QTcpServer>
#include <gtest/gtest.h>

#include <sys/socket.h>

using namespace std::chrono_literals;
using pvx::testing::FdPeer;
using pvx::testing::kNetworkLine;
using pvx::testing::kSerialLine;
using pvx::testing::PtyBridge;
using pvx::testing::resetConnection;
using pvx::testing::s;
using pvx::testing::TcpPeer;

TEST(BridgeBadInput, ClientsThatVanishResetOrFloodLeaveTheServerWorking)
{
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    // Neither a log that cannot be written nor an error program that cannot
    // start stops anything.
    f.files.failing.insert(f.log.path());
    f.settings.OnErrorRunApp = s("/nonexistent/error-program");
    f.launcher.fails = true;
    ASSERT_TRUE(f.activate());

    // Connect and vanish at once, several times over.
    for (int i = 0; i < 5; ++i) {
        QTcpSocket gone;
        gone.connectToHost(QHostAddress::LocalHost, f.port());
        ASSERT_TRUE(gone.waitForConnected(5000));
        gone.abort();
    }
    // One connects and says nothing; one resets in the middle of a stream;
    // one floods while the device reads nothing.
    TcpPeer silent;
    ASSERT_TRUE(f.connectClient(silent));
    TcpPeer resetter;
    ASSERT_TRUE(f.connectClient(resetter));
    resetter.socket().write(QByteArray(256 * 1024, 'r'));
    runEventsFor(50ms);
    resetConnection(resetter.socket());
    TcpPeer flood;
    ASSERT_TRUE(f.connectClient(flood));
    flood.socket().write(QByteArray(8 * 1024 * 1024, 'f'));
    runEventsFor(500ms);

    // The flood waits in the kernel, not in the program.
    EXPECT_LE(f.session->toSerialBuffer().count(), 8192);

    // Once the device reads, the reset is seen behind the data that was
    // held back, and the flood goes through.
    qint64 atDevice = 0;
    FdPeer device(f.device.master());
    device.receive([&](const QByteArray &bytes) { atDevice += bytes.size(); });
    ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == 2 && atDevice >= 8 * 1024 * 1024; }, 20s))
        << f.session->clients().clientCount() << " " << atDevice;
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (2)Connected"));

    // The device still reaches every client that is left.
    ASSERT_EQ(f.device.write("still here"), 10);
    ASSERT_TRUE(waitUntil([&] { return silent.socket().bytesAvailable() == 10; }, 5s));
    EXPECT_EQ(silent.socket().readAll(), QByteArray("still here"));
    EXPECT_FALSE(f.launcher.started.isEmpty());
    EXPECT_TRUE(f.files.files.isEmpty());
}

TEST(BridgeBadInput, AClientThatResetsLosesNothingItSentAndIsReported)
{
    // The device reads nothing at first, so what the client sends waits in
    // every queue up to the kernel's when the client resets; the device's
    // next bytes then find the connection gone.
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    TcpPeer client;
    ASSERT_TRUE(f.connectClient(client));
    const QByteArray sent = pvx::testing::ByteSource(64 * 1024, 3).pending();
    client.socket().write(sent);
    ASSERT_TRUE(waitUntil([&] { return pvx::testing::allAcknowledged(client.socket()); }, 5s));
    resetConnection(client.socket());
    ASSERT_EQ(f.device.write("to the client"), 13);

    QByteArray atDevice;
    FdPeer device(f.device.master());
    device.receive([&](const QByteArray &bytes) { atDevice += bytes; });
    ASSERT_TRUE(waitUntil([&] { return f.session->clients().socket(1).state() == pvx::platform::kSocketClosed; }, 10s));
    runEventsFor(100ms);
    EXPECT_EQ(atDevice.size(), sent.size());
    EXPECT_TRUE(atDevice == sent);
    EXPECT_EQ(f.session->clients().clientCount(), 0);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: Listening..."));
    EXPECT_TRUE(f.logText().contains(s("Porvix Error: TCP/IP Status: Error (Connection reset by peer), ")));
    EXPECT_TRUE(f.logText().contains(s("Porvix Error: Connection reset by peer, ")));
}

TEST(BridgeBadInput, ADeviceThatDisappearsIsReportedAndTheNetworkGoesOn)
{
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    TcpPeer client;
    ASSERT_TRUE(f.connectClient(client));

    f.device.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return f.status(kSerialLine).startsWith(s("COM Status: Error - ")); }, 5s))
        << f.status(kSerialLine).toStdString();
    EXPECT_FALSE(f.serialDevice->isOpen());
    EXPECT_TRUE(f.session->isActive());

    // Network data waits for the port; the connection stays.
    client.socket().write("for later");
    ASSERT_TRUE(waitUntil([&] { return f.session->toSerialBuffer().count() == 9; }, 5s));
    runEventsFor(200ms);
    EXPECT_EQ(client.socket().state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));

    f.session->toggleActive();
    EXPECT_FALSE(f.session->isActive());
    EXPECT_EQ(f.status(kSerialLine), s("COM Status: Closed"));
}
