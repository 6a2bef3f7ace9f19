// Sessions with remote line control: each connection's stage wired to the
// window's lists, the device, the sockets and the session's read bounds,
// and the data passing with 0xFF doubled on the wire.
#include "session/flow_limits.h"
#include "session/session.h"

#include "bridge_fixture.h"
#include "telnet_port/com_port_values.h"
#include "telnet_port/telnet_port.h"

#include <gtest/gtest.h>

using pvx::platform::StopBits;
using pvx::session::kMoveBudget;
using pvx::session::kOwedReadBound;
using pvx::session::kStallTicks;
using pvx::telnet_port::ComPortCommand;
using pvx::telnet_port::ComPortMessage;
using pvx::testing::BridgeFixture;
using pvx::testing::s;
using Role = BridgeFixture::Role;
using Side = BridgeFixture::Side;
using Cmd = ComPortCommand;

namespace {

/// The far end of one connection: reads what the session sent on a fake
/// socket and speaks back through it.
struct Peer {
    Peer(BridgeFixture &fixture, int index, pvx::telnet_port::Role role) : f(fixture), socket(index), port(role) {}

    /// Reads what the session sent since the last call.
    void read()
    {
        const QByteArray all = f.socket(socket).sentBytes();
        const auto input = port.receive(all.mid(seen));
        seen = all.size();
        data += input.data;
        if (!input.reply.isEmpty())
            f.socket(socket).arrive(input.reply);
        for (const auto &event : input.events) {
            if (const auto *message = std::get_if<ComPortMessage>(&event.what))
                messages.push_back(*message);
        }
    }
    /// Opens the negotiation from this side and takes the session's.
    void handshake()
    {
        f.socket(socket).arrive(port.start());
        read();
    }
    /// Sends `message` and returns the session's answers to it.
    std::vector<ComPortMessage> ask(const ComPortMessage &message)
    {
        messages.clear();
        f.socket(socket).arrive(port.encode(message));
        read();
        return messages;
    }

    BridgeFixture &f;
    int socket;
    pvx::telnet_port::TelnetPort port;
    qsizetype seen = 0;
    QByteArray data;
    std::vector<ComPortMessage> messages;
};

/// A server session with remote line control on, its device open, and one
/// client that has finished the negotiation.
struct TelnetServer : BridgeFixture {
    explicit TelnetServer(Side side = Side::RealPort, qint16 serverTcp = 0) : BridgeFixture(Role::Server, side)
    {
        window().options.Rfc2217 = 1;
        window().options.ServerTCPOptions = serverTcp;
    }
    Peer &connect()
    {
        peers.push_back(std::make_unique<Peer>(*this, connectClient(), pvx::telnet_port::Role::Client));
        peers.back()->handshake();
        return *peers.back();
    }
    std::vector<std::unique_ptr<Peer>> peers;
};

} // namespace

TEST(SessionTelnet, ARequestReachesTheListsAndTheDeviceOnlyFromAClientWhoseDataDoes)
{
    TelnetServer f(Side::RealPort, 2);
    f.activate();
    Peer &client = f.connect();
    Peer &second = f.connect();
    EXPECT_EQ(second.ask({Cmd::SetBaudRate, 19200, {}}).at(0).value, 9600u);
    EXPECT_EQ(client.ask({Cmd::SetBaudRate, 57600, {}}).at(0).value, 57600u);
    EXPECT_EQ(client.ask({Cmd::SetStopSize, 2, {}}).at(0).value, 2u);
    EXPECT_EQ(f.serial->lastSettings.baudRate, 57600);
    EXPECT_EQ(f.serial->lastSettings.stopBits, StopBits::Two);
    EXPECT_EQ(f.window().baudRate.text(), s("57600"));

    f.serial->openError = pvx::platform::makeError(pvx::platform::ErrorCode::Unsupported, s("refuses even parity"));
    EXPECT_EQ(client.ask({Cmd::SetParity, 3, {}}).at(0).value, 1u);
    EXPECT_EQ(client.ask({Cmd::SetParity, 3, {}}).at(0).value, 1u);
    EXPECT_EQ(f.window().parity.selectedIndex(), 0);
    EXPECT_EQ(f.serial->lastSettings.parity, pvx::platform::Parity::None) << "the device gets its settings back";
    EXPECT_EQ(f.logText().count(s("refuses even parity")), 1) << "logged once per connection";
}

