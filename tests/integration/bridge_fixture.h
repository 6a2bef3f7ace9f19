#pragma once

#include "bridge_peers.h"
#include "bridge_recorders.h"
#include "core/port_map.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_virtual_port.h"
#include "platform/linux/qt_network_info.h"
#include "platform/linux/qt_timer.h"
#include "resources/string_table.h"
#include "session/session.h"
#include "support/fake_log_services.h"
#include "support/pty_device.h"
#include "support/text.h"

#include <QTcpServer>

#include <memory>

namespace pvx::testing {

inline constexpr int kSerialLine = 0;
inline constexpr int kNetworkLine = 1;

/// A free loopback port (nothing listens on it once this returns).
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// A session on real sockets, timers and a real serial port whose device is
/// a pseudo-terminal: the test plays the device on the master side. The
/// queues the session leaves on its sockets and port are recorded.
struct PtyBridge : FakeLogServices {
    enum class Role {
        Client,
        Server,
    };

    explicit PtyBridge(Role role, bool udp = false)
    {
        settings.LogErrors = 1;
        session = std::make_unique<session::Session>(
            session::SessionServices{{strings, dialogs, network, optionTransfer, {}}, sockets, timers, ports,
                                     settings, log},
            session::SessionDevices{std::make_unique<RecordingSerialPort>(marks),
                                    std::make_unique<fakes::FakeVirtualPort>()});
        ports.devices.insert(3, device.slave());
        window().Combo2.select(3);
        window().chkUDP.setValue(udp ? 1 : 0);
        window().PortNumber.setText(QString::number(freePort()));
        if (role == Role::Server) {
            window().TCPOption[1].setValue(1);
            window().LocalIP.setText(s("127.0.0.1"));
        } else {
            window().IPAddress.setText(s("127.0.0.1"));
        }
    }

    session::SessionWindow &window() { return session->window(); }
    QString status(int line) { return window().StatusBar1[static_cast<std::size_t>(line)].caption(); }
    quint16 port() { return static_cast<quint16>(window().PortNumber.text().toInt()); }
    QString logText() { return QString::fromUtf8(files.files.value(log.path())); }

    /// Activates; true when the session is active.
    bool activate()
    {
        session->Command1_Click();
        return session->isActive();
    }

    HighWater marks;
    Pty device;
    resources::StringTable strings{resources::Language::English};
    fakes::FakeDialogs dialogs;
    platform::QtNetworkInfo network;
    session::OptionTransfer optionTransfer;
    RecordingSocketFactory sockets{marks};
    platform::QtTimerFactory timers;
    core::PortMap ports;
    std::unique_ptr<session::Session> session;
};

} // namespace pvx::testing
