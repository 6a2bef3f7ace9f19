// Activation and deactivation on real devices and sockets: a pseudo-terminal
// stands in for the serial device named in [Ports], loopback for the network.
#include "platform/linux/inotify_watcher.h"
#include "platform/linux/pty_virtual_port.h"
#include "support/pty_device.h"
#include "support/real_session.h"
#include "support/text.h"
#include "session/serial_settings_text.h"
#include "support/wait_until.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <termios.h>

using pvx::testing::s;

using pvx::testing::Pty;
using pvx::testing::RealSession;

namespace {

constexpr auto kSerial = pvx::session::StatusLine::Serial;
constexpr auto kNetwork = pvx::session::StatusLine::Network;

/// A server session on COM3, which is the pty's slave, listening on a free
/// loopback port.
struct PtyServer : RealSession {
    PtyServer()
    {
        ports.devices.insert(3, pty.slave());
        window().connector.select(3);
        window().serverRoleButton.setValue(1);
        window().localAddress.setText(s("127.0.0.1"));
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        window().portNumber.setText(QString::number(probe.serverPort()));
    }
    int port() { return window().portNumber.text().toInt(); }

    Pty pty;
};

} // namespace

TEST(ActivationOnRealParts, ServerOpensThePtyAndListens)
{
    PtyServer f;
    ASSERT_TRUE(f.pty.ok());
    f.session->toggleActive();
    ASSERT_TRUE(f.session->isActive()) << f.status(kSerial).toStdString() << " / " << f.status(kNetwork).toStdString();
    EXPECT_EQ(f.status(kSerial), s("COM Status: Open"));
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Listening..."));
    EXPECT_EQ(f.window().statusLine(kSerial).toolTip(), f.pty.slave());

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(f.port()));
    EXPECT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }, 5000));

    f.session->toggleActive();
    EXPECT_FALSE(f.session->isActive());
    EXPECT_EQ(f.status(kSerial), s("COM Status: Closed"));
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Closed"));
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(f.port()));
    EXPECT_TRUE(waitUntil([&] { return late.state() == QAbstractSocket::UnconnectedState; }, 5000));
}

TEST(ActivationOnRealParts, SettingsThePtyRefusesEndInTheErrorStatus)
{
    PtyServer f;
    ASSERT_TRUE(f.pty.ok());
    f.window().dataBits.select(2);  // 7 data bits
    f.session->toggleActive();
    EXPECT_FALSE(f.session->isActive());
    EXPECT_TRUE(f.status(kSerial).startsWith(s("COM Status: Error - ") + f.pty.slave())) << f.status(kSerial).toStdString();
    EXPECT_TRUE(f.status(kSerial).contains(s("7 data bits")));
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status:"));
}

TEST(ActivationOnRealParts, SettingsCommandReachesTheOpenPortAndARefusalLeavesItAsItWas)
{
    PtyServer f;
    ASSERT_TRUE(f.pty.ok());
    f.settings.LogErrors = 1;
    f.session->toggleActive();
    ASSERT_TRUE(f.session->isActive());
    EXPECT_TRUE(f.session->runCommand(s("[COMSETTINGS=19200,N,8,2]")));
    termios line{};
    ASSERT_EQ(::tcgetattr(f.pty.master(), &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B19200));
    EXPECT_TRUE(line.c_cflag & CSTOPB);

    // A pseudo-terminal refuses 7 data bits and 1.5 stop bits: nothing of the command stays.
    for (const char *refused : {"[COMSETTINGS=9600,E,7,1]", "[COMSETTINGS=9600,N,8,1.5]"}) {
        EXPECT_FALSE(f.session->runCommand(s(refused))) << refused;
        ASSERT_EQ(::tcgetattr(f.pty.master(), &line), 0);
        EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B19200)) << refused;
        EXPECT_TRUE(line.c_cflag & CSTOPB) << refused;
        EXPECT_EQ(pvx::session::settingsString(f.window()), s("19200,N,8,2")) << refused;
    }
    EXPECT_EQ(f.status(kSerial), s("COM Status: Open"));
    const QString log = QString::fromUtf8(f.files.files.value(f.log.path()));
    EXPECT_TRUE(log.contains(s("Serial settings 9600,E,7,1 not applied")));
    EXPECT_TRUE(f.serialDevice->isOpen());
}

TEST(ActivationOnRealParts, AMissingDeviceIsWaitedForAndWhatIsNoSerialDeviceFails)
{
    const struct {
        const char *device;
        const char *status;
        bool active;
    } cases[] = {
        {"/nonexistent/ttyX", "COM Status: Waiting for the device /nonexistent/ttyX", true},
        {"/tmp", "COM Status: Error - /tmp: Is a directory", false},
        {"/dev/null", "COM Status: Error - /dev/null: not a serial device", false},
        {"/dev/ptmx", "COM Status: Error - /dev/ptmx: not a serial device", false},
        {"/dev/tty", "COM Status: Error - /dev/tty: not a serial device", false},
    };
    for (const auto &c : cases) {
        PtyServer f;
        f.ports.devices.insert(3, s(c.device));
        f.session->toggleActive();
        EXPECT_EQ(f.session->isActive(), c.active) << c.device;
        EXPECT_EQ(f.status(kSerial).toStdString(), c.status);
    }
}

