#pragma once

#include "platform/result.h"
#include "platform/serial_port.h"
#include "platform/virtual_port.h"
#include "session/client_links.h"
#include "session/device_return.h"
#include "session/error_log.h"
#include "session/fan_out.h"
#include "session/link_watchdog.h"
#include "session/packetizer.h"
#include "session/program_settings.h"
#include "session/pump_tick.h"
#include "session/session_status.h"
#include "session/session_window.h"
#include "session/transfer_buffer.h"
#include "session/turn_share.h"
#include "session/window_serial_line.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pvx::core {
struct PortMap;
}
namespace pvx::platform {
class DeviceWatch;
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
    /// The echo the link watch pings with.
    PingService &pings;
    /// The program's pump tick, which runs onPumpTick while anything is pending.
    PumpTick &pump;
    /// Shares the event loop between busy sessions.
    TurnShare &turns;
    /// Tells when a real device that failed may be back at its path.
    platform::DeviceWatch &deviceWatch;
};

/// One serial-to-network bridge: the session window's model and the engine
/// that acts on it. Everything runs on the event-loop thread; the handlers
/// below are wired to the events of the session's ports, sockets and timers,
/// and may also be called directly.
///
/// Nothing that could be held back is lost: a socket is read only as far as
/// `SerialOutBuffer` has room, the serial side only as far as `MyBuffer` has
/// room, and each destination's unsent bytes stay within a bound (the
/// session's buffer size up to kClientQueueBound for a client, the driver
/// buffer for the serial port), so a slow reader slows its writer instead of
/// losing data. What the options say to throw away is still thrown away, and
/// UDP drops what does not fit. Serial data for several clients is held
/// once, shared by their queues; a piece for many clients goes out over
/// several turns of the event loop (FanOut). Busy sessions take turns at the
/// event loop (TurnShare), so that a quiet one is not kept waiting.
///
/// The session wires its parts: the socket array with what is tracked about
/// each client (ClientLinks), the cutting of serial data into sends
/// (Packetizer) and the window's settings (SessionWindow), and routes the
/// data between the ports and the sockets.
class Session : public QObject {
    Q_OBJECT
public:
    Session(SessionServices services, SessionDevices devices);
    ~Session() override;

    SessionWindow &window() { return m_window; }
    const SessionWindow &window() const { return m_window; }

    /// The Activate / De-Activate button: activates an inactive session and
    /// deactivates an active one.
    void toggleActive();
    /// Activates the session as the button does; an active one is left alone.
    void activate();
    /// Deactivates the session as the button does; an inactive one is left
    /// alone.
    void deactivate();
    /// A command another program sent to this session: "[ACTIVATE]",
    /// "[DEACTIVATE]" or "[COMSETTINGS=baud,parity,data bits,stop bits]"
    /// (any letter case, blanks around it ignored). True when accepted:
    /// activation only of an inactive session, deactivation only of an
    /// active one, new serial settings unless the open device refuses any of
    /// them (then the device and the lists keep what they had, and the log
    /// says what was refused). Shows nothing.
    bool runCommand(const QString &command);
    /// Double-click on the network frame: lists the connected clients.
    void showConnectedClients();

    /// A client asks the listening socket `index` to connect: accepted into
    /// the lowest closed socket (or a new one) unless a second client is not
    /// allowed. Not accepting closes the request.
    void onConnectionRequest(int index, int requestId);
    /// The client connection of socket `index` is up.
    void onConnected(int index);
    /// Ends the connection of socket `index`: the client count and status
    /// follow, the status with `reason` when one is given, and a client
    /// starts its reconnect cycle. Ignored while it runs.
    void closeConnection(int index, const QString &reason = {});
    /// Shows and logs a socket error. A network error (above 10000 as a
    /// signed 16-bit number) ends the connection: the client leaves the count
    /// at once, what it sent before is passed on, then the socket is closed.
    /// An error of the listening socket leaves the clients alone and shows
    /// "Error - " with the description until the next activation.
    void onSocketError(int index, int number, const QString &description);
    /// Data waits on socket `index`: read as far as `SerialOutBuffer` has
    /// room, routed by the options, and written to the serial side at once.
    void onNetworkDataArrived(int index);
    /// The reconnect tick (every 5 s after a client connection ended).
    void onReconnectTick();

    /// The real serial port received bytes.
    void onSerialReadable();
    /// The real serial port failed while open; it is already closed. The
    /// session stays active, and opens the device again when it comes back
    /// at its path.
    void onDeviceFailed(const platform::Error &error);
    /// The program on the virtual port wrote bytes.
    void onVirtualPortDataReceived();
    /// The program on the virtual port opened (true) or closed it.
    void onVirtualPortOpenedChanged(bool opened);

