#pragma once

#include "platform/serial_port.h"
#include "platform/virtual_port.h"
#include "session/error_log.h"
#include "session/link_watchdog.h"
#include "session/program_settings.h"
#include "session/pump_tick.h"
#include "session/session_window.h"
#include "session/turn_share.h"

#include <memory>

namespace pvx::core {
struct PortMap;
}
namespace pvx::platform {
class DeviceWatch;
class SocketFactory;
class TimerFactory;
class TraceFileOpener;
}

namespace pvx::session {

/// The devices one session owns: its real serial port and its virtual port.
struct SessionDevices {
    std::unique_ptr<platform::SerialPort> serial;
    std::unique_ptr<platform::VirtualPort> virtualPort;
};

/// Program-wide services a session uses and does not own.
struct SessionServices {
    SessionWindow::Services window;
    platform::SocketFactory &sockets;
    platform::TimerFactory &timers;
    /// Where "COM" n is found and where virtual ports are made.
    const core::PortMap &ports;
    const ProgramSettings &settings;
    ErrorLog &log;
    /// The echo the link watch pings with.
    PingService &pings;
    /// The program's pump tick, which runs onPumpTick while anything is pending.
    PumpTick &pump;
    /// Shares the event loop between busy sessions.
    TurnShare &turns;
    /// Tells when a real device that failed may be back at its path.
    platform::DeviceWatch &deviceWatch;
    /// Opens the sessions' trace files.
    platform::TraceFileOpener &traceFiles;
};

} // namespace pvx::session
