#include "session/session.h"

#include "support/text.h"
#include "support/session_fixture.h"

#include <gtest/gtest.h>

#include <functional>

using pvx::testing::s;

using pvx::platform::ErrorCode;
using pvx::platform::makeError;
using pvx::testing::SessionFixture;

namespace {

constexpr auto kSerial = pvx::session::StatusLine::Serial;
constexpr auto kNetwork = pvx::session::StatusLine::Network;

/// A client session on COM4 (a fake device) talking to 192.0.2.1:5000.
struct ClientSession : SessionFixture {
    ClientSession()
    {
        ports.devices.insert(4, s("/dev/fake4"));
        window().connector.select(4);
        window().remoteHost.setText(s("192.0.2.1"));
        window().portNumber.setText(s("5000"));
    }
};

struct ServerSession : ClientSession {
    ServerSession() { window().serverRoleButton.setValue(1); }
};

bool settingsLocked(pvx::session::SessionWindow &w)
{
    return !w.connector.isEnabled() && !w.bufferSize.isEnabled() && !w.ioOptionsButton.isEnabled()
           && !w.clientRoleButton.isEnabled() && !w.serverRoleButton.isEnabled() && !w.remoteHost.isEnabled()
           && !w.portNumber.isEnabled() && !w.localAddress.isEnabled() && !w.useVirtualPort.isEnabled()
           && !w.useUdp.isEnabled() && w.bufferWhileClosed.isEnabled() && w.timeoutValue.isEnabled();
}

} // namespace

TEST(Activation, AddressIsCheckedBeforeThePort)
{
    ClientSession f;
    f.window().remoteHost.setText(QString());
    f.window().portNumber.setText(s("70000"));
    f.session->toggleActive();
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Error - Invalid IP Address"));
    EXPECT_FALSE(f.session->isActive());
    EXPECT_EQ(f.serial->openCalls, 0);
}

TEST(Activation, PortRangeIsChecked)
{
    const struct {
        const char *port;
        bool accepted;
    } cases[] = {{"", true},       {"0", true},      {"65535", true}, {"65536", false},
                 {"-1", false},    {"abc", true},    {"80x", true},   {"65535.7", false}};
    for (const auto &c : cases) {
        ServerSession f;
        f.window().portNumber.setText(s(c.port));
        f.session->toggleActive();
        EXPECT_EQ(f.session->isActive(), c.accepted) << c.port;
        if (!c.accepted) {
            EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Error - Invalid Port Number")) << c.port;
        }
    }
}

TEST(Activation, ServerIgnoresTheHiddenRemoteAddress)
{
    ServerSession f;
    f.window().remoteHost.setText(QString());
    f.session->toggleActive();
    EXPECT_TRUE(f.session->isActive());
    EXPECT_EQ(f.socket(0).boundPort, 5000);
    EXPECT_EQ(f.socket(0).boundAddress, s("192.0.2.10"));
    EXPECT_EQ(f.socket(0).listenCalls, 1);
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Listening..."));
    EXPECT_EQ(f.status(kSerial), s("COM Status: Open"));
    EXPECT_EQ(f.window().role(), pvx::session::Role::Server);
}

TEST(Activation, ConnectorNoneResetsTheStatusLinesAndStaysInactive)
{
    for (const bool named : {false, true}) {
        ClientSession f;
        f.window().connector.select(0);
        if (named)
            f.window().setWindowName(s("Weighbridge"));
        f.window().statusLine(kSerial).setCaption(s("something"));
        f.session->toggleActive();
        EXPECT_EQ(f.window().caption(), named ? s("Weighbridge") : s("New - RS232 to TCP/IP"));
        EXPECT_EQ(f.status(kSerial), s("COM Status:"));
        EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status:"));
        EXPECT_EQ(f.window().activateButton.caption(), s("Activate"));
    }
}

