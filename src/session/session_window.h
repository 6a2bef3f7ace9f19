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

    std::array<core::Control, 6> Combo1;
    core::Control Combo2;
    core::Control chkUDP;
    core::Control chkVPort;
    core::Control BufferSerData;
    core::Control WaitForCr;
    core::Control txtTimeoutValue;
    core::Control IPAddress;
    core::Control PortNumber;
    core::Control LocalIP;
    std::array<core::Control, 2> TCPOption;
    core::Control Command1;
    core::Control Command2;
    core::Control Command3;
    core::Control btnLogin;
    std::array<core::Control, 2> StatusBar1;
    std::array<core::Control, 2> Shape1;
    core::Control Label2;
    core::Control Label3;
    core::Control Frame1;
    core::Control Frame2;
    std::array<core::Control, 8> SerialLabels;

    SessionOptions options;
    /// This PC's address, shown in log lines.
    QString LocalIPAddress;
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

    /// The user named this window; automatic titles leave it alone.
    bool isNamed() const { return !Command3.tag().isEmpty(); }
    /// Sets the caption and remembers it as the user's name for the window.
    void setWindowName(const QString &name);
    /// The caption an unnamed window takes: "<prefix> - RS232 to TCP/IP".
    QString titleFor(const QString &prefix) const;
    /// True while the session is active (the button offers "De-Activate").
    bool isActive() const;

    // The settings as the engine reads them: from the controls and option
    // fields at every call, so that a change acts at once.

    /// The role the session took when it was last activated; a client
    /// until then.
    Role role() const { return m_role; }
    void setRole(Role role) { m_role = role; }
    /// The role the option buttons select.
    Role selectedRole() const { return TCPOption[0].value() == 0 ? Role::Server : Role::Client; }
    bool udpSelected() const { return chkUDP.value() == 1; }
    bool usesVirtualPort() const { return chkVPort.value() == 1; }
    /// Serial data waits while nobody is connected, instead of being lost.
    bool bufferSerialData() const { return BufferSerData.value() == 1; }
    /// Serial data goes in whole packets; the rest after the transmit time-out.
    bool packetMode() const { return WaitForCr.value() == 1; }
    /// The transmit time-out in milliseconds: the number the text starts with.
    double transmitTimeout() const;
    FlowControl flowControl() const;
    bool allowMultipleClients() const { return options.AllowMultiConnect != 0; }
    /// A client connects only while a program holds the virtual port open.
    bool connectOnVirtualOpen() const { return options.ConnectOnVirtualOpen != 0; }
    /// The routing option fields; a number outside the list acts as the first entry.
    ServerSerial serverSerial() const;
    ServerTcp serverTcp() const;
    ClientIo clientIo() const;
    /// The TCP connections carry the serial line's settings (RFC 2217).
    bool rfc2217() const { return options.Rfc2217 != 0; }

private:
    void buildLists();
    void fillLocalAddressList();
    void checkPortNumber();
    void registerControls();

    Services m_services;
    QString m_linkTopic;
    Role m_role = Role::Client;
};

} // namespace pvx::session
