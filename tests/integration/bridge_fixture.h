#pragma once

#include "bridge_peers.h"
#include "bridge_recorders.h"
#include "core/port_map.h"
#include "fakes/fake_dialogs.h"
#include "platform/linux/inotify_device_watch.h"
#include "platform/linux/inotify_watcher.h"
#include "platform/linux/pty_virtual_port.h"
#include "platform/linux/qt_network_info.h"
#include "platform/linux/qt_timer.h"
#include "platform/linux/unique_fd.h"
#include "resources/string_table.h"
#include "session/flow_limits.h"
#include "session/pump_tick.h"
#include "session/session.h"
#include "support/fake_log_services.h"
#include "support/pty_device.h"
#include "support/text.h"
#include "support/wait_until.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <termios.h>

#include <memory>

#include <gtest/gtest.h>

namespace pvx::testing {

inline constexpr auto kSerialLine = session::StatusLine::Serial;
inline constexpr auto kNetworkLine = session::StatusLine::Network;

/// A free loopback port (nothing listens on it once this returns).
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// Opens a port's device as another program would: raw and, for the event
/// loop, non-blocking. Closing the descriptor closes the port.
inline platform::UniqueFd openAsProgram(const QString &path)
{
    platform::UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios raw{};
    if (fd.valid() && ::tcgetattr(fd.get(), &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd.get(), TCSANOW, &raw);
    }
    return fd;
}

/// A session on real sockets and timers whose serial side is a
/// pseudo-terminal: a real serial port opened on a pty's slave (the test
/// plays the device on the master), or a real virtual port (the test opens it
/// as another program would). The queues the session leaves on its sockets
/// and port are recorded.
struct PtyBridge : FakeLogServices {
    enum class Role {
        Client,
        Server,
    };
    enum class Serial {
        Device,
        VirtualPort,
    };

    /// `share`: the event loop's share of several bridges (else their own).
    explicit PtyBridge(Role role, Serial serial = Serial::Device, bool udp = false, session::TurnShare *share = nullptr)
    {
        settings.LogErrors = 1;
        auto serialPort = std::make_unique<RecordingSerialPort>(marks);
        auto virtualPort = std::make_unique<platform::PtyVirtualPort>(watcher, [this] { return folder.path(); });
        serialDevice = serialPort.get();
        vport = virtualPort.get();
        session = std::make_unique<session::Session>(
            session::SessionServices{{strings, dialogs, network, {}}, sockets, timers, ports,
                                     settings, log, pings, pump, share ? *share : turns, deviceWatch, traceFiles},
            session::SessionDevices{std::move(serialPort), std::move(virtualPort)});
        ports.devices.insert(3, device.slave());
        window().connector.select(3);
        window().useVirtualPort.setValue(serial == Serial::VirtualPort ? 1 : 0);
        window().useUdp.setValue(udp ? 1 : 0);
        window().portNumber.setText(QString::number(freePort()));
        if (role == Role::Server) {
            window().serverRoleButton.setValue(1);
            window().localAddress.setText(s("127.0.0.1"));
        } else {
            window().remoteHost.setText(s("127.0.0.1"));
        }
    }

    session::SessionWindow &window() { return session->window(); }
    QString status(session::StatusLine line) { return window().statusLine(line).caption(); }
    quint16 port() { return static_cast<quint16>(window().portNumber.text().toInt()); }
    QString logText() { return QString::fromUtf8(files.files.value(log.path())); }

    /// Activates; true when the session is active.
    bool activate()
    {
        session->toggleActive();
        return session->isActive();
    }

    /// Connects `client` to the server session and waits until it is counted.
    bool connectClient(TcpPeer &client)
    {
        const int before = session->clients().clientCount();
        client.connectTo(port());
        return waitUntil([&] { return client.connected() && session->clients().clientCount() == before + 1; }, 5000);
    }

    /// Opens the session's virtual port as another program would.
    platform::UniqueFd openVirtualPort() { return openAsProgram(vport->devicePath()); }

    HighWater marks;
    Pty device;
    QTemporaryDir folder;
    platform::InotifyWatcher watcher;
    platform::InotifyDeviceWatch deviceWatch{watcher};
    resources::StringTable strings{resources::Language::English};
    fakes::FakeDialogs dialogs;
    platform::QtNetworkInfo network;
    RecordingSocketFactory sockets{marks};
    platform::QtTimerFactory timers;
    session::PumpTick pump{timers, session::kPumpIntervalMs};
    session::TurnShare turns{timers};
    core::PortMap ports;
    platform::SerialPort *serialDevice = nullptr;
    platform::VirtualPort *vport = nullptr;
    std::unique_ptr<session::Session> session;
};

/// Moves `total` bytes each way between `f`'s device and `network`, every
/// byte checked.
inline void crossBothWays(PtyBridge &f, TcpPeer &network, qint64 total)
{
    using namespace std::chrono_literals;
    FdPeer device(f.device.master());
    ByteSource fromDevice(total, 1);
    ByteSource fromNetwork(total, 2);
    ByteSink atNetwork;
    ByteSink atDevice;
    device.send(fromDevice);
    network.send(fromNetwork);
    device.receive(atDevice);
    network.receive(atNetwork);
    ASSERT_TRUE(waitUntil([&] { return atNetwork.count() == total && atDevice.count() == total; }, 60s))
        << atNetwork.count() << " / " << atDevice.count();
    EXPECT_EQ(atNetwork.checksum(), fromDevice.checksum());
    EXPECT_EQ(atDevice.checksum(), fromNetwork.checksum());
}

/// A client session whose server is held by the test.
struct ServedClient : PtyBridge {
    explicit ServedClient(Serial serial = Serial::Device, session::TurnShare *share = nullptr)
        : PtyBridge(Role::Client, serial, false, share)
    {
        server.listen(QHostAddress::LocalHost, 0);
        window().portNumber.setText(QString::number(server.serverPort()));
    }
    /// The server's end of the session's next connection, once the session
    /// sees it connected too; null when none comes.
    std::unique_ptr<TcpPeer> nextConnection()
    {
        if (!waitUntil([&] { return server.hasPendingConnections(); }, 5000))
            return nullptr;
        auto peer = std::make_unique<TcpPeer>(server.nextPendingConnection());
        if (!waitUntil([&] { return session->clients().socket(0).state() == platform::kSocketConnected; }, 5000))
            return nullptr;
        return peer;
    }

    QTcpServer server;
};

} // namespace pvx::testing
