#pragma once

#include "core/control.h"
#include "core/form.h"
#include "core/modal_form.h"
#include "session/session_choices.h"
#include "session/session_options.h"

#include <array>
#include <functional>

namespace pvx::resources {
class StringTable;
}
namespace pvx::platform {
class Dialogs;
class NetworkInfo;
}

namespace pvx::session {

class ClientOptionsForm;
class LoginOptionsForm;
class ServerOptionsForm;

/// The option dialogs a session window opens: each shows its form modally
/// and returns once it has unloaded. The window applies what the form gives
/// back; a missing one shows nothing and changes nothing.
struct OptionDialogs {
    core::FormRunner<ServerOptionsForm> server;
    core::FormRunner<ClientOptionsForm> client;
    core::FormRunner<LoginOptionsForm> login;
};

/// The model of one session window: its controls hold the session's
/// settings, its small handlers keep them consistent. The engine (Session)
/// acts on them; views bind to them.
class SessionWindow : public core::Form {
    Q_OBJECT
public:
    struct Services {
        const resources::StringTable &strings;
        platform::Dialogs &dialogs;
        const platform::NetworkInfo &network;
        OptionDialogs optionDialogs;
    };

    /// Builds the window with its lists, defaults and captions.
    explicit SessionWindow(Services services);

    core::Control baudRate;
    core::Control parity;
    core::Control dataBits;
    core::Control stopBits;
    core::Control flowControl;
    core::Control bufferSize;
    core::Control connector;
    core::Control useUdp;
    core::Control useVirtualPort;
    core::Control bufferWhileClosed;
    core::Control waitForTimeout;
    core::Control timeoutValue;
    core::Control remoteHost;
    core::Control portNumber;
    core::Control localAddress;
    core::Control clientRoleButton;
    core::Control serverRoleButton;
    core::Control activateButton;
    core::Control ioOptionsButton;
    core::Control windowNameButton;
    core::Control loginOptionsButton;
    core::Control monitorButton;
    core::Control remoteHostLabel;
    core::Control remotePortLabel;
    core::Control serialFrame;
    core::Control networkFrame;
    std::array<core::Control, 8> serialLabels;

    SessionOptions options;
    /// The line lists and the buffer size, in this order: baud rate,
    /// parity, data bits, stop bits, flow control, buffer size.
    std::array<core::Control *, 6> serialLists()
    {
        return {&baudRate, &parity, &dataBits, &stopBits, &flowControl, &bufferSize};
    }
    std::array<const core::Control *, 6> serialLists() const
    {
        return {&baudRate, &parity, &dataBits, &stopBits, &flowControl, &bufferSize};
    }
    core::Control &statusLine(StatusLine line) { return m_statusLines[static_cast<std::size_t>(line)]; }
    const core::Control &statusLine(StatusLine line) const { return m_statusLines[static_cast<std::size_t>(line)]; }
    core::Control &lamp(StatusLine line) { return m_lamps[static_cast<std::size_t>(line)]; }
    const core::Control &lamp(StatusLine line) const { return m_lamps[static_cast<std::size_t>(line)]; }
    /// The role buttons: the client's, then the server's.
    std::array<core::Control *, 2> roleButtons() { return {&clientRoleButton, &serverRoleButton}; }

    /// This PC's address, shown in log lines.
    QString machineAddress;
    /// The name other programs address this session by: the connector text.
    QString linkTopic() const { return m_linkTopic; }

    /// Client role (0) or server role (1); also raised when code selects a
    /// role. The server role lists the local addresses afresh.
    void onRoleClicked(int index);
    /// The local-address list is about to drop down: it is built afresh
    /// (addresses come and go), keeping the box's text.
    void onLocalAddressDropDown();
    /// "Set Window Name...": asks for a name and keeps it as the caption.
    void onSetWindowNameClicked();
    /// "I/O Options...": edits the server or the client options, as the
    /// role selected, through their dialog; OK changes them, nothing else does.
    void onIoOptionsClicked();
    /// "Login Options...": edits the four login texts through their dialog.
    void onLoginOptionsClicked();

    /// "Monitor...": asks the view for the session's monitor window.
    void onMonitorClicked() { emit monitorRequested(); }

    /// The user named this window; automatic titles leave it alone.
    bool isNamed() const { return !windowNameButton.tag().isEmpty(); }
    /// Sets the caption and remembers it as the user's name for the window.
    void setWindowName(const QString &name);
    /// The caption an unnamed window takes: "<prefix> - RS232 to TCP/IP".
    QString titleFor(const QString &prefix) const;
    /// True while the session is active (the button offers "De-Activate").
    bool isActive() const;
    /// While the session is active, the settings it runs with cannot be changed.
    void setSettingsLocked(bool locked);

    // The settings as the engine reads them: from the controls and option
    // fields at every call, so that a change acts at once.

    /// The role the session took when it was last activated; a client
    /// until then.
    Role role() const { return m_role; }
    void setRole(Role role) { m_role = role; }
    /// The role the option buttons select.
    Role selectedRole() const { return clientRoleButton.value() == 0 ? Role::Server : Role::Client; }
    bool udpSelected() const { return useUdp.value() == 1; }
    bool usesVirtualPort() const { return useVirtualPort.value() == 1; }
    /// Serial data waits while nobody is connected, instead of being lost.
    bool bufferSerialData() const { return bufferWhileClosed.value() == 1; }
    /// Serial data goes in whole packets; the rest after the transmit time-out.
    bool packetMode() const { return waitForTimeout.value() == 1; }
    /// The transmit time-out in milliseconds: the number the text starts with.
    double transmitTimeout() const;
    FlowControl selectedFlowControl() const;
    bool allowMultipleClients() const { return options.AllowMultiConnect != 0; }
    /// A client connects only while a program holds the virtual port open.
    bool connectOnVirtualOpen() const { return options.ConnectOnVirtualOpen != 0; }
    /// The routing option fields; a number outside the list acts as the first entry.
    ServerSerial serverSerial() const;
    ServerTcp serverTcp() const;
    ClientIo clientIo() const;
    /// The TCP connections carry the serial line's settings (RFC 2217).
    bool rfc2217() const { return options.Rfc2217 != 0; }

signals:
    /// The user asked to see the session's live trace.
    void monitorRequested();

private:
    void buildLists();
    void fillLocalAddressList();
    void checkPortNumber();
    void registerControls();

    std::array<core::Control, 2> m_statusLines;
    std::array<core::Control, 2> m_lamps;
    Services m_services;
    QString m_linkTopic;
    Role m_role = Role::Client;
};

} // namespace pvx::session