TEST(Activation, ClientConnectsOnTheRealPortAndLocksTheSettings)
{
    ClientSession f;
    f.window().flowControl.select(3);  // Opto-RS
    f.session->toggleActive();
    EXPECT_EQ(f.serial->lastDevice, s("/dev/fake4"));
    EXPECT_EQ(f.serial->lastSettings.baudRate, 9600);
    EXPECT_EQ(f.serial->lastSettings.handshaking, pvx::platform::Handshaking::RtsCts);
    EXPECT_FALSE(f.serial->lastSettings.dtr);
    EXPECT_EQ(f.serial->lastSettings.driverBufferSize, 8192);
    EXPECT_EQ(f.socket(0).remoteHost(), s("192.0.2.1"));
    EXPECT_EQ(f.socket(0).remotePort(), 5000);
    EXPECT_EQ(f.socket(0).connectCalls, 1);
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Connecting..."));
    EXPECT_EQ(f.window().caption(), s("COM4 - RS232 to TCP/IP"));
    EXPECT_EQ(f.window().activateButton.caption(), s("De-Activate"));
    EXPECT_EQ(f.session->packetizer().queue().capacity(), 8192);
    EXPECT_TRUE(settingsLocked(f.window()));
}

TEST(Activation, UnknownConnectorTextFailsAtTheSerialSide)
{
    ClientSession f;
    f.window().connector.setText(s("ttyUSB0"));
    f.session->toggleActive();
    EXPECT_TRUE(f.status(kSerial).startsWith(s("COM Status: Error - COM-1")));
    EXPECT_FALSE(f.session->isActive());

    f.window().useVirtualPort.setValue(1);
    f.session->toggleActive();
    EXPECT_EQ(f.status(kSerial), s("Cannot create virtual COM-1"));
    EXPECT_TRUE(f.vport->createdNames.isEmpty());
}

TEST(Activation, SerialFailuresEndInTheirStatus)
{
    ClientSession f;
    f.serial->openError = makeError(ErrorCode::AccessDenied, s("/dev/fake4: Permission denied"));
    f.session->toggleActive();
    EXPECT_EQ(f.status(kSerial), s("COM Status: Error - /dev/fake4: Permission denied"));
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.socket(0).connectCalls, 0);

    f.serial->openError.reset();
    f.serial->opensAsReported = false;
    f.session->toggleActive();
    EXPECT_EQ(f.status(kSerial), s("COM Status: Error - Port not available"));
    EXPECT_FALSE(f.session->isActive());
}

TEST(Activation, VirtualPortThatCannotBeCreatedLeavesTheNetworkAlone)
{
    ClientSession f;
    f.window().connector.select(7);
    f.window().useVirtualPort.setValue(1);
    f.vport->createError = makeError(ErrorCode::Busy, s("/run/porvix/COM7: in use by another program"));
    f.session->toggleActive();
    EXPECT_EQ(f.status(kSerial), s("Cannot create virtual COM7"));
    EXPECT_EQ(f.window().activateButton.caption(), s("Activate"));
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status:"));
    EXPECT_EQ(f.socket(0).connectCalls, 0);
}

TEST(Activation, StatusReasonIsTheToolTipAndGoesIntoTheLog)
{
    ClientSession f;
    f.settings.LogErrors = 1;
    f.window().useVirtualPort.setValue(1);
    // What a receiver of statusChanged sees: the text and, at that moment, the tool tip.
    QStringList seen;
    QObject::connect(f.session.get(), &pvx::session::Session::statusChanged,
                     [&f, &seen](pvx::session::StatusLine line, const QString &text) {
                         seen.append(text + s(" | ") + f.window().statusLine(line).toolTip());
                     });

    for (const char *reason : {"held by process 1234", "owned by another user"}) {
        f.vport->createError = makeError(ErrorCode::Busy, s(reason));
        f.session->toggleActive();
    }
    f.vport->createError.reset();
    f.session->toggleActive();
    f.socket(0).setState(pvx::platform::kSocketClosed);
    f.session->toggleActive();

    EXPECT_EQ(seen, (QStringList{s("Cannot create virtual COM4 | held by process 1234"),
                                 s("Cannot create virtual COM4 | owned by another user"),
                                 s("Virtual Port COM4 created | /fake/COM4"), s("TCP/IP Status: Connecting... | "),
                                 s("Virtual port closed | "), s("TCP/IP Status: Closed | ")}));
    EXPECT_TRUE(f.window().statusLine(kSerial).toolTip().isEmpty());
    const QString log = QString::fromUtf8(f.files.files.value(f.log.path()));
    EXPECT_TRUE(log.contains(s("Porvix Error: Cannot create virtual COM4 (held by process 1234), ")));
    EXPECT_TRUE(log.contains(s("Porvix Error: Cannot create virtual COM4 (owned by another user), ")));
    EXPECT_TRUE(log.contains(s("Porvix Error: Virtual port closed, ")));
}

