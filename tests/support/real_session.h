#pragma once

#include "core/port_map.h"
#include "fakes/fake_device_watch.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_virtual_port.h"
#include "platform/linux/qt_network_info.h"
#include "platform/linux/qt_serial_port.h"
#include "platform/linux/qt_socket_factory.h"
#include "platform/linux/qt_timer.h"
#include "resources/string_table.h"
#include "session/flow_limits.h"
#include "session/pump_tick.h"
#include "session/session.h"
#include "support/fake_log_services.h"

#include <memory>

namespace pvx::testing {

/// A session on the real serial port, sockets and timers; the virtual port
/// is given by the test (a real one or a fake), the dialogs and the log are
/// fakes so the test can read them.
struct RealSession : FakeLogServices {
    explicit RealSession(std::unique_ptr<platform::VirtualPort> virtualPort = std::make_unique<fakes::FakeVirtualPort>())
    {
        auto serialPort = std::make_unique<platform::QtSerialPort>();
        serialDevice = serialPort.get();
        session = std::make_unique<session::Session>(
            session::SessionServices{{strings, dialogs, network, {}}, sockets, timers, ports,
                                     settings, log, pings, pump, turns, deviceWatch, traceFiles},
            session::SessionDevices{std::move(serialPort), std::move(virtualPort)});
    }

    session::SessionWindow &window() { return session->window(); }
    QString status(session::StatusLine line) { return window().statusLine(line).caption(); }

    resources::StringTable strings{resources::Language::English};
    fakes::FakeDialogs dialogs;
    platform::QtNetworkInfo network;
    platform::QtSocketFactory sockets;
    platform::QtTimerFactory timers;
    session::PumpTick pump{timers, session::kPumpIntervalMs};
    session::TurnShare turns{timers};
    core::PortMap ports;
    fakes::FakeDeviceWatch deviceWatch;
    platform::SerialPort *serialDevice = nullptr;
    std::unique_ptr<session::Session> session;
};

} // namespace pvx::testing