TEST(ActivationOnRealParts, BindConflictClosesTheSerialPortAgain)
{
    PtyServer f;
    ASSERT_TRUE(f.pty.ok());
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    f.window().portNumber.setText(QString::number(holder.serverPort()));
    f.session->toggleActive();
    EXPECT_FALSE(f.session->isActive());
    EXPECT_EQ(f.status(kSerial), s("COM Status: Closed"));
    EXPECT_TRUE(f.status(kNetwork).startsWith(s("TCP/IP Status: Error - Address already in use")))
        << f.status(kNetwork).toStdString();
    EXPECT_FALSE(f.serialDevice->isOpen());

    // The device is free again: a second session run can open it.
    holder.close();
    f.session->toggleActive();
    EXPECT_TRUE(f.session->isActive());
}

TEST(ActivationOnRealParts, ClientConnectingToAClosedPortStillActivates)
{
    PtyServer f;
    ASSERT_TRUE(f.pty.ok());
    f.window().clientRoleButton.setValue(1);
    f.window().remoteHost.setText(s("127.0.0.1"));
    f.session->toggleActive();
    EXPECT_TRUE(f.session->isActive());
    EXPECT_EQ(f.status(kNetwork), s("TCP/IP Status: Connecting..."));
}

namespace {

/// A client session whose serial side is a real virtual port in a folder of
/// the test.
struct VirtualClient {
    VirtualClient()
        : session(std::make_unique<pvx::platform::PtyVirtualPort>(watcher, [this] { return folder.path(); }))
    {
        auto &w = session.window();
        w.connector.select(5);
        w.useVirtualPort.setValue(1);
        w.remoteHost.setText(s("127.0.0.1"));
        w.portNumber.setText(s("9"));
        w.options.ConnectOnVirtualOpen = 1;
    }
    QString link() const { return folder.filePath(s("COM5")); }

    QTemporaryDir folder;
    pvx::platform::InotifyWatcher watcher;
    RealSession session;
};

} // namespace

TEST(ActivationOnRealParts, VirtualPortAppearsAndGoesWithTheSession)
{
    VirtualClient f;
    f.session.session->toggleActive();
    ASSERT_TRUE(f.session.session->isActive()) << f.session.status(kSerial).toStdString();
    EXPECT_EQ(f.session.status(kSerial), s("Virtual Port COM5 created"));
    EXPECT_TRUE(QFileInfo(f.link()).isSymLink());

    f.session.session->toggleActive();
    EXPECT_FALSE(f.session.session->isActive());
    EXPECT_EQ(f.session.status(kSerial), s("Virtual port closed"));
    EXPECT_FALSE(QFileInfo::exists(f.link()));
    EXPECT_FALSE(QFileInfo(f.link()).isSymLink());
}

TEST(ActivationOnRealParts, ForeignFileUnderThePortNameIsLeftAlone)
{
    VirtualClient f;
    QFile foreign(f.link());
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("not ours");
    foreign.close();
    f.session.session->toggleActive();
    EXPECT_FALSE(f.session.session->isActive());
    EXPECT_EQ(f.session.status(kSerial), s("Cannot create virtual COM5"));
    EXPECT_TRUE(f.session.window().statusLine(kSerial).toolTip().contains(f.link()));
    ASSERT_TRUE(foreign.open(QIODevice::ReadOnly));
    EXPECT_EQ(foreign.readAll(), QByteArray("not ours"));
}

TEST(ActivationOnRealParts, FolderOthersMayWriteIntoIsNamedInTheToolTipAndTheLog)
{
    VirtualClient f;
    f.session.settings.LogErrors = 1;
    ASSERT_EQ(::chmod(QFile::encodeName(f.folder.path()).constData(), 0777), 0);
    f.session.session->toggleActive();
    EXPECT_FALSE(f.session.session->isActive());
    EXPECT_EQ(f.session.status(kSerial), s("Cannot create virtual COM5"));
    const QString reason = s("The virtual port folder %1 is writable by group or others (mode 0777)").arg(f.folder.path());
    EXPECT_EQ(f.session.window().statusLine(kSerial).toolTip(), reason);
    const QString log = QString::fromUtf8(f.session.files.files.value(f.session.log.path()));
    EXPECT_TRUE(log.contains(s("Porvix Error: Cannot create virtual COM5 (") + reason + s("), "))) << log.toStdString();
    EXPECT_FALSE(QFileInfo(f.link()).isSymLink());
}
