// A client that stops reading holds the bridge back only for a while.
#include "bridge_fixture.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using pvx::testing::ByteSink;
using pvx::testing::ByteSource;
using pvx::testing::FdPeer;
using pvx::testing::kNetworkLine;
using pvx::testing::PtyBridge;
using pvx::testing::s;
using pvx::testing::TcpPeer;

TEST(BridgeStall, AClientThatStopsReadingIsClosedAndTheOthersGoOn)
{
    PtyBridge f(PtyBridge::Role::Server);
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    TcpPeer stuck;
    TcpPeer healthy;
    for (TcpPeer *client : {&stuck, &healthy}) {
        const int before = f.session->clients().clientCount();
        client->connectTo(f.port());
        ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == before + 1; }, 5s));
    }
    // Small kernel buffers fill soon once the client stops reading.
    stuck.socket().setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    stuck.stopReading();

    // Far more than the stuck client's kernel buffers hold.
    ByteSource fromDevice(16 * 1024 * 1024, 7);
    ByteSink atHealthy;
    FdPeer device(f.device.master());
    device.send(fromDevice);
    healthy.receive(atHealthy);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return f.session->clients().clientCount() == 1; }, 40s));
    EXPECT_EQ(f.session->clients().socket(1).state(), pvx::platform::kSocketClosed);
    EXPECT_GE(clock.elapsed(), 9000);
    EXPECT_TRUE(f.logText().contains(s("Connection to 127.0.0.1 closed: it took no data for 10 seconds")));
    EXPECT_EQ(f.status(kNetworkLine), s("TCP/IP Status: (1)Connected"));

    ASSERT_TRUE(waitUntil([&] { return atHealthy.count() == 16 * 1024 * 1024; }, 40s)) << atHealthy.count();
    EXPECT_EQ(atHealthy.checksum(), fromDevice.checksum());
    EXPECT_LE(f.marks.socketUnsent, 8192);
}