TEST(Activation, BufferSizeWithoutAUsableChoiceTakesTheDefault)
{
    const std::function<void(pvx::core::Control &)> spoil[] = {
        [](pvx::core::Control &sizes) { sizes.select(-1); },
        [](pvx::core::Control &sizes) { sizes.setText(s("0")); },
        [](pvx::core::Control &sizes) { sizes.setText(s("-1")); },
    };
    for (const bool virtualPort : {false, true}) {
        for (const auto &how : spoil) {
            ClientSession f;
            f.window().useVirtualPort.setValue(virtualPort ? 1 : 0);
            how(f.window().bufferSize);
            f.session->toggleActive();
            ASSERT_TRUE(f.session->isActive());
            EXPECT_EQ(f.window().bufferSize.selectedIndex(), 2);
            EXPECT_EQ(f.session->packetizer().queue().capacity(), 8192);
            EXPECT_EQ(f.session->toSerialBuffer().capacity(), 8192);
        }
    }
}

TEST(Activation, VirtualClientWaitingForTheOpenMakesNoConnection)
{
    ClientSession f;
    f.window().useVirtualPort.setValue(1);
    f.window().options.ConnectOnVirtualOpen = 1;
    f.session->toggleActive();
    EXPECT_EQ(f.status(kSerial), s("Virtual Port COM4 created"));
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status:"));
    EXPECT_EQ(f.window().statusLine(kNetwork).toolTip(), s("Waiting for a program to open the virtual port /fake/COM4"));
    EXPECT_EQ(f.socket(0).connectCalls, 0);
    EXPECT_EQ(f.window().activateButton.caption(), s("De-Activate"));
    EXPECT_EQ(f.serial->openCalls, 0);
    EXPECT_EQ(f.vport->removeCalls, 1);  // a left-over port goes first
}

TEST(Activation, BindConflictRollsEverythingBack)
{
    ServerSession f;
    f.socket(0).bindError = makeError(ErrorCode::AddressInUse, s("Address in use"));
    f.session->toggleActive();
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Error - Address in use"));
    EXPECT_EQ(f.status(kSerial), s("COM Status: Closed"));
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.socket(0).remoteHost(), QString());
    EXPECT_EQ(f.socket(0).remotePort(), 0);
    EXPECT_EQ(f.window().activateButton.caption(), s("Activate"));
    EXPECT_TRUE(f.window().connector.isEnabled());
}

TEST(Activation, FailedConnectRemovesTheVirtualPort)
{
    for (const bool removable : {true, false}) {
        ClientSession f;
        f.window().useVirtualPort.setValue(1);
        f.socket(0).connectError = makeError(ErrorCode::HostNotFound, s("Host not found"));
        if (!removable)
            f.vport->removeError = makeError(ErrorCode::IoError, s("busy"));
        f.session->toggleActive();
        EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Error - Host not found"));
        EXPECT_EQ(f.status(kSerial), removable ? s("Virtual port closed") : s("Virtual port not closed"));
        EXPECT_FALSE(f.session->isActive());
    }
}