TEST(SessionTelnet, DataPassesWithIacDoubledOnTheWireOnly)
{
    TelnetServer f;
    f.settings.PacketSize = 4;
    f.window().waitForTimeout.setValue(1);
    f.activate();
    Peer &client = f.connect();
    // Four payload bytes make a packet, however many go on the wire.
    f.serialSends(QByteArray("\xff\x01\xff\x02", 4));
    client.read();
    EXPECT_EQ(client.data, QByteArray("\xff\x01\xff\x02", 4));
    EXPECT_TRUE(f.socket(client.socket).sentBytes().endsWith(QByteArray("\xff\xff\x01\xff\xff\x02", 6)));

    f.socket(client.socket).arrive(QByteArray("a\xff\xff" "b", 4));
    EXPECT_EQ(f.serial->written, QByteArray("a\xff" "b", 3));
}

TEST(SessionTelnet, WithoutTheOptionNothingIsNegotiatedAndBytesPassAsTheyAre)
{
    BridgeFixture f(Role::Server);
    f.activate();
    const int client = f.connectClient();
    EXPECT_TRUE(f.socket(client).sentBytes().isEmpty());
    f.serialSends(QByteArray("\xff\xfb\x2c", 3));
    f.tick(10);
    EXPECT_EQ(f.socket(client).sentBytes(), QByteArray("\xff\xfb\x2c", 3));
    f.socket(client).arrive(QByteArray("\xff\xfa\x2c\x01", 4));
    EXPECT_EQ(f.serial->written, QByteArray("\xff\xfa\x2c\x01", 4));
}

TEST(SessionTelnet, SuspendHoldsBackThatClientAloneAndPurgeThrowsQueuedDataAway)
{
    TelnetServer f;
    f.activate();
    Peer &client = f.connect();
    Peer &other = f.connect();
    EXPECT_TRUE(client.ask({Cmd::FlowControlSuspend, 0, {}}).empty());
    f.serialSends("held");
    f.tick(10);
    client.read();
    other.read();
    EXPECT_EQ(client.data, QByteArray());
    EXPECT_EQ(other.data, QByteArray("held"));
    EXPECT_TRUE(client.ask({Cmd::FlowControlResume, 0, {}}).empty());
    f.tick(10);
    client.read();
    EXPECT_EQ(client.data, QByteArray("held"));

    // A pause that outlasts the stall time with a full queue ends the client.
    EXPECT_TRUE(client.ask({Cmd::FlowControlSuspend, 0, {}}).empty());
    const QByteArray more = pvx::testing::pattern(3 * f.session->packetizer().queue().capacity());
    f.serialSends(more);
    f.tick(kStallTicks);
    EXPECT_EQ(f.socket(client.socket).state(), pvx::platform::kSocketClosed);
    EXPECT_TRUE(f.logText().contains(s("it took no data for 10 seconds")));
    f.tick(10);
    other.read();
    EXPECT_EQ(other.data, QByteArray("held") + more);
    other.data.clear();

    // A device that takes nothing keeps the network's bytes queued: purged.
    f.serial->room = 0;
    f.socket(other.socket).arrive("queued");
    EXPECT_EQ(f.session->status().heldToSerial, 6);
    EXPECT_EQ(other.ask({Cmd::PurgeData, 2, {}}).at(0).value, 2u);
    EXPECT_EQ(f.session->status().heldToSerial, 0);
}

