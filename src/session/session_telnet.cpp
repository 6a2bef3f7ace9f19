// Remote line control (RFC 2217) on a session's TCP connections: a server
// applies and answers what its clients ask of the serial line; a client
// tells its server the line it stands for. Only sessions with the option on
// come here; the others never build the links.
#include "session/session.h"

#include "core/numeric_text.h"
#include "platform/socket.h"
#include "session/flow_limits.h"
#include "session/session_lists.h"
#include "session/telnet_links.h"

#include <algorithm>

namespace pvx::session {

namespace {

using telnet_port::ComPortCommand;
using telnet_port::ComPortMessage;
using telnet_port::Control;

enum ListIndex {
    kBaudList = 0,
    kParityList = 1,
    kDataBitsList = 2,
    kStopBitsList = 3,
    kFlowList = 4,
};

platform::Handshaking handshakingOf(FlowControl flow)
{
    switch (flow) {
    case FlowControl::None:
        return platform::Handshaking::None;
    case FlowControl::XonXoff:
        return platform::Handshaking::XonXoff;
    case FlowControl::Hardware:
    case FlowControl::OptoRs:
        break;
    }
    return platform::Handshaking::RtsCts;
}

/// The flow-control list's position for `handshaking`.
int flowPosition(platform::Handshaking handshaking)
{
    switch (handshaking) {
    case platform::Handshaking::None:
        return static_cast<int>(FlowControl::None);
    case platform::Handshaking::XonXoff:
        return static_cast<int>(FlowControl::XonXoff);
    case platform::Handshaking::RtsCts:
        break;
    }
    return static_cast<int>(FlowControl::Hardware);
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

/// The position of `value` in `list`; -1 when it is not there.
int positionOf(const QStringList &list, quint32 value)
{
    return static_cast<int>(list.indexOf(QString::number(value)));
}

QString modemText(const std::optional<telnet_port::ModemLines> &lines)
{
    if (!lines)
        return QStringLiteral("unknown");
    QStringList on;
    const std::pair<bool, const char *> names[] = {
        {lines->cts, "CTS"}, {lines->dsr, "DSR"}, {lines->ri, "RI"}, {lines->cd, "CD"}};
    for (const auto &[set, name] : names) {
        if (set)
            on.append(QLatin1String(name));
    }
    return on.isEmpty() ? QStringLiteral("none") : on.join(QLatin1Char(' '));
}

} // namespace

void Session::startTelnetSession()
{
    m_telnet.reset();
    if (!m_window.rfc2217() || UdpMode)
        return;
    // The role the activation is about to take.
    const Role role = m_window.selectedRole();
    m_telnet = std::make_unique<TelnetLinks>(role == Role::Server ? telnet_port::Role::Server : telnet_port::Role::Client);
    if (role == Role::Client && m_window.usesVirtualPort()) {
        m_telnet->lineAtStart = virtualPort().lineSettings();
        m_telnet->lineSeen = m_telnet->lineAtStart;
    }
}

void Session::startTelnet(int index)
{
    TelnetLinks::Link &link = m_telnet->start(index, m_links.connection(index));
    sendTelnet(index, link.port.start());
}

void Session::sendTelnet(int index, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        (void)socket(index).sendData(bytes);
}

qint32 Session::receiveTelnet(int index, const QByteArray &wire, bool keepData)
{
    TelnetLinks::Link *link = m_telnet->find(index, m_links.connection(index));
    if (!link) {
        startTelnet(index);
        link = m_telnet->find(index, m_links.connection(index));
    }
    const telnet_port::TelnetInput input = link->port.receive(wire);
    sendTelnet(index, input.reply);
    // A purge or a new setting acts between the bytes that came before it
    // and those after it.
    qsizetype passed = 0;
    for (const telnet_port::TelnetEvent &event : input.events) {
        if (keepData)
            (void)SerialOutBuffer.append(input.data.mid(passed, event.dataOffset - passed));
        passed = event.dataOffset;
        if (const auto *message = std::get_if<ComPortMessage>(&event.what)) {
            if (m_telnet->role() == telnet_port::Role::Server)
                onTelnetRequest(index, *link, *message);
            else
                onTelnetAnswer(index, *link, *message);
        } else if (const auto *changed = std::get_if<telnet_port::ComPortOptionChanged>(&event.what)) {
            onTelnetOptionChanged(index, *link, changed->enabled);
        } else if (!link->malformedLogged) {
            // A peer that sends endless or garbled option messages is told of
            // once; the data around them goes on.
            link->malformedLogged = true;
            LogErrors(QStringLiteral("A malformed Telnet option message from %1 was dropped")
                          .arg(socket(index).remoteHostIP()));
        }
    }
    if (keepData)
        (void)SerialOutBuffer.append(input.data.mid(passed));
    return static_cast<qint32>(wire.size());
}

void Session::setTelnetSuspended(int index, bool suspended)
{
    // A peer's pause holds back what goes to it alone: its queue fills as
    // any slow peer's does, and the stall rule ends a pause that lasts.
    socket(index).holdSending(suspended);
}

void Session::onTelnetOptionChanged(int index, TelnetLinks::Link &link, bool enabled)
{
    if (m_telnet->role() == telnet_port::Role::Server) {
        if (enabled)
            sendModemState(index, link);
        return;
    }
    if (enabled) {
        sendLineSettings(index, link);
        return;
    }
    if (!link.refusalLogged) {
        link.refusalLogged = true;
        LogErrors(QStringLiteral("The server at %1 refused RFC 2217: the connection goes on as plain Telnet")
                      .arg(socket(index).remoteHostIP()));
    }
}

// Server role ----------------------------------------------------------------

void Session::onTelnetRequest(int index, TelnetLinks::Link &link, const ComPortMessage &request)
{
    // Only a client whose data may reach the serial side changes it; the
    // others learn the values in effect.
    const bool mayChange = !telnet_port::isQuery(request) && !networkInputDropped(index);
    quint32 answer = request.value;
    switch (request.command) {
    case ComPortCommand::Signature:
        if (request.text.isEmpty())
            sendTelnet(index, link.port.encode({ComPortCommand::Signature, 0, QByteArrayLiteral("Porvix " PVX_VERSION)}));
        return;
    case ComPortCommand::SetBaudRate:
        if (mayChange)
            applyLineChoice(index, link, kBaudList, positionOf(baudRateList(), request.value));
        answer = lineInEffect(ComPortCommand::SetBaudRate);
        break;
    case ComPortCommand::SetDataSize:
        if (mayChange)
            applyLineChoice(index, link, kDataBitsList, positionOf(dataBitsList(), request.value));
        answer = lineInEffect(ComPortCommand::SetDataSize);
        break;
    case ComPortCommand::SetParity:
        if (const auto parity = telnet_port::parityFromCode(request.value); mayChange && parity)
            applyLineChoice(index, link, kParityList, static_cast<int>(*parity));
        answer = lineInEffect(ComPortCommand::SetParity);
        break;
    case ComPortCommand::SetStopSize:
        if (const auto stopBits = telnet_port::stopBitsFromCode(request.value); mayChange && stopBits)
            applyLineChoice(index, link, kStopBitsList, static_cast<int>(*stopBits));
        answer = lineInEffect(ComPortCommand::SetStopSize);
        break;
    case ComPortCommand::SetControl:
        answer = controlRequest(index, link, request.value, mayChange);
        break;
    case ComPortCommand::SetModemStateMask:
        link.modemMask = static_cast<quint8>(request.value);
        sendTelnet(index, link.port.encode({request.command, request.value, {}}));
        sendModemState(index, link);
        return;
    case ComPortCommand::SetLineStateMask:
        break;
    case ComPortCommand::PurgeData:
        if (mayChange)
            purge(request.value);
        break;
    case ComPortCommand::FlowControlSuspend:
    case ComPortCommand::FlowControlResume:
        setTelnetSuspended(index, request.command == ComPortCommand::FlowControlSuspend);
        return;
    case ComPortCommand::NotifyModemState:
        // A client's poll.
        sendModemState(index, link);
        return;
    case ComPortCommand::NotifyLineState:
        return;
    }
    sendTelnet(index, link.port.encode({request.command, answer, {}}));
}

quint32 Session::lineInEffect(ComPortCommand command) const
{
    switch (command) {
    case ComPortCommand::SetBaudRate:
        return static_cast<quint32>(std::max(0, core::roundHalfEven(core::numericValue(m_window.Combo1[kBaudList].text()))));
    case ComPortCommand::SetDataSize:
        return static_cast<quint32>(std::max(0, core::roundHalfEven(core::numericValue(m_window.Combo1[kDataBitsList].text()))));
    case ComPortCommand::SetParity:
        return telnet_port::parityCode(static_cast<platform::Parity>(std::max(0, m_window.Combo1[kParityList].selectedIndex())));
    case ComPortCommand::SetStopSize:
        return telnet_port::stopBitsCode(
            static_cast<platform::StopBits>(std::max(0, m_window.Combo1[kStopBitsList].selectedIndex())));
    case ComPortCommand::SetControl:
        return static_cast<quint32>(telnet_port::controlFor(handshakingOf(m_window.flowControl())));
    default:
        break;
    }
    return 0;
}

void Session::applyLineChoice(int index, TelnetLinks::Link &link, int list, int position)
{
    core::Control &choice = m_window.Combo1[static_cast<std::size_t>(list)];
    const int before = choice.selectedIndex();
    if (position < 0 || position == before)
        return;
    (void)choice.select(position);
    // A virtual port, or a closed real one, takes the lists when it opens.
    if (!serialPort().isOpen() || m_window.usesVirtualPort())
        return;
    const auto settings = portSettings();
    const auto applied = settings ? serialPort().applySettings(*settings) : platform::Result<void>(settings.error());
    if (applied)
        return;
    // A refused change leaves the device as it was; the lists say so too.
    (void)choice.select(before);
    if (!link.refusalLogged) {
        link.refusalLogged = true;
        LogErrors(QStringLiteral("Serial setting asked by %1 not applied: %2")
                      .arg(socket(index).remoteHostIP(), applied.error().detail));
    }
}

quint32 Session::controlRequest(int index, TelnetLinks::Link &link, quint32 value, bool mayChange)
{
    const auto flowInEffect = [this] { return telnet_port::controlFor(handshakingOf(m_window.flowControl())); };
    // A device without modem lines (a pseudo-terminal, a virtual port)
    // leaves them alone; the answer is what was asked all the same.
    const auto setLine = [this, mayChange](platform::ControlLine which, bool &line, bool on) {
        if (!mayChange)
            return;
        line = on;
        if (!m_window.usesVirtualPort())
            (void)serialPort().setControlLine(which, on);
    };
    switch (static_cast<Control>(value)) {
    case Control::FlowNone:
    case Control::FlowXonXoff:
    case Control::FlowHardware:
        if (const auto handshaking = telnet_port::handshakingFromControl(value);
            mayChange && handshaking && handshakingOf(m_window.flowControl()) != *handshaking)
            applyLineChoice(index, link, kFlowList, flowPosition(*handshaking));
        return static_cast<quint32>(flowInEffect());
    case Control::QueryBreak:
        break;
    case Control::BreakOn:
    case Control::BreakOff:
        setLine(platform::ControlLine::Break, m_telnet->breakOn, value == static_cast<quint32>(Control::BreakOn));
        break;
    case Control::DtrOn:
    case Control::DtrOff:
        setLine(platform::ControlLine::Dtr, m_telnet->dtr, value == static_cast<quint32>(Control::DtrOn));
        [[fallthrough]];
    case Control::QueryDtr:
        return static_cast<quint32>(m_telnet->dtr ? Control::DtrOn : Control::DtrOff);
    case Control::RtsOn:
    case Control::RtsOff:
        setLine(platform::ControlLine::Rts, m_telnet->rts, value == static_cast<quint32>(Control::RtsOn));
        [[fallthrough]];
    case Control::QueryRts:
        return static_cast<quint32>(m_telnet->rts ? Control::RtsOn : Control::RtsOff);
    case Control::QueryInboundFlow:
    case Control::InboundFlowNone:
    case Control::InboundFlowXonXoff:
    case Control::InboundFlowHardware:
        return static_cast<quint32>(inboundControl(flowInEffect()));
    default:
        return static_cast<quint32>(flowInEffect());
    }
    return static_cast<quint32>(m_telnet->breakOn ? Control::BreakOn : Control::BreakOff);
}

void Session::purge(quint32 value)
{
    const bool input = value == static_cast<quint32>(telnet_port::Purge::Input)
                       || value == static_cast<quint32>(telnet_port::Purge::Both);
    const bool output = value == static_cast<quint32>(telnet_port::Purge::Output)
                        || value == static_cast<quint32>(telnet_port::Purge::Both);
    if (input) {
        if (m_window.usesVirtualPort() ? virtualPort().exists() : serialPort().isOpen())
            discardSerialInput(m_window.usesVirtualPort() ? SerialSource::VirtualPort : SerialSource::Port);
        m_packetizer.queue().clear();
    }
    if (output) {
        if (!m_window.usesVirtualPort())
            serialPort().discardOutput();
        SerialOutBuffer.clear();
    }
}

// Client role ----------------------------------------------------------------

void Session::sendLineSettings(int index, TelnetLinks::Link &link)
{
    platform::SerialSettings line;
    if (const auto settings = portSettings())
        line = *settings;
    // What the program on the virtual port set overrides the lists.
    if (m_window.usesVirtualPort()) {
        if (const auto now = virtualPort().lineSettings(); now && m_telnet->lineAtStart) {
            const platform::SerialSettings &start = *m_telnet->lineAtStart;
            if (now->baudRate != start.baudRate)
                line.baudRate = now->baudRate;
            if (now->stopBits != start.stopBits)
                line.stopBits = now->stopBits;
            if (now->handshaking != start.handshaking)
                line.handshaking = now->handshaking;
        }
        m_telnet->lineSeen = virtualPort().lineSettings();
    }
    const bool hardware = line.handshaking == platform::Handshaking::RtsCts;
    const ComPortMessage requests[] = {
        {ComPortCommand::SetBaudRate, static_cast<quint32>(std::max(0, line.baudRate)), {}},
        {ComPortCommand::SetDataSize, static_cast<quint32>(std::max(0, line.dataBits)), {}},
        {ComPortCommand::SetParity, telnet_port::parityCode(line.parity), {}},
        {ComPortCommand::SetStopSize, telnet_port::stopBitsCode(line.stopBits), {}},
        {ComPortCommand::SetControl, static_cast<quint32>(telnet_port::controlFor(line.handshaking)), {}},
        {ComPortCommand::SetControl, static_cast<quint32>(line.dtr ? Control::DtrOn : Control::DtrOff), {}},
    };
    for (const ComPortMessage &request : requests)
        askServer(index, link, request);
    // With hardware flow control RTS is the driver's.
    if (!hardware)
        askServer(index, link, {ComPortCommand::SetControl, static_cast<quint32>(Control::RtsOn), {}});
}

void Session::askServer(int index, TelnetLinks::Link &link, const ComPortMessage &request)
{
    // The newest request of a kind is the one its answer is held against.
    std::erase_if(link.asked, [&request](const TelnetLinks::Link::Asked &asked) {
        return asked.request.command == request.command
               && (request.command != ComPortCommand::SetControl
                   || controlGroup(asked.request.value) == controlGroup(request.value));
    });
    link.asked.push_back({request});
    sendTelnet(index, link.port.encode(request));
}

void Session::onTelnetAnswer(int index, TelnetLinks::Link &link, const ComPortMessage &answer)
{
    switch (answer.command) {
    case ComPortCommand::NotifyModemState:
        link.modemHeard = telnet_port::modemLinesFromCode(static_cast<quint8>(answer.value));
        return;
    case ComPortCommand::FlowControlSuspend:
    case ComPortCommand::FlowControlResume:
        setTelnetSuspended(index, answer.command == ComPortCommand::FlowControlSuspend);
        return;
    default:
        break;
    }
    const auto asked =
        std::find_if(link.asked.begin(), link.asked.end(), [&answer](const TelnetLinks::Link::Asked &waiting) {
            return waiting.request.command == answer.command
                   && (answer.command != ComPortCommand::SetControl
                       || controlGroup(waiting.request.value) == controlGroup(answer.value));
        });
    if (asked == link.asked.end())
        return;
    const quint32 value = asked->request.value;
    link.asked.erase(asked);
    // The answer is only reported: the session's lists stay as they are.
    if (answer.value != value && !link.answerLogged) {
        link.answerLogged = true;
        LogErrors(QStringLiteral("The server at %1 answered %2 with %3 instead of %4")
                      .arg(socket(index).remoteHostIP())
                      .arg(static_cast<int>(answer.command))
                      .arg(answer.value)
                      .arg(value));
    }
}

void Session::followVirtualPortLine()
{
    const auto now = virtualPort().lineSettings();
    if (!now || !m_telnet->lineSeen)
        return;
    const platform::SerialSettings before = *m_telnet->lineSeen;
    m_telnet->lineSeen = now;
    TelnetLinks::Link *link = m_telnet->find(0, m_links.connection(0));
    if (!link || !link->port.comPortEnabled() || !m_links.isConnected(0))
        return;
    if (now->baudRate != before.baudRate)
        askServer(0, *link, {ComPortCommand::SetBaudRate, static_cast<quint32>(std::max(0, now->baudRate)), {}});
    if (now->stopBits != before.stopBits)
        askServer(0, *link, {ComPortCommand::SetStopSize, telnet_port::stopBitsCode(now->stopBits), {}});
    if (now->handshaking != before.handshaking)
        askServer(0, *link,
                  {ComPortCommand::SetControl, static_cast<quint32>(telnet_port::controlFor(now->handshaking)), {}});
}

// Both roles -------------------------------------------------------------------

void Session::telnetTick()
{
    if (m_telnet->role() == telnet_port::Role::Client) {
        if (m_window.usesVirtualPort())
            followVirtualPortLine();
        checkUnansweredRequests();
        return;
    }
    if (watchesModemLines())
        notifyModemLines();
}

bool Session::telnetPending() const
{
    // A client follows the program on its virtual port from tick to tick and
    // waits for answers; a server watches the modem lines of a device that
    // has them.
    if (m_telnet->role() == telnet_port::Role::Client) {
        const TelnetLinks::Link *link = m_telnet->find(0, m_links.connection(0));
        return m_window.usesVirtualPort() || (link && !link->asked.empty());
    }
    return watchesModemLines();
}

void Session::checkUnansweredRequests()
{
    // Data never waits for answers; a server that leaves a request
    // unanswered is only reported, once per connection.
    TelnetLinks::Link *link = m_telnet->find(0, m_links.connection(0));
    if (!link || !m_links.isConnected(0))
        return;
    for (TelnetLinks::Link::Asked &waiting : link->asked) {
        if (++waiting.ticks < kAnswerWaitTicks || link->answerLogged)
            continue;
        link->answerLogged = true;
        LogErrors(QStringLiteral("The server at %1 did not answer %2 (%3)")
                      .arg(socket(0).remoteHostIP())
                      .arg(static_cast<int>(waiting.request.command))
                      .arg(waiting.request.value));
    }
    std::erase_if(link->asked,
                  [](const TelnetLinks::Link::Asked &waiting) { return waiting.ticks >= kAnswerWaitTicks; });
}

bool Session::watchesModemLines() const
{
    if (!m_telnet->deviceHasModemLines || m_window.usesVirtualPort() || !m_devices.serial->isOpen())
        return false;
    for (int index = 1; index <= m_links.maxSocketIndex(); ++index) {
        const TelnetLinks::Link *link = m_telnet->find(index, m_links.connection(index));
        if (link && link->modemMask != 0 && m_links.isConnected(index))
            return true;
    }
    return false;
}

telnet_port::ModemLines Session::modemLinesNow()
{
    if (!m_telnet->deviceHasModemLines || m_window.usesVirtualPort() || !serialPort().isOpen())
        return {};
    const auto lines = serialPort().modemLines();
    // A device without modem lines gets no more polls this activation.
    if (!lines)
        m_telnet->deviceHasModemLines = false;
    return lines.value_or(telnet_port::ModemLines{});
}

void Session::sendModemState(int index, TelnetLinks::Link &link)
{
    if (!link.port.comPortEnabled())
        return;
    const telnet_port::ModemLines now = modemLinesNow();
    // The changes it carries are those since the client last heard.
    const auto code = static_cast<quint32>(telnet_port::modemStateCode(now, link.modemSent.value_or(now)) & link.modemMask);
    link.modemSent = now;
    sendTelnet(index, link.port.encode({ComPortCommand::NotifyModemState, code, {}}));
}

void Session::notifyModemLines()
{
    const telnet_port::ModemLines now = modemLinesNow();
    for (int index = 1; index <= m_links.maxSocketIndex(); ++index) {
        TelnetLinks::Link *link = m_telnet->find(index, m_links.connection(index));
        if (!link || !link->modemSent || !m_links.isConnected(index))
            continue;
        const telnet_port::ModemLines before = *link->modemSent;
        link->modemSent = now;
        // Told of when a line it watches changed.
        const auto watched = static_cast<quint32>(telnet_port::modemStateCode(now, before) & link->modemMask);
        const auto watchedBefore = static_cast<quint32>(telnet_port::modemStateCode(before, before) & link->modemMask);
        if (watched != watchedBefore)
            sendTelnet(index, link->port.encode({ComPortCommand::NotifyModemState, watched, {}}));
    }
}

std::optional<QString> Session::telnetModemText() const
{
    if (!m_telnet || m_telnet->role() != telnet_port::Role::Client)
        return std::nullopt;
    const TelnetLinks::Link *link = m_telnet->find(0, m_links.connection(0));
    return modemText(link ? link->modemHeard : std::nullopt);
}

} // namespace pvx::session