TEST(Activation, UdpBindsInBothRoles)
{
    ServerSession server;
    server.window().useUdp.setValue(1);
    server.session->toggleActive();
    EXPECT_EQ(server.socket(0).protocol(), pvx::platform::SocketProtocol::Udp);
    EXPECT_EQ(server.socket(0).remotePort(), 5000);
    EXPECT_EQ(server.socket(0).listenCalls, 0);
    EXPECT_EQ(server.status(kNetwork), s("TCP/IP Status: Listening..."));

    ClientSession client;
    client.window().useUdp.setValue(1);
    client.socket(0).bindError = makeError(ErrorCode::AddressInUse, s("in use"));
    client.session->toggleActive();
    EXPECT_TRUE(client.session->isActive());  // a failed client bind is ignored
    EXPECT_EQ(client.socket(0).connectCalls, 0);
    EXPECT_EQ(client.status(kNetwork), s("TCP/IP Status: Connecting..."));
}

TEST(Activation, DeactivationClosesEverythingAndUnlocks)
{
    ServerSession f;
    f.session->toggleActive();
    ASSERT_TRUE(f.session->isActive());
    f.socket(0).events.connectionRequest(1);
    f.socket(0).events.connectionRequest(2);
    ASSERT_EQ(f.session->clients().clientCount(), 2);
    f.nextTurnTimer().start();
    f.session->toggleActive();
    for (const pvx::fakes::FakeTimer *timer : f.timers.created)
        EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(f.status(kSerial), s("COM Status: Closed"));
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Closed"));
    EXPECT_EQ(f.socket(0).state(), pvx::platform::kSocketClosed);
    EXPECT_EQ(f.socket(0).localPort(), 0);
    EXPECT_EQ(f.session->clients().clientCount(), 0);
    EXPECT_EQ(f.socket(2).state(), pvx::platform::kSocketClosed);
    EXPECT_FALSE(f.serial->isOpen());
    EXPECT_EQ(f.window().activateButton.caption(), s("Activate"));
    EXPECT_EQ(f.window().caption(), s("COM4 - RS232 to TCP/IP"));
    EXPECT_TRUE(f.window().connector.isEnabled());
    EXPECT_TRUE(f.window().serverRoleButton.isEnabled());
}

TEST(Activation, VirtualPortThatCannotBeRemovedKeepsTheSessionActive)
{
    ClientSession f;
    f.window().useVirtualPort.setValue(1);
    f.session->toggleActive();
    ASSERT_TRUE(f.session->isActive());
    f.vport->removeError = makeError(ErrorCode::IoError, s("busy"));
    f.session->toggleActive();
    EXPECT_EQ(f.status(kSerial), s("Virtual port not closed"));
    EXPECT_TRUE(f.session->isActive());
    EXPECT_EQ(f.socket(0).closeCalls, 1);  // only the close before connecting
}

TEST(Activation, ReactivationStartsWithEmptyBuffers)
{
    ClientSession f;
    f.session->toggleActive();
    f.session->packetizer().queue().append("left over");
    f.session->toSerialBuffer().append("also left");
    f.session->toggleActive();
    EXPECT_EQ(f.session->packetizer().queue().count(), 9);
    f.socket(0).setState(pvx::platform::kSocketClosed);
    f.session->toggleActive();
    EXPECT_EQ(f.session->packetizer().queue().count(), 0);
    EXPECT_EQ(f.session->toSerialBuffer().count(), 0);
}

TEST(Activation, NamedWindowKeepsItsName)
{
    ClientSession f;
    f.window().setWindowName(s("Scale"));
    f.session->toggleActive();
    EXPECT_EQ(f.window().caption(), s("Scale"));
}

TEST(ConnectedClients, ListsConnectedPeersInTheServerRoleOnly)
{
    ServerSession f;
    f.socket(0).setState(pvx::platform::kSocketListening);
    f.session->showConnectedClients();
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_EQ(f.dialogs.messages[0].title, s("Connected Clients:"));
    EXPECT_EQ(f.dialogs.messages[0].text, QString());

    f.window().clientRoleButton.setValue(1);
    f.session->showConnectedClients();
    EXPECT_EQ(f.dialogs.messages.size(), 1);
}
