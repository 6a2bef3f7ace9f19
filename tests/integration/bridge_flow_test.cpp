// Flow control end to end: a client session between a loopback server and a
// pseudo-terminal device, with readers slower than the writers on both sides.
#include "bridge_fixture.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <iostream>

using namespace std::chrono_literals;
using pvx::testing::ByteSink;
using pvx::testing::ByteSource;
using pvx::testing::FdPeer;
using pvx::testing::ReadPace;
using pvx::testing::ServedClient;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

} // namespace

TEST(BridgeFlow, SixtyFourMebibytesEachWayWithSlowReadersLoseNothing)
{
    ServedClient f;
    ASSERT_TRUE(f.device.ok());
    ASSERT_TRUE(f.activate());
    auto network = f.nextConnection();
    ASSERT_TRUE(network);
    FdPeer device(f.device.master());

    const qint64 total = 64 * kMiB;
    ByteSource fromDevice(total, 1);
    ByteSource fromNetwork(total, 2);
    ByteSink atNetwork;
    ByteSink atDevice;
    // Both readers take less per millisecond than the writers offer.
    device.send(fromDevice);
    network->send(fromNetwork);
    device.receive(atDevice, ReadPace{16 * 1024});
    network->receive(atNetwork, ReadPace{16 * 1024});

    QElapsedTimer clock;
    clock.start();
    const bool done = waitUntil([&] { return atNetwork.count() == total && atDevice.count() == total; }, 100s);
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    std::cout << "64 MiB each way in " << seconds << " s (" << 128.0 / seconds << " MiB/s both ways); high water: "
              << f.marks.socketUnsent << " unsent on the socket, " << f.marks.serialUnsent << " unsent on the port\n";

    ASSERT_TRUE(done) << atNetwork.count() << " / " << atDevice.count();
    EXPECT_EQ(atNetwork.checksum(), fromDevice.checksum());
    EXPECT_EQ(atDevice.checksum(), fromNetwork.checksum());
    EXPECT_LE(f.marks.socketUnsent, 8192);
    EXPECT_LE(f.marks.serialUnsent, 8192);
    EXPECT_LE(f.session->packetizer().queue().count(), 8192);
}
