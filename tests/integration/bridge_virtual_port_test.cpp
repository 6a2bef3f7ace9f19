// A client session whose serial side is a virtual port, with the test
// playing the program that opens it.
#include "bridge_fixture.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using pvx::testing::ByteSink;
using pvx::testing::ByteSource;
using pvx::testing::FdPeer;
using pvx::testing::kNetworkLine;
using pvx::testing::openAsProgram;
using pvx::testing::ReadPace;
using pvx::testing::s;
using pvx::testing::ServedClient;
using pvx::testing::TcpPeer;

TEST(BridgeVirtualPort, MegabytesBothWaysArriveByteExact)
{
    ServedClient f(ServedClient::Serial::VirtualPort);
    ASSERT_TRUE(f.activate()) << f.status(pvx::testing::kSerialLine).toStdString();
    auto network = f.nextConnection();
    ASSERT_TRUE(network);
    const pvx::platform::UniqueFd program = f.openVirtualPort();
    ASSERT_TRUE(program.valid());
    ASSERT_TRUE(waitUntil([&] { return f.vport->isOpenedByApplication(); }, 5s));

    constexpr qint64 kTotal = 8 * 1024 * 1024;
    ByteSource fromProgram(kTotal, 11);
    ByteSource fromNetwork(kTotal, 12);
    ByteSink atNetwork;
    ByteSink atProgram;
    FdPeer programPeer(program.get());
    programPeer.send(fromProgram);
    programPeer.receive(atProgram, pvx::testing::ReadPace{4096});
    network->send(fromNetwork);
    network->receive(atNetwork);

    QElapsedTimer clock;
    clock.start();
    const bool done = waitUntil([&] { return atNetwork.count() == kTotal && atProgram.count() == kTotal; }, 60s);
    std::cout << "8 MiB each way through the virtual port in " << clock.elapsed() << " ms\n";
    ASSERT_TRUE(done) << atNetwork.count() << " / " << atProgram.count();
    EXPECT_EQ(atNetwork.checksum(), fromProgram.checksum());
    EXPECT_EQ(atProgram.checksum(), fromNetwork.checksum());
    EXPECT_LE(f.marks.socketUnsent, 8192);
}

// Busy sessions take turns at the event loop: a held session's port and
// connection raise nothing until they are read, and its turn must come.
TEST(BridgeVirtualPort, SessionsTakingTurnsLoseNothing)
{
    pvx::platform::QtTimerFactory timers;
    pvx::session::TurnShare share(timers);
    constexpr qint64 kTotal = 2 * 1024 * 1024;
    struct Bridge {
        explicit Bridge(pvx::session::TurnShare &share, int seed)
            : f(ServedClient::Serial::VirtualPort, &share), fromProgram(kTotal, seed), fromNetwork(kTotal, seed + 1)
        {
        }
        ServedClient f;
        std::unique_ptr<TcpPeer> network;
        pvx::platform::UniqueFd program;
        std::unique_ptr<FdPeer> programPeer;
        ByteSource fromProgram, fromNetwork;
        ByteSink atNetwork, atProgram;
    };
    std::vector<std::unique_ptr<Bridge>> bridges;
    for (int i = 0; i < 6; ++i) {
        auto &b = *bridges.emplace_back(std::make_unique<Bridge>(share, 20 + 2 * i));
        ASSERT_TRUE(b.f.activate()) << b.f.status(pvx::testing::kSerialLine).toStdString();
        b.network = b.f.nextConnection();
        ASSERT_TRUE(b.network);
        b.program = b.f.openVirtualPort();
        ASSERT_TRUE(waitUntil([&] { return b.f.vport->isOpenedByApplication(); }, 5s));
    }
    for (auto &b : bridges) {
        b->programPeer = std::make_unique<FdPeer>(b->program.get());
        b->programPeer->send(b->fromProgram);
        b->programPeer->receive(b->atProgram);
        b->network->send(b->fromNetwork);
        b->network->receive(b->atNetwork);
    }
    bool tookTurns = false;
    const bool done = waitUntil([&] {
        tookTurns = tookTurns || share.waitingCount() > 0;
        return std::all_of(bridges.begin(), bridges.end(), [](const auto &b) {
            return b->atNetwork.count() == kTotal && b->atProgram.count() == kTotal;
        });
    }, 60s);
    ASSERT_TRUE(done);
    for (const auto &b : bridges) {
        EXPECT_EQ(b->atNetwork.checksum(), b->fromProgram.checksum());
        EXPECT_EQ(b->atProgram.checksum(), b->fromNetwork.checksum());
    }
    EXPECT_TRUE(tookTurns);
}