TEST(SessionTelnet, APeerThatAsksAndDoesNotReadIsReadNoFurtherAndInTheEndClosed)
{
    // A SET-CONTROL query, and an unknown option offered to either role: each is answered.
    const QByteArray query("\xff\xfa\x2c\x05\x00\xff\xf0", 7);
    const struct {
        Role role;
        qint16 serverTcp; // 2: the second client's data is ignored
        QByteArray request;
    } cases[] = {{Role::Server, 0, query}, {Role::Server, 0, "\xff\xfb\x63"}, {Role::Server, 2, query},
                 {Role::Client, 0, "\xff\xfd\x63"}};
    const int ticksToTheBound = static_cast<int>(2 * kOwedReadBound / kMoveBudget);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.request.toHex().toStdString() + " " + std::to_string(c.serverTcp));
        BridgeFixture f(c.role);
        f.window().options.Rfc2217 = 1;
        f.window().options.ServerTCPOptions = c.serverTcp;
        f.activate();
        int peer = 0;
        if (c.role == Role::Client)
            f.connectToServer();
        for (int i = 0; c.role == Role::Server && i <= c.serverTcp / 2; ++i)
            peer = f.connectClient();
        pvx::fakes::FakeSocket &socket = f.socket(peer);
        socket.queuesOutput = true;
        socket.arrive(c.request.repeated(4 * kOwedReadBound / c.request.size()));
        f.tick(ticksToTheBound);
        // No answer is longer than its request: one read's worth past the bound at most.
        EXPECT_LE(socket.bytesToWrite(), kOwedReadBound + kMoveBudget);
        const qsizetype unread = socket.incoming.size();
        socket.drainOutput(socket.bytesToWrite());
        f.tick(ticksToTheBound);
        EXPECT_LT(socket.incoming.size(), unread) << "read again once it took what it was owed";
        EXPECT_GT(socket.incoming.size(), 0);
        f.tick(kStallTicks);
        EXPECT_GE(socket.closeCalls, 1);
        EXPECT_TRUE(f.logText().contains(s("it took no data for 10 seconds")));
    }
}

TEST(SessionTelnet, ClientSendsItsLineAndReportsWhatTheServerSays)
{
    BridgeFixture f(Role::Client);
    f.window().options.Rfc2217 = 1;
    f.window().baudRate.select(11); // 57600
    f.window().stopBits.select(2);  // 2 stop bits
    f.activate();
    f.connectToServer();
    Peer server(f, 0, pvx::telnet_port::Role::Server);
    server.handshake();
    server.read();
    const std::vector<ComPortMessage> expected = {
        {Cmd::SetBaudRate, 57600, {}}, {Cmd::SetDataSize, 8, {}}, {Cmd::SetParity, 1, {}},
        {Cmd::SetStopSize, 2, {}},     {Cmd::SetControl, 1, {}},  {Cmd::SetControl, 8, {}},
        {Cmd::SetControl, 11, {}},
    };
    EXPECT_EQ(server.messages, expected);

    // Answers are only logged, and never change the lists.
    f.socket(0).arrive(server.port.encode({Cmd::SetBaudRate, 9600, {}}));
    EXPECT_EQ(f.window().baudRate.text(), s("57600"));
    EXPECT_EQ(f.logText().count(s("answered")), 1);

    EXPECT_EQ(f.session->status().modem, s("unknown"));
    f.socket(0).arrive(server.port.encode({Cmd::NotifyModemState, 0x90, {}}));
    EXPECT_EQ(f.session->status().modem, s("CTS CD"));
}

TEST(SessionTelnet, ClientTellsWhatTheProgramOnItsVirtualPortSetsBeforeAndAfterTheConnection)
{
    BridgeFixture f(Role::Client, Side::VirtualPort);
    f.window().options.Rfc2217 = 1;
    f.window().options.ConnectOnVirtualOpen = 0;
    f.vport->line.baudRate = 38400;
    f.activate();
    // The program set its rate before the connection was up.
    f.vport->line.baudRate = 19200;
    f.connectToServer();
    Peer server(f, 0, pvx::telnet_port::Role::Server);
    server.handshake();
    server.read();
    ASSERT_FALSE(server.messages.empty());
    EXPECT_EQ(server.messages[0], (ComPortMessage{Cmd::SetBaudRate, 19200, {}}));

    server.messages.clear();
    f.vport->line.stopBits = StopBits::Two;
    f.tick();
    server.read();
    EXPECT_EQ(server.messages, (std::vector<ComPortMessage>{{Cmd::SetStopSize, 2, {}}}));
}
