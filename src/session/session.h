#pragma once

#include "platform/socket.h"
#include "session/client_links.h"
#include "session/network_side.h"
#include "session/packetizer.h"
#include "session/serial_side.h"
#include "session/session_services.h"
#include "session/session_status.h"
#include "session/side_status.h"
#include "session/trace_file_watch.h"
#include "session/traffic_tap.h"
#include "session/transfer_buffer.h"

#include <QObject>

#include <functional>
#include <memory>

namespace pvx::session {

/// One serial-to-network bridge: the session window's model and the engine
/// that acts on it. Everything runs on the event-loop thread.
///
/// The session joins its two sides: the serial side (a real device or a
/// virtual port, SerialSide) and the network side (a TCP server, a TCP
/// client or UDP, NetworkSide, made afresh at each press of the button as
/// the window selects). It keeps the activation and deactivation with
/// their order and roll-back, the two status lines, the two routes with the
/// buffers between the sides, the pump tick and the commands.
///
/// Nothing that could be held back is lost: a socket is read only as far as
/// the buffer to the serial side has room, the serial side only as far as
/// the queue to the network has room, and each destination's unsent bytes
/// stay within a bound, so a slow reader slows its writer instead of losing
/// data. What the options say to throw away is still thrown away, and UDP
/// drops what does not fit. Busy sessions take turns at the event loop
/// (TurnShare), so that a quiet one is not kept waiting.
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
    ///
    /// "[TRACE=ON]", "[TRACE=OFF]" and "[TRACE=path]" set the trace file
    /// (commandedTraceFile); an active session switches to it at once, and
    /// one that cannot open the new file refuses and keeps the old.
    bool runCommand(const QString &command);
    /// Double-click on the network frame: lists the connected clients.
    void showConnectedClients();
    /// Removes the virtual ports that an earlier run of the program left
    /// behind, of every session: only the instance that holds the home may.
    void removeStaleVirtualPorts() { m_devices.virtualPort->resetBus(); }

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
    /// The user's name for the window, or the connector when it has none.
    QString name() const;
    /// The session's trace: bytes both ways and what happens, for whoever
    /// watches it.
    TraceHub &trace() { return m_trace; }

    /// The sockets: socket 0 (the listener, the client connection or the
    /// datagram socket) and the accepted clients from 1 up.
    const ClientLinks &clients() const { return m_links; }
    /// Serial data on its way to the network and when it goes.
    Packetizer &packetizer() { return m_packetizer; }
    const Packetizer &packetizer() const { return m_packetizer; }
    /// Network data on its way to the serial side.
    TransferBuffer &toSerialBuffer() { return m_toSerial; }
    const TransferBuffer &toSerialBuffer() const { return m_toSerial; }
    /// The network side of the last press of the button.
    NetworkSide &network() { return *m_network; }

    /// Sets the serial or network status line to `text`, with `reason` as
    /// the line's tool tip (an empty reason clears it). A change of either
    /// is reported to the error log like an error, as `text` followed by
    /// " (" reason ")" when there is a reason. The tool tip is set before
    /// the caption changes and statusChanged is emitted, so a receiver of
    /// statusChanged reads the reason from the line's tool tip.
    void setStatus(StatusLine line, const QString &text, const QString &reason = {});
    /// Reports `description` to the error log and the error program, with
    /// this session's address and role.
    void logError(const QString &description);

signals:
    /// A status line changed to `text`, or its reason changed; the reason
    /// is the line's tool tip at this moment (empty: none).
    void statusChanged(StatusLine line, const QString &text);
    /// Something went wrong that is not a status, such as a trace file that
    /// cannot be opened or written; it is in the error log as well.
    void warned(const QString &text);

private:
    QString text(resources::StringId id) const;

    // Activation and deactivation.
    /// What every press does first, before it activates or deactivates.
    void startPress();
    /// Traces to `path` from now on; a failure is logged.
    bool startTraceFile(const QString &path);
    /// The "[TRACE=...]" command, with the text after "=".
    bool switchTraceFile(const QString &argument);
    void runActivation();
    void runDeactivation();
    bool startNetworkSide(int port);
    void rollBackNetworkStart(const platform::Error &error);
    void sizeTransferBuffers();
    /// The network side the window selects, for a press of the button.
    std::unique_ptr<NetworkSide> makeNetworkSide();
    /// The serial side the window selects.
    SerialSide &serial() const;
    /// Hands the events of socket `index` to the network side of the moment.
    platform::Socket::Events socketEvents(int index);
    void showErrorBox(const QString &description);

    // Sharing the event loop with the other sessions.
    /// Handles an arrival of serial data now, or at the session's turn.
    void onSerialArrived();
    /// Runs `move` now if the session's share of the event loop allows it,
    /// and counts what it moved; false: the session waits for its turn.
    bool moveWithinTurn(const std::function<void()> &move);
    /// The session's turn: the arrivals it held are handled, and all there
    /// is moved both ways.
    void resumeTurn();
    /// Bytes moved both ways since the activation: the work of a handling.
    qint64 movedSoFar() const;

    // Serial side to network.
    void receiveSerialInput(bool raisedByEvent);
    void pullSerialInput();
    bool serialInputWaiting() const;
    qint32 sendSerialData(bool sendingAllowed);
    bool serialInputRefused() const;
    Packetizer::Rules packetRules() const;
    void flushIdleSerialData();

    // Network to serial side.
    /// Data waits on socket `index`: read as far as the buffer to the
    /// serial side has room, routed by the options, and written at once.
    void onNetworkDataArrived(int index);
    /// A client took data: whatever waited for its room goes on.
    void onSendProgress(int index);
    /// Data arrived from the network: the link is alive and the lamp lit.
    void noteNetworkArrival();
    void moveNetworkToSerial();
    /// The program on the virtual port opened (true) or closed it.
    void onProgramOpened(bool opened);

    void resetLamps();

    SessionServices m_services;
    SessionDevices m_devices;
    SessionWindow m_window;
    SideStatus m_serialStatus;
    SideStatus m_networkStatus;
    TraceHub m_trace;
    TraceFileWatch m_traceFile;
    TrafficTap m_tap;
    ClientLinks m_links;
    Packetizer m_packetizer;
    TransferBuffer m_toSerial;
    std::unique_ptr<SerialSide> m_device;
    std::unique_ptr<SerialSide> m_virtualPort;
    std::unique_ptr<NetworkSide> m_network;
    int m_connector = 0;
    int m_lampTicks = 0;
    /// Arrivals waiting for the session's turn.
    bool m_heldSerialArrival = false;
    bool m_heldNetworkArrival = false;
    /// Last, so that the session leaves the tick and the line before its parts go.
    PumpTick::Member m_pump;
    TurnShare::Member m_turn;
};

} // namespace pvx::session
