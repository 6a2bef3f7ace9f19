#pragma once

#include "platform/serial_port.h"
#include "platform/virtual_port.h"
#include "session/error_log.h"
#include "session/program_settings.h"
#include "session/session_window.h"
#include "session/transfer_buffer.h"

#include <QObject>

#include <memory>
#include <vector>

namespace pvx::core {
struct PortMap;
}
namespace pvx::platform {
class Socket;
class SocketFactory;
class Timer;
class TimerFactory;
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
};

/// One serial-to-network bridge: the session window's model and the engine
/// that acts on it. Everything runs on the event-loop thread.
class Session : public QObject {
    Q_OBJECT
public:
    Session(SessionServices services, SessionDevices devices);
    ~Session() override;

    SessionWindow &window() { return m_window; }
    const SessionWindow &window() const { return m_window; }

    /// The Activate / De-Activate button.
    void Command1_Click();
    /// Double-click on the network frame: lists the connected clients.
    void Frame2_DblClick();

    bool isActive() const { return m_window.isActive(); }

    // Run-time state shared by the engine's parts.
    bool UdpMode = false;
    int ComPortNumber = 0;
    int MaxSocketIndex = 0;
    int ClientCount = 0;
    int IdleTickCount = 0;
    int PingTickCount = 0;
    TransferBuffer MyBuffer;
    TransferBuffer SerialOutBuffer;

    platform::Socket &socket(int index) { return *m_sockets.at(static_cast<std::size_t>(index)); }
    platform::SerialPort &serialPort() { return *m_devices.serial; }
    platform::VirtualPort &virtualPort() { return *m_devices.virtualPort; }
    platform::Timer &reconnectTimer() { return *m_reconnectTimer; }

    /// Sets the serial (0) or network (1) status line; a change is reported
    /// to the error log like an error.
    void setStatus(int line, const QString &text);
    /// Reports `description` to the error log and the error program, with
    /// this session's address and role.
    void LogErrors(const QString &description);
    /// A status line's label and state word, as "TCP/IP Status: Listening...".
    QString statusText(int line, const QString &word) const;
    QString text(int id) const;

signals:
    /// A status line changed to `text`.
    void statusChanged(int line, const QString &text);

private:
    void activate();
    void deactivate();
    bool openSerialSide();
    bool openRealPort();
    bool startNetworkSide(int port);
    void rollBackNetworkStart(const platform::Error &error);
    bool removeVirtualPort();
    void closeRealPort();
    void sizeTransferBuffers();
    void setSettingsLocked(bool locked);

    SessionServices m_services;
    SessionDevices m_devices;
    SessionWindow m_window;
    std::vector<std::unique_ptr<platform::Socket>> m_sockets;
    std::unique_ptr<platform::Timer> m_reconnectTimer;
};

} // namespace pvx::session
