#pragma once

#include "core/port_map.h"
#include "fakes/fake_device_watch.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network_info.h"
#include "fakes/fake_serial_port.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "fakes/fake_virtual_port.h"
#include "resources/string_table.h"
#include "session/client_links.h"
#include "session/network_side.h"
#include "session/serial_side.h"
#include "session/session_window.h"
#include "session/side_status.h"
#include "session/traffic_tap.h"
#include "session/transfer_buffer.h"
#include "support/fake_log_services.h"
#include "support/text.h"

namespace pvx::testing {

/// One side of a session alone, on fakes: the window it reads, the two
/// status lines it shows on, the tap, the buffers between the sides, the
/// socket array, and a record of everything it tells the session.
struct SideFixture : FakeLogServices {
    SideFixture()
    {
        toNetwork.allocate(1024);
        toSerial.allocate(1024);
        ports.devices.insert(4, s("/dev/fake4"));
    }

    session::SerialSide::Context serialContext()
    {
        return {window, serialLine, record(logged), tap,
                {.arrived = record(events, "arrived"),
                 .writable = record(events, "writable"),
                 // Handed on to the network side, as the session does.
                 .programOpened = [this](bool opened) {
                     events << s(opened ? "program opened" : "program closed");
                     if (network)
                         network->onProgramOpened(opened);
                 },
                 .reopened = record(events, "reopened")}};
    }

    /// The network side's context; `serial` is the side it is paired with.
    session::NetworkSide::Context networkContext(const session::SerialSide &serial)
    {
        return {window, networkLine, record(logged), record(errorBoxes), tap, toNetwork, toSerial, links, sockets, serial,
                [] { return nullptr; }, timers, settings,
                {.withinTurn =
                     [](const std::function<void()> &move) {
                         move();
                         return true;
                     },
                 .serialMayMove = record(events, "serial may move"),
                 .moveToSerial = record(events, "move to serial"),
                 .wakePump = record(events, "wake pump")}};
    }

    /// A client asks the listener; the socket it was given, or -1.
    int connectClient() { return sockets.connectClient(m_nextRequest++, s("198.51.100.9")); }
    fakes::FakeSocket &socket(int index) { return sockets.socket(index); }
    QString status(session::StatusLine line) const { return window.statusLine(line).caption(); }
    QString reason(session::StatusLine line) const { return window.statusLine(line).toolTip(); }

    static std::function<void(const QString &)> record(QStringList &list)
    {
        return [&list](const QString &text) { list << text; };
    }
    static std::function<void()> record(QStringList &list, const char *event)
    {
        return [&list, event] { list << s(event); };
    }

    QStringList logged;
    QStringList errorBoxes;
    /// What the side told the session, in order.
    QStringList events;

    resources::StringTable strings{resources::Language::English};
    fakes::FakeDialogs dialogs;
    fakes::FakeNetworkInfo networkInfo;
    session::SessionWindow window{{strings, dialogs, networkInfo, {}}};
    session::SideStatus serialLine{strings, resources::StringId::SerialStatusLabel,
                                   window.statusLine(session::StatusLine::Serial), showOn(session::StatusLine::Serial)};
    session::SideStatus networkLine{strings, resources::StringId::NetworkStatusLabel,
                                    window.statusLine(session::StatusLine::Network), showOn(session::StatusLine::Network)};
    session::TrafficTap tap;
    session::TransferBuffer toNetwork;
    session::TransferBuffer toSerial;
    fakes::FakeSocketFactory sockets;
    /// The network side under test, once made: the sockets' events go to it.
    session::NetworkSide *network = nullptr;
    session::ClientLinks links{sockets, [this](int index) { return socketEvents(index); }};
    fakes::FakeTimerFactory timers;
    fakes::FakeSerialPort serialPort;
    fakes::FakeVirtualPort virtualPort;
    fakes::FakeDeviceWatch deviceWatch;
    core::PortMap ports;

private:
    session::SideStatus::Show showOn(session::StatusLine line)
    {
        return [this, line](const QString &text, const QString &reason) {
            window.statusLine(line).setCaption(text);
            window.statusLine(line).setToolTip(reason);
        };
    }
    platform::Socket::Events socketEvents(int index)
    {
        return {.connected = [this, index] { network->onConnected(index); },
                .closed = [this, index] { network->onPeerClosed(index); },
                .connectionRequest = [this, index](int id) { network->onConnectionRequest(index, id); },
                .dataArrival = [this, index](qint64) { network->receive(index); },
                .sendProgress = {},
                .error = [this, index](int number, const QString &text) { network->onError(index, number, text); },
                .warning = {}};
    }

    int m_nextRequest = 100;
};

} // namespace pvx::testing
