#include "session/remote_line_control.h"

#include "session/flow_limits.h"
#include "telnet_port/com_port_values.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace pvx::session {

namespace {

using telnet_port::ComPortCommand;
using telnet_port::ComPortMessage;
using telnet_port::Control;

/// The flow-control choice that runs the line with `handshaking`.
FlowControl flowControlFor(platform::Handshaking handshaking)
{
    switch (handshaking) {
    case platform::Handshaking::None:
        return FlowControl::None;
    case platform::Handshaking::XonXoff:
        return FlowControl::XonXoff;
    case platform::Handshaking::RtsCts:
        break;
    }
    return FlowControl::Hardware;
}

/// Which kind of setting a SET-CONTROL value is about: outbound flow,
/// BREAK, DTR, RTS, inbound flow, or the rest.
int controlGroup(quint32 value)
{
    if (value <= 3)
        return 0;
    if (value <= 6)
        return 1;
    if (value <= 9)
        return 2;
    if (value <= 12)
        return 3;
    if (value <= 16)
        return 4;
    return 5;
}

/// An answer is held against the request of the same command, and for
/// SET-CONTROL of the same kind.
bool sameKind(const ComPortMessage &a, const ComPortMessage &b)
{
    return a.command == b.command
           && (a.command != ComPortCommand::SetControl || controlGroup(a.value) == controlGroup(b.value));
}

/// The inbound flow control that goes with the outbound `flow`.
Control inboundControl(Control flow)
{
    switch (flow) {
    case Control::FlowXonXoff:
        return Control::InboundFlowXonXoff;
    case Control::FlowHardware:
        return Control::InboundFlowHardware;
    default:
        break;
    }
    return Control::InboundFlowNone;
}

/// A count a request carries, as the line's choices hold it; nothing for
/// one no list could offer.
std::optional<int> countOf(quint32 value)
{
    if (value > static_cast<quint32>(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return static_cast<int>(value);
}

quint32 asValue(int count)
{
    return static_cast<quint32>(std::max(0, count));
}

ComPortMessage message(ComPortCommand command, quint32 value)
{
    return {command, value, {}};
}

ComPortMessage control(Control value)
{
    return message(ComPortCommand::SetControl, static_cast<quint32>(value));
}

} // namespace

RemoteLineControl::RemoteLineControl(telnet_port::Role role, SerialLine &line, Connection connection)
    : m_port(role), m_line(line), m_connection(std::move(connection)), m_programLineSeen(line.programLine())
{
}

void RemoteLineControl::start()
{
    send(m_port.start());
}

void RemoteLineControl::send(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        m_connection.send(bytes);
}

void RemoteLineControl::receive(const QByteArray &wire, const PayloadSink &payload)
{
    const telnet_port::TelnetInput input = m_port.receive(wire);
    send(input.reply);
    // A purge or a new setting acts between the bytes that came before it
    // and those after it.
    qsizetype passed = 0;
    for (const telnet_port::TelnetEvent &event : input.events) {
        if (payload && event.dataOffset > passed)
            payload(input.data.mid(passed, event.dataOffset - passed));
        passed = event.dataOffset;
        if (const auto *request = std::get_if<ComPortMessage>(&event.what)) {
            if (m_port.role() == telnet_port::Role::Server)
                onRequest(*request, payload != nullptr);
            else
                onAnswer(*request);
        } else if (const auto *changed = std::get_if<telnet_port::ComPortOptionChanged>(&event.what)) {
            onOptionChanged(changed->enabled);
        } else if (!m_malformedLogged) {
            // A peer that sends endless or garbled option messages is told of
            // once; the data around them goes on.
            m_malformedLogged = true;
            log(QStringLiteral("A malformed Telnet option message from %1 was dropped").arg(m_connection.peerAddress()));
        }
    }
    if (payload && input.data.size() > passed)
        payload(passed == 0 ? input.data : input.data.mid(passed));
}

void RemoteLineControl::onOptionChanged(bool enabled)
{
    if (m_port.role() == telnet_port::Role::Server) {
        if (enabled)
            sendModemState();
        return;
    }
    if (enabled) {
        sendLineSettings();
        return;
    }
    if (!m_refusalLogged) {
        m_refusalLogged = true;
        log(QStringLiteral("The server at %1 refused RFC 2217: the connection goes on as plain Telnet")
                .arg(m_connection.peerAddress()));
    }
}

void RemoteLineControl::tick()
{
    if (m_port.role() == telnet_port::Role::Server) {
        notifyModemLines();
        return;
    }
    if (m_line.programSetsLine())
        followProgramLine();
    checkUnanswered();
}

bool RemoteLineControl::pending() const
{
    // A client follows the program on its virtual port from tick to tick and
    // waits for answers; a server watches the modem lines of a device that
    // has them.
    if (m_port.role() == telnet_port::Role::Client)
        return m_line.programSetsLine() || !m_asked.empty();
    return m_modemMask != 0 && m_line.mayHaveModemLines() && m_connection.isConnected();
}

QString RemoteLineControl::modemText() const
{
    if (!m_modemHeard)
        return QStringLiteral("unknown");
    QStringList on;
    const std::pair<bool, const char *> names[] = {
        {m_modemHeard->cts, "CTS"}, {m_modemHeard->dsr, "DSR"}, {m_modemHeard->ri, "RI"}, {m_modemHeard->cd, "CD"}};
    for (const auto &[set, name] : names) {
        if (set)
            on.append(QLatin1String(name));
    }
    return on.isEmpty() ? QStringLiteral("none") : on.join(QLatin1Char(' '));
}

// Server role ----------------------------------------------------------------

void RemoteLineControl::onRequest(const ComPortMessage &request, bool dataReachesLine)
{
    // Only a client whose data may reach the serial side changes it; the
    // others learn the values in effect.
    const bool mayChange = dataReachesLine && !telnet_port::isQuery(request);
    LineChoices wanted = m_line.choices();
    quint32 answer = request.value;
    switch (request.command) {
    case ComPortCommand::Signature:
        if (request.text.isEmpty())
            send(m_port.encode({ComPortCommand::Signature, 0, QByteArrayLiteral("Porvix " PVX_VERSION)}));
        return;
    case ComPortCommand::SetBaudRate:
        if (const auto rate = countOf(request.value); mayChange && rate) {
            wanted.baudRate = *rate;
            choose(wanted);
        }
        answer = inEffect(request.command);
        break;
    case ComPortCommand::SetDataSize:
        if (const auto bits = countOf(request.value); mayChange && bits) {
            wanted.dataBits = *bits;
            choose(wanted);
        }
        answer = inEffect(request.command);
        break;
    case ComPortCommand::SetParity:
        if (const auto parity = telnet_port::parityFromCode(request.value); mayChange && parity) {
            wanted.parity = *parity;
            choose(wanted);
        }
        answer = inEffect(request.command);
        break;
    case ComPortCommand::SetStopSize:
        if (const auto stopBits = telnet_port::stopBitsFromCode(request.value); mayChange && stopBits) {
            wanted.stopBits = *stopBits;
            choose(wanted);
        }
        answer = inEffect(request.command);
        break;
    case ComPortCommand::SetControl:
        answer = onControl(request.value, mayChange);
        break;
    case ComPortCommand::SetModemStateMask:
        m_modemMask = static_cast<quint8>(request.value);
        send(m_port.encode(message(request.command, request.value)));
        sendModemState();
        return;
    case ComPortCommand::SetLineStateMask:
        break;
    case ComPortCommand::PurgeData: {
        const auto purges = [&request](telnet_port::Purge what) {
            return request.value == static_cast<quint32>(what)
                   || request.value == static_cast<quint32>(telnet_port::Purge::Both);
        };
        const bool input = purges(telnet_port::Purge::Input);
        const bool output = purges(telnet_port::Purge::Output);
        if (mayChange && (input || output))
            m_line.purge(input, output);
        break;
    }
    case ComPortCommand::FlowControlSuspend:
    case ComPortCommand::FlowControlResume:
        // A peer's pause holds back what goes to it alone: its queue fills as
        // any slow peer's does, and the stall rule ends a pause that lasts.
        m_connection.holdSending(request.command == ComPortCommand::FlowControlSuspend);
        return;
    case ComPortCommand::NotifyModemState:
        // A client's poll.
        sendModemState();
        return;
    case ComPortCommand::NotifyLineState:
        return;
    }
    send(m_port.encode(message(request.command, answer)));
}

quint32 RemoteLineControl::inEffect(ComPortCommand command) const
{
    const LineChoices line = m_line.choices();
    switch (command) {
    case ComPortCommand::SetBaudRate:
        return asValue(line.baudRate);
    case ComPortCommand::SetDataSize:
        return asValue(line.dataBits);
    case ComPortCommand::SetParity:
        return telnet_port::parityCode(line.parity);
    case ComPortCommand::SetStopSize:
        return telnet_port::stopBitsCode(line.stopBits);
    case ComPortCommand::SetControl:
        return static_cast<quint32>(telnet_port::controlFor(handshakingOf(line.flowControl)));
    default:
        break;
    }
    return 0;
}

void RemoteLineControl::choose(const LineChoices &wanted)
{
    if (const auto chosen = m_line.choose(wanted); !chosen && !m_refusalLogged) {
        m_refusalLogged = true;
        log(QStringLiteral("Serial setting asked by %1 not applied: %2")
                .arg(m_connection.peerAddress(), chosen.error().detail));
    }
}

quint32 RemoteLineControl::onControl(quint32 value, bool mayChange)
{
    const auto flowInEffect = [this] { return telnet_port::controlFor(handshakingOf(m_line.choices().flowControl)); };
    // The answer is the line as set, or as asked for where the device has no
    // such line.
    const auto setLine = [this, mayChange](platform::ControlLine which, bool on) {
        if (mayChange)
            m_line.setControlLine(which, on);
    };
    const auto lineControl = [this](platform::ControlLine which, Control on, Control off) {
        return static_cast<quint32>(m_line.controlLine(which) ? on : off);
    };
    switch (static_cast<Control>(value)) {
    case Control::FlowNone:
    case Control::FlowXonXoff:
    case Control::FlowHardware:
        if (const auto handshaking = telnet_port::handshakingFromControl(value);
            mayChange && handshaking && handshakingOf(m_line.choices().flowControl) != *handshaking) {
            LineChoices wanted = m_line.choices();
            wanted.flowControl = flowControlFor(*handshaking);
            choose(wanted);
        }
        return static_cast<quint32>(flowInEffect());
    case Control::QueryBreak:
        break;
    case Control::BreakOn:
    case Control::BreakOff:
        setLine(platform::ControlLine::Break, value == static_cast<quint32>(Control::BreakOn));
        break;
    case Control::DtrOn:
    case Control::DtrOff:
        setLine(platform::ControlLine::Dtr, value == static_cast<quint32>(Control::DtrOn));
        [[fallthrough]];
    case Control::QueryDtr:
        return lineControl(platform::ControlLine::Dtr, Control::DtrOn, Control::DtrOff);
    case Control::RtsOn:
    case Control::RtsOff:
        setLine(platform::ControlLine::Rts, value == static_cast<quint32>(Control::RtsOn));
        [[fallthrough]];
    case Control::QueryRts:
        return lineControl(platform::ControlLine::Rts, Control::RtsOn, Control::RtsOff);
    case Control::QueryInboundFlow:
    case Control::InboundFlowNone:
    case Control::InboundFlowXonXoff:
    case Control::InboundFlowHardware:
        return static_cast<quint32>(inboundControl(flowInEffect()));
    default:
        return static_cast<quint32>(flowInEffect());
    }
    return lineControl(platform::ControlLine::Break, Control::BreakOn, Control::BreakOff);
}

void RemoteLineControl::sendModemState()
{
    if (!m_port.comPortEnabled())
        return;
    const platform::ModemLines now = m_line.modemLines();
    // The changes it carries are those since the client last heard.
    const auto code =
        static_cast<quint32>(telnet_port::modemStateCode(now, m_modemSent.value_or(now)) & m_modemMask);
    m_modemSent = now;
    send(m_port.encode(message(ComPortCommand::NotifyModemState, code)));
}

void RemoteLineControl::notifyModemLines()
{
    if (!m_modemSent || m_modemMask == 0 || !m_line.mayHaveModemLines() || !m_connection.isConnected())
        return;
    const platform::ModemLines now = m_line.modemLines();
    const platform::ModemLines before = *m_modemSent;
    m_modemSent = now;
    // Told of when a line it watches changed.
    const auto watched = static_cast<quint32>(telnet_port::modemStateCode(now, before) & m_modemMask);
    const auto watchedBefore = static_cast<quint32>(telnet_port::modemStateCode(before, before) & m_modemMask);
    if (watched != watchedBefore)
        send(m_port.encode(message(ComPortCommand::NotifyModemState, watched)));
}

// Client role ----------------------------------------------------------------

void RemoteLineControl::sendLineSettings()
{
    const platform::SerialSettings line = m_line.settings();
    m_programLineSeen = m_line.programLine();
    const ComPortMessage requests[] = {
        message(ComPortCommand::SetBaudRate, asValue(line.baudRate)),
        message(ComPortCommand::SetDataSize, asValue(line.dataBits)),
        message(ComPortCommand::SetParity, telnet_port::parityCode(line.parity)),
        message(ComPortCommand::SetStopSize, telnet_port::stopBitsCode(line.stopBits)),
        control(telnet_port::controlFor(line.handshaking)),
        control(line.dtr ? Control::DtrOn : Control::DtrOff),
    };
    for (const ComPortMessage &request : requests)
        ask(request);
    // With hardware flow control RTS is the driver's.
    if (line.handshaking != platform::Handshaking::RtsCts)
        ask(control(Control::RtsOn));
}

void RemoteLineControl::ask(const ComPortMessage &request)
{
    // The newest request of a kind is the one its answer is held against.
    std::erase_if(m_asked, [&request](const Asked &asked) { return sameKind(asked.request, request); });
    m_asked.push_back({request});
    send(m_port.encode(request));
}

void RemoteLineControl::onAnswer(const ComPortMessage &answer)
{
    switch (answer.command) {
    case ComPortCommand::NotifyModemState:
        m_modemHeard = telnet_port::modemLinesFromCode(static_cast<quint8>(answer.value));
        return;
    case ComPortCommand::FlowControlSuspend:
    case ComPortCommand::FlowControlResume:
        m_connection.holdSending(answer.command == ComPortCommand::FlowControlSuspend);
        return;
    default:
        break;
    }
    const auto asked = std::find_if(m_asked.begin(), m_asked.end(),
                                    [&answer](const Asked &waiting) { return sameKind(waiting.request, answer); });
    if (asked == m_asked.end())
        return;
    const quint32 value = asked->request.value;
    m_asked.erase(asked);
    // The answer is only reported: the line's choices stay as they are.
    if (answer.value != value && !m_answerLogged) {
        m_answerLogged = true;
        log(QStringLiteral("The server at %1 answered %2 with %3 instead of %4")
                .arg(m_connection.peerAddress())
                .arg(static_cast<int>(answer.command))
                .arg(answer.value)
                .arg(value));
    }
}

void RemoteLineControl::followProgramLine()
{
    const auto now = m_line.programLine();
    if (!now || !m_programLineSeen)
        return;
    const platform::SerialSettings before = *m_programLineSeen;
    m_programLineSeen = now;
    if (!m_port.comPortEnabled() || !m_connection.isConnected())
        return;
    if (now->baudRate != before.baudRate)
        ask(message(ComPortCommand::SetBaudRate, asValue(now->baudRate)));
    if (now->stopBits != before.stopBits)
        ask(message(ComPortCommand::SetStopSize, telnet_port::stopBitsCode(now->stopBits)));
    if (now->handshaking != before.handshaking)
        ask(control(telnet_port::controlFor(now->handshaking)));
}

void RemoteLineControl::checkUnanswered()
{
    // Data never waits for answers; a server that leaves a request
    // unanswered is only reported, once per connection.
    if (!m_connection.isConnected())
        return;
    for (Asked &waiting : m_asked) {
        if (++waiting.ticks < kAnswerWaitTicks || m_answerLogged)
            continue;
        m_answerLogged = true;
        log(QStringLiteral("The server at %1 did not answer %2 (%3)")
                .arg(m_connection.peerAddress())
                .arg(static_cast<int>(waiting.request.command))
                .arg(waiting.request.value));
    }
    std::erase_if(m_asked, [](const Asked &waiting) { return waiting.ticks >= kAnswerWaitTicks; });
}

} // namespace pvx::session