    /// The 50 ms pump tick: resets the lamps every third tick, writes
    /// network data to the serial side, retries what waited for room, closes
    /// clients that stopped taking data, sends serial data once no more has
    /// arrived for the time-out, and when none was waiting lets the link
    /// watch count the tick.
    void onPumpTick();
    /// Something the pump acts on may be pending: the session is served by
    /// the program's tick until nothing is. Cheap when it is served already.
    void wakePump() { m_pump.wake(); }
    /// Anything the next pump tick would act on: a lit lamp, data held in
    /// either direction, serial input waiting, a connection being drained,
    /// or the quiet of a connection counted towards the next ping.
    bool pumpPending();

    bool isActive() const { return m_window.isActive(); }
    /// The settings, status lines, clients and byte counts, as they stand.
    SessionStatus status() const;

    // Run-time state shared by the engine's parts.
    bool UdpMode = false;
    int ComPortNumber = 0;
    int LampTickCount = 0;
    bool CloseInProgress = false;
    TransferBuffer SerialOutBuffer;

    /// The socket array and what is known about each client.
    const ClientLinks &clients() const { return m_links; }
    /// Serial data on its way to the network (MyBuffer) and when it goes.
    Packetizer &packetizer() { return m_packetizer; }
    const Packetizer &packetizer() const { return m_packetizer; }
    /// Pings the peers of a quiet link and ends the connections that fail.
    LinkWatchdog &watchdog() { return m_watchdog; }

    platform::Socket &socket(int index) { return m_links.socket(index); }
    platform::SerialPort &serialPort() { return *m_devices.serial; }
    platform::VirtualPort &virtualPort() { return *m_devices.virtualPort; }
    platform::Timer &reconnectTimer() { return *m_reconnectTimer; }

    /// Sets the serial (0) or network (1) status line to `text`, with
    /// `reason` as the line's tool tip (an empty reason clears it). A change
    /// of either is reported to the error log like an error, as `text`
    /// followed by " (" reason ")" when there is a reason. The tool tip is
    /// set before the caption changes and statusChanged is emitted, so a
    /// receiver of statusChanged reads the reason from the line's tool tip.
    void setStatus(int line, const QString &text, const QString &reason = {});
    /// Reports `description` to the error log and the error program, with
    /// this session's address and role.
    void logError(const QString &description);
    /// A status line's label and state word, as "TCP/IP Status: Listening...".
    QString statusText(int line, const QString &word) const;
    QString text(int id) const;

signals:
    /// A status line changed to `text`, or its reason changed; the reason
    /// is the line's tool tip at this moment (empty: none).
    void statusChanged(int line, const QString &text);

private:
    enum class SerialSource {
        Port,
        VirtualPort,
    };

    // Activation and deactivation.
    /// What every press does first, before it activates or deactivates.
    void startPress();
    void runActivation();
    void runDeactivation();
    bool openSerialSide();
    bool openRealPort();
    bool startNetworkSide(int port);
    void rollBackNetworkStart(const platform::Error &error);
    bool removeVirtualPort();
    void closeRealPort();
    void sizeTransferBuffers();
    void setSettingsLocked(bool locked);

    // A real device that failed and comes back.
    /// Watches the device's path from now until deactivation, where a
    /// watch can tell that the device came back.
    void watchDevicePath();
    /// The device at `device` refused the activation's open with `refusal`:
    /// when it is missing or another program holds it, the session goes on
    /// without it and waits for it (true); any other refusal fails (false).
    bool waitForDevice(const QString &device, const platform::Error &refusal);
    void onDevicePathChanged();
    void retryAfterDeviceFailure();
    void reopenDevice();

    // Commands from other programs.
    /// Selects the serial choices a settings command names in `fields`
    /// ("baud,parity,data bits,stop bits", upper case).
    void selectSerialSettings(QString fields);
    /// An open real port takes the window's serial choices at once; false,
    /// logged, when it refuses them (it keeps what it had).
    bool applySerialSettings();

    // The network side apart from the data.
    platform::Socket::Events socketEvents(int index);
    void onPeerClosed(int index);
    void keepWhatWasSent(int index);
    void closeWhenDrained(int index);
    void showClientCount(const QString &reason = {});
    bool isListener(int index) const;
    void onListenerError(const QString &description);
    void showErrorBox(const QString &description);
    void onSendProgress(int index);
    QString connectedClientsText() const;
    bool waitsForVirtualPort() const;
    /// The network line's tool tip while a client waits for the program on
    /// the virtual port.
    QString waitingForVirtualPortReason() const;
    /// Connects socket 0 to the window's remote host and port, showing
    /// "Connecting..."; a connect that fails at once is shown, logged and
    /// retried by the reconnect tick.
    void connectToConfiguredServer();