TEST(BridgeVirtualPort, TheConnectionFollowsTheProgram)
{
    ServedClient f(ServedClient::Serial::VirtualPort);
    f.window().options.ConnectOnVirtualOpen = 1;
    f.window().bufferWhileClosed.setValue(1);
    ASSERT_TRUE(f.activate());
    runEventsFor(200ms);
    EXPECT_FALSE(f.server.hasPendingConnections());

    pvx::platform::UniqueFd program = f.openVirtualPort();
    ASSERT_TRUE(program.valid());
    auto network = f.nextConnection();
    ASSERT_TRUE(network);
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Connected"); }, 5s));

    program.reset();
    ASSERT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Closed"); }, 5s));
    EXPECT_TRUE(waitUntil([&] { return network->socket().state() == QAbstractSocket::UnconnectedState; }, 5s));

    // Opened again: connected again.
    program = f.openVirtualPort();
    network = f.nextConnection();
    ASSERT_TRUE(network);
    EXPECT_TRUE(waitUntil([&] { return f.status(kNetworkLine) == s("TCP/IP Status: Connected"); }, 5s));
}

TEST(BridgeVirtualPort, NetworkDataWaitsForTheProgramToOpenThePort)
{
    ServedClient f(ServedClient::Serial::VirtualPort);
    f.window().bufferWhileClosed.setValue(1);
    ASSERT_TRUE(f.activate());
    auto network = f.nextConnection();
    ASSERT_TRUE(network);
    network->socket().write("held for you");
    ASSERT_TRUE(waitUntil([&] { return f.session->toSerialBuffer().count() == 12; }, 5s));

    const pvx::platform::UniqueFd program = f.openVirtualPort();
    QByteArray received;
    FdPeer programPeer(program.get());
    programPeer.receive([&](const QByteArray &bytes) { received += bytes; });
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 12; }, 5s));
    EXPECT_EQ(received, QByteArray("held for you"));
}

TEST(BridgeVirtualPort, AFullPortSaysWhenItTakesBytesAgain)
{
    QTemporaryDir folder;
    pvx::platform::InotifyWatcher watcher;
    pvx::platform::PtyVirtualPort port(watcher, [&] { return folder.path(); });
    int writable = 0;
    port.setEvents({.dataReceived = {}, .openedChanged = {}, .writable = [&] { ++writable; }});
    ASSERT_TRUE(port.create(s("COM7")).ok());

    const pvx::platform::UniqueFd program = openAsProgram(port.devicePath());
    ASSERT_TRUE(waitUntil([&] { return port.isOpenedByApplication(); }, 5s));
    const QByteArray chunk(4096, 'x');
    const auto fill = [&] {
        while (port.write(chunk) == chunk.size()) {
        }
    };
    fill();
    // The kernel may still move bytes along inside the terminal and make
    // room once more: fill again until the port stays full.
    for (int round = 0; round < 10; ++round) {
        runEventsFor(100ms);
        if (writable == 0)
            break;
        writable = 0;
        fill();
    }
    EXPECT_EQ(writable, 0);

    char buffer[4096];
    while (::read(program.get(), buffer, sizeof buffer) > 0) {
    }
    EXPECT_TRUE(waitUntil([&] { return writable == 1; }, 5s));
    EXPECT_GT(port.write(chunk), 0);
}
