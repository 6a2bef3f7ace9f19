#pragma once

#include "session/serial_line.h"
#include "telnet_port/telnet_port.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pvx::session {

/// Remote line control on one TCP connection: Telnet with the COM port
/// option. Wire bytes from the peer come in, the payload goes out to the
/// caller and the line requests act on the serial line between the bytes
/// before and after them; payload to the peer goes out with 0xFF doubled.
/// A server applies and answers what its client asks of the line and tells
/// it the modem lines; a client tells its server the line it stands for and
/// reports what the server answers. Made when the connection starts, gone
/// with it; calls happen on the event-loop thread.
class RemoteLineControl {
public:
    /// The connection the stage sits on.
    struct Connection {
        /// Sends wire bytes to the peer.
        std::function<void(const QByteArray &wire)> send;
        /// Holds back what goes to the peer (true), or lets it go on.
        std::function<void(bool held)> holdSending;
        std::function<QString()> peerAddress;
        /// Up, and not a departed peer whose last bytes are still read.
        std::function<bool()> isConnected;
        /// Writes a line to the error log.
        std::function<void(const QString &line)> log;
    };
    using PayloadSink = std::function<void(const QByteArray &payload)>;

    RemoteLineControl(telnet_port::Role role, SerialLine &line, Connection connection);

    /// The negotiation that opens the connection goes out.
    void start();
    /// Reads `wire` from the peer: its payload goes to `payload`, piece by
    /// piece around the requests. Without a sink the peer's data does not
    /// reach the serial side, and neither do its requests: a server answers
    /// them with the values in effect and changes nothing.
    void receive(const QByteArray &wire, const PayloadSink &payload);
    /// `payload` as it goes on the wire.
    static QByteArray wireBytes(const QByteArray &payload) { return telnet_port::doubleIac(payload); }

    /// The pump tick: a server tells the modem lines that changed; a client
    /// follows the program on its virtual port and reports answers that
    /// did not come in time.
    void tick();
    /// tick() has something to do.
    bool pending() const;
    /// The modem lines the server reported: "unknown" until it did, "none",
    /// or the names of those on, as "CTS CD".
    QString modemText() const;

private:
    /// A request and the ticks it has waited for its answer.
    struct Asked {
        telnet_port::ComPortMessage request;
        int ticks = 0;
    };

    void send(const QByteArray &bytes);
    void log(const QString &line) { m_connection.log(line); }
    void onOptionChanged(bool enabled);

    // Server role.
    void onRequest(const telnet_port::ComPortMessage &request, bool dataReachesLine);
    quint32 inEffect(telnet_port::ComPortCommand command) const;
    /// Makes `wanted` the line; a refusal is logged once.
    void choose(const LineChoices &wanted);
    quint32 onControl(quint32 value, bool mayChange);
    void sendModemState();
    void notifyModemLines();

    // Client role.
    void sendLineSettings();
    void ask(const telnet_port::ComPortMessage &request);
    void onAnswer(const telnet_port::ComPortMessage &answer);
    void followProgramLine();
    void checkUnanswered();

    telnet_port::TelnetPort m_port;
    SerialLine &m_line;
    Connection m_connection;
    /// Which modem-line changes the peer wants to hear of (server role).
    quint8 m_modemMask = 255;
    /// What the peer was last told of the modem lines, from the moment the
    /// option is in effect (server role).
    std::optional<platform::ModemLines> m_modemSent;
    /// The server's last modem-state notification (client role).
    std::optional<platform::ModemLines> m_modemHeard;
    /// The program's line when it was last looked at (client role).
    std::optional<platform::SerialSettings> m_programLineSeen;
    /// What this side asked for last, by command (client role).
    std::vector<Asked> m_asked;
    /// Each is logged once per connection: a refusal (a setting the device
    /// refused, or the option refused by the server), a malformed message,
    /// a missing answer or one other than the request.
    bool m_refusalLogged = false;
    bool m_malformedLogged = false;
    bool m_answerLogged = false;
};

} // namespace pvx::session
