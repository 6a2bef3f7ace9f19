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
#include "session/flow_limits.h"
#include "session/pump_tick.h"
#include "session/session.h"
#include "session/tcp_side.h"
#include "session/tcp_side.h"
#include "support/fake_log_services.h"

#include <memory>

namespace pvx::testing {

/// A session on fakes of every device and service it uses.
struct SessionFixture : FakeLogServices {
    explicit SessionFixture(resources::Language language = resources::Language::English)
        : strings(language)
    {
        auto serialPort = std::make_unique<fakes::FakeSerialPort>();
        auto virtualPort = std::make_unique<fakes::FakeVirtualPort>();
        serial = serialPort.get();
        vport = virtualPort.get();
        session = std::make_unique<session::Session>(
            session::SessionServices{{strings, dialogs, network, optionDialogs},
                                     sockets, timers, ports, settings, log, pings, pump, turns, deviceWatch, traceFiles},
            session::SessionDevices{std::move(serialPort), std::move(virtualPort)});
    }

    session::SessionWindow &window() { return session->window(); }
    fakes::FakeSocket &socket(int index) { return sockets.socket(index); }
    /// The TCP client's reconnect tick, of the network side made at the last press.
    fakes::FakeTimer &reconnectTimer() { return timers.newest(5000); }
    /// Brings the next turn when one turn's sends were not enough.
    fakes::FakeTimer &nextTurnTimer() { return timers.newest(0); }
    /// The TCP side made at the last press.
    session::TcpSide &tcp() { return dynamic_cast<session::TcpSide &>(session->network()); }
    QString status(session::StatusLine line) { return window().statusLine(line).caption(); }

    resources::StringTable strings;
    fakes::FakeDialogs dialogs;
    fakes::FakeNetworkInfo network;
    session::OptionDialogs optionDialogs;
    fakes::FakeSocketFactory sockets;
    fakes::FakeTimerFactory timers;
    /// The program's pump tick, on a timer of its own.
    fakes::FakeTimerFactory tickTimers;
    session::PumpTick pump{tickTimers, session::kPumpIntervalMs};
    fakes::FakeTimer &tickTimer() { return *tickTimers.created.at(0); }
    /// The turns of busy sessions, on a timer of their own.
    fakes::FakeTimerFactory turnTimers;
    session::TurnShare turns{turnTimers};
    fakes::FakeTimer &turnTimer() { return *turnTimers.created.at(0); }
    core::PortMap ports;
    fakes::FakeDeviceWatch deviceWatch;
    fakes::FakeSerialPort *serial = nullptr;
    fakes::FakeVirtualPort *vport = nullptr;
    std::unique_ptr<session::Session> session;
};

} // namespace pvx::testing