    // Sharing the event loop with the other sessions.
    /// Handles an arrival of serial data now, or at the session's turn.
    void serialArrived(SerialSource source);
    /// Runs `move` now if the session's share of the event loop allows it,
    /// and counts what it moved; false: the session waits for its turn.
    bool moveWithinTurn(const std::function<void()> &move);
    /// The session's turn: the arrivals it held are handled, and all there
    /// is moved both ways.
    void resumeTurn();
    /// Bytes moved both ways since the activation: the work of a handling.
    qint64 movedSoFar() const { return m_moved.toNetwork + m_moved.toSerial; }

    // Serial side to network.
    void receiveSerialInput(SerialSource source, bool raisedByEvent);
    void pullSerialInput();
    bool serialInputWaiting();
    qint32 readSerialInput(SerialSource source);
    void discardSerialInput(SerialSource source);
    qint32 sendSerialData(bool sendingAllowed);
    /// Sends `piece` from MyBuffer to the clients as far as they have room,
    /// once the piece before has reached them all.
    qint32 sendToClients(Packetizer::Piece piece);
    /// Hands the piece in flight to further clients while the turn allows;
    /// true when it has reached them all (or there is none).
    bool deliverFanOut();
    /// A client's unsent bytes that hold the serial side back.
    qint64 clientQueueBound() const;
    /// The sends of this turn are made.
    bool turnSpent() const;
    /// The session goes on in its next turn, once the events waiting now have run.
    void continueNextTurn();
    /// The next turn: the piece in flight goes on, then serial input.
    void onNextTurn();
    void sendDatagram(const QByteArray &bytes);
    bool serialInputRefused() const;
    Packetizer::Rules packetRules() const;
    std::vector<int> serialDestinations() const;
    void flushIdleSerialData();

    // Network to serial side.
    /// Data arrived from the network: the link is alive and the lamp lit.
    void noteNetworkArrival();
    void receiveDatagrams(int index);
    qint32 receiveFromSocket(int index);
    qint32 pullNetworkInput();
    bool networkInputDropped(int index) const;
    void moveNetworkToSerial();
    qint32 writeSerialSide();
    /// The first bytes of SerialOutBuffer, up to `maxBytes`, as a view.
    QByteArray frontOfSerialOutput(qint32 maxBytes) const;

    // Remote line control: only with the option on, on TCP.
    /// Takes up the serial line for an activation with the option on.
    void takeUpRemoteLineControl();
    /// Socket `index` carries a new connection: its stage starts, and the
    /// negotiation goes out.
    RemoteLineControl &startLineControl(int index);
    /// The stage of the connection on socket `index`.
    RemoteLineControl &lineControlOf(int index);
    /// What the server reported of the modem lines, for a client session
    /// with the option on; nothing otherwise.
    std::optional<QString> remoteModemText() const;

    // Pump helpers.
    void resetLamps();
    /// Network input the pump would still pull into `SerialOutBuffer`.
    bool networkInputHeld() const;
    void checkStalledClients();

    SessionServices m_services;
    SessionDevices m_devices;
    SessionWindow m_window;
    ClientLinks m_links;
    Packetizer m_packetizer;
    LinkWatchdog m_watchdog;
    std::unique_ptr<platform::Timer> m_reconnectTimer;
    DeviceReturn m_deviceReturn;
    /// What was moved since the last activation.
    ByteCounters m_moved;
    /// A UDP server answers the sender of the last datagram, once there is one.
    bool m_udpPeerKnown = false;
    /// Where the next pull of held network input starts, so that every client gets its turn.
    int m_nextPull = 0;
    /// Serial data on its way to several clients, over as many turns as it takes.
    FanOut m_fanOut;
    /// Sends to clients since the turn began: an arrival of serial data, the
    /// next turn and the pump tick each begin one.
    int m_turnSends = 0;
    /// Brings the next turn once the events waiting now have run.
    std::unique_ptr<platform::Timer> m_nextTurn;
    /// The serial line as the connections' remote line control reaches it,
    /// while the option is on; the stages sit on the connections (ClientLinks).
    std::unique_ptr<WindowSerialLine> m_remoteLine;
    /// Arrivals waiting for the session's turn.
    std::optional<SerialSource> m_heldSerialArrival;
    bool m_heldNetworkArrival = false;
    /// Last, so that the session leaves the tick and the line before its parts go.
    PumpTick::Member m_pump;
    TurnShare::Member m_turn;
};

} // namespace pvx::session
