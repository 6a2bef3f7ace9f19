#include "session/session_window.h"

#include "core/numeric_text.h"
#include "platform/dialogs.h"
#include "platform/network_info.h"
#include "resources/form_strings.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "session/session_lists.h"

namespace pvx::session {

using resources::StringId;

namespace {

using core::ControlKind;

using core::controlName;

constexpr int kMaxPort = 65535;

} // namespace

SessionWindow::SessionWindow(Services services)
    : Form(controlName("frmDocument")),
      baudRate(ControlKind::ComboBox, controlName("Combo1"), 0),
      parity(ControlKind::ComboBox, controlName("Combo1"), 1),
      dataBits(ControlKind::ComboBox, controlName("Combo1"), 2),
      stopBits(ControlKind::ComboBox, controlName("Combo1"), 3),
      flowControl(ControlKind::ComboBox, controlName("Combo1"), 4),
      bufferSize(ControlKind::ComboBox, controlName("Combo1"), 5),
      connector(ControlKind::ComboBox, controlName("Combo2")),
      useUdp(ControlKind::CheckBox, controlName("chkUDP")),
      useVirtualPort(ControlKind::CheckBox, controlName("chkVPort")),
      bufferWhileClosed(ControlKind::CheckBox, controlName("BufferSerData")),
      waitForTimeout(ControlKind::CheckBox, controlName("WaitForCr")),
      timeoutValue(ControlKind::TextBox, controlName("txtTimeoutValue")),
      remoteHost(ControlKind::TextBox, controlName("IPAddress")),
      portNumber(ControlKind::TextBox, controlName("PortNumber")),
      localAddress(ControlKind::ComboBox, controlName("LocalIP")),
      clientRoleButton(ControlKind::OptionButton, controlName("TCPOption"), 0),
      serverRoleButton(ControlKind::OptionButton, controlName("TCPOption"), 1),
      activateButton(ControlKind::Button, controlName("Command1")),
      ioOptionsButton(ControlKind::Button, controlName("Command2")),
      windowNameButton(ControlKind::Button, controlName("Command3")),
      loginOptionsButton(ControlKind::Button, controlName("btnLogin")),
      monitorButton(ControlKind::Button, controlName("btnMonitor")),
      remoteHostLabel(ControlKind::Label, controlName("Label2")),
      remotePortLabel(ControlKind::Label, controlName("Label3")),
      serialFrame(ControlKind::Frame, controlName("Frame1")),
      networkFrame(ControlKind::Frame, controlName("Frame2")),
      serialLabels{{{ControlKind::Label, controlName("Label1"), 0},
                    {ControlKind::Label, controlName("Label1"), 1},
                    {ControlKind::Label, controlName("Label1"), 2},
                    {ControlKind::Label, controlName("Label1"), 3},
                    {ControlKind::Label, controlName("Label1"), 4},
                    {ControlKind::Label, controlName("Label1"), 5},
                    {ControlKind::Label, controlName("Label1"), 6},
                    {ControlKind::Label, controlName("Label1"), 7}}},
      m_statusLines{{{ControlKind::StatusLine, controlName("StatusBar1"), 0},
                    {ControlKind::StatusLine, controlName("StatusBar1"), 1}}},
      m_lamps{{{ControlKind::Shape, controlName("Shape1"), 0}, {ControlKind::Shape, controlName("Shape1"), 1}}},
      m_services(std::move(services))
{
    registerControls();

    resources::applyFormStrings(*this, m_services.strings);
    buildLists();
    fillLocalAddressList();

    if (machineAddress.isEmpty()) {
        // The first address that other machines can reach, else loopback.
        const QStringList addresses = m_services.network.localIPv4Addresses();
        for (const QString &address : addresses) {
            if (!address.startsWith(QLatin1String("127."))) {
                machineAddress = address;
                break;
            }
        }
        if (machineAddress.isEmpty() && !addresses.isEmpty())
            machineAddress = QStringLiteral("127.0.0.1");
    }
    if (!machineAddress.isEmpty()) {
        localAddress.setText(machineAddress);
        serverRoleButton.setEnabled(true);
    } else {
        serverRoleButton.setEnabled(false);
        setRole(Role::Client);
    }

    // A new window is a client; the option fields keep their defaults
    // (AllowMultiConnect 1, everything else 0 or empty).
    clientRoleButton.setValue(1);
}

void SessionWindow::registerControls()
{
    // Design-time captions, tags (string ids) and settings of the window.
    const std::pair<core::Control *, int> tagged[] = {
        {&serialFrame, 5000},        {&networkFrame, 5001},           {&useVirtualPort, 5002},
        {&bufferWhileClosed, 5003}, {&waitForTimeout, 5004},        {&clientRoleButton, 5006},
        {&serverRoleButton, 5007},  {&ioOptionsButton, 5008},         {&activateButton, 5009},
        {&m_statusLines[0], 5090}, {&m_statusLines[1], 5091},    {&remoteHostLabel, 5104},
        {&remotePortLabel, 5105},        {&serialLabels[0], 2202},  {&serialLabels[1], 2203},
        {&serialLabels[2], 2204}, {&serialLabels[3], 2210}, {&serialLabels[4], 2211},
        {&serialLabels[5], 2212}, {&serialLabels[6], 2217}, {&serialLabels[7], 5005},
        {&monitorButton, 5200},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    useUdp.setCaption(QStringLiteral("Use UDP instead of TCP/IP"));
    windowNameButton.setCaption(QStringLiteral("Set Window Name..."));
    loginOptionsButton.setCaption(QStringLiteral("Login Options..."));
    loginOptionsButton.setEnabled(false);
    timeoutValue.setText(QStringLiteral("150"));
    portNumber.setText(QStringLiteral("1000"));
    m_lamps[0].setValue(kLampIdle);
    m_lamps[1].setValue(kLampIdle);
    clientRoleButton.setGroup({&clientRoleButton, &serverRoleButton});
    serverRoleButton.setGroup({&clientRoleButton, &serverRoleButton});

    for (core::Control *control :
         {&serialFrame, &serialLabels[0], &connector, &serialLabels[1], &baudRate, &serialLabels[2], &parity,
          &serialLabels[3], &dataBits, &serialLabels[4], &stopBits, &serialLabels[5], &flowControl,
          &serialLabels[6], &bufferSize, &useVirtualPort, &bufferWhileClosed, &waitForTimeout, &serialLabels[7],
          &timeoutValue, &networkFrame, &clientRoleButton, &serverRoleButton, &remoteHostLabel, &remoteHost, &localAddress, &remotePortLabel,
          &portNumber, &useUdp, &activateButton, &ioOptionsButton, &windowNameButton, &loginOptionsButton, &monitorButton, &m_statusLines[0], &m_statusLines[1],
          &m_lamps[0], &m_lamps[1]})
        addControl(*control);

    connector.onClick = [this] { m_linkTopic = connector.text(); };
    portNumber.onChange = [this] { checkPortNumber(); };
    clientRoleButton.onClick = [this] { onRoleClicked(0); };
    serverRoleButton.onClick = [this] { onRoleClicked(1); };
    ioOptionsButton.onClick = [this] { onIoOptionsClicked(); };
    loginOptionsButton.onClick = [this] { onLoginOptionsClicked(); };
    windowNameButton.onClick = [this] { onSetWindowNameClicked(); };
    monitorButton.onClick = [this] { onMonitorClicked(); };
}

void SessionWindow::buildLists()
{
    const auto &strings = m_services.strings;
    const std::pair<core::Control *, QStringList> lists[] = {
        {&connector, connectorList(strings)},    {&baudRate, baudRateList()},
        {&parity, parityList(strings)},    {&dataBits, dataBitsList()},
        {&stopBits, stopBitsList()},         {&flowControl, flowControlList(strings)},
        {&bufferSize, bufferSizeList()},
    };
    for (const auto &[control, items] : lists)
        control->setItems(items);
    connector.select(0);
    baudRate.select(kDefaultBaudRate);
    parity.select(0);
    dataBits.select(kDefaultDataBits);
    stopBits.select(0);
    flowControl.select(0);
    bufferSize.select(kDefaultBufferSize);
}

void SessionWindow::fillLocalAddressList()
{
    // IPv4 first: the addresses most users pick stay at the top.
    QStringList addresses = m_services.network.localIPv4Addresses() + m_services.network.localIPv6Addresses();
    addresses.removeDuplicates();
    const QString typed = localAddress.text();
    localAddress.setItems(addresses);
    localAddress.setText(typed);
}

void SessionWindow::onLocalAddressDropDown()
{
    fillLocalAddressList();
}

void SessionWindow::checkPortNumber()
{
    if (core::numericValue(portNumber.text()) > kMaxPort) {
        m_services.dialogs.messageBox(m_services.strings.text(StringId::PortNumberRange), m_services.strings.text(StringId::Error),
                                      platform::MessageButtons::Ok, platform::MessageIcon::Critical);
    }
}

void SessionWindow::onRoleClicked(int index)
{
    const bool server = index == 1;
    if (server)
        fillLocalAddressList();
    remoteHost.setVisible(!server);
    localAddress.setVisible(server);
    remoteHostLabel.setCaption(m_services.strings.text(server ? 5106 : 5104));
    remotePortLabel.setCaption(m_services.strings.text(server ? 5107 : 5105));
}

void SessionWindow::onSetWindowNameClicked()
{
    const auto answer = m_services.dialogs.inputBox(
        QStringLiteral("Enter an optional name or description for this session window. The name that you "
                       "enter will appear in the title bar of the current session window and in the Window "
                       "list on the Porvix main menu."),
        QStringLiteral("Set Window Name"), caption());
    if (answer && !answer->isEmpty())
        setWindowName(*answer);
}

void SessionWindow::onIoOptionsClicked()
{
    const SecurityOptions security{options.Tls,     options.TlsCertificate, options.TlsKey,
                                   options.TlsTrust, options.TlsVerifyPeer,  options.AllowFrom};
    const bool udp = useUdp.value() != 0;
    std::optional<SecurityOptions> editedSecurity;
    if (serverRoleButton.value() != 0) {
        ServerOptionsForm form(m_services.strings, m_services.dialogs,
                               {options.AllowMultiConnect, options.ServerSerialOptions, options.ServerTCPOptions,
                                options.Rfc2217, security},
                               udp);
        if (const auto edited = core::showModal(m_services.optionDialogs.server, form)) {
            options.AllowMultiConnect = edited->AllowMultiConnect;
            options.ServerSerialOptions = edited->ServerSerialOptions;
            options.ServerTCPOptions = edited->ServerTCPOptions;
            options.Rfc2217 = edited->Rfc2217;
            editedSecurity = edited->Security;
        }
    } else {
        ClientOptionsForm form(m_services.strings, m_services.dialogs,
                               {options.ClientOptions, options.ConnectOnVirtualOpen, options.Rfc2217, security}, udp);
        if (const auto edited = core::showModal(m_services.optionDialogs.client, form)) {
            options.ClientOptions = edited->ClientOptions;
            options.ConnectOnVirtualOpen = edited->ConnectOnVirtualOpen;
            options.Rfc2217 = edited->Rfc2217;
            editedSecurity = edited->Security;
        }
    }
    if (editedSecurity) {
        options.Tls = editedSecurity->Tls;
        options.TlsCertificate = editedSecurity->TlsCertificate;
        options.TlsKey = editedSecurity->TlsKey;
        options.TlsTrust = editedSecurity->TlsTrust;
        options.TlsVerifyPeer = editedSecurity->TlsVerifyPeer;
        options.AllowFrom = editedSecurity->AllowFrom;
    }
}

void SessionWindow::onLoginOptionsClicked()
{
    LoginOptionsForm form({options.UserPrompt, options.UserPromptResponse, options.PasswordPrompt,
                           options.PasswordPromptResponse});
    if (const auto edited = core::showModal(m_services.optionDialogs.login, form)) {
        options.UserPrompt = edited->UserPrompt;
        options.UserPromptResponse = edited->UserPromptResponse;
        options.PasswordPrompt = edited->PasswordPrompt;
        options.PasswordPromptResponse = edited->PasswordPromptResponse;
    }
}

void SessionWindow::setWindowName(const QString &windowName)
{
    // The name first: whoever follows the caption reads it.
    windowNameButton.setTag(windowName);
    setCaption(windowName);
}

QString SessionWindow::titleFor(const QString &prefix) const
{
    return prefix + QStringLiteral(" - ") + m_services.strings.text(StringId::WindowTitleSuffix);
}

bool SessionWindow::isActive() const
{
    return activateButton.caption() == m_services.strings.text(StringId::DeactivateCaption);
}

double SessionWindow::transmitTimeout() const
{
    return core::numericValue(timeoutValue.text());
}

FlowControl SessionWindow::selectedFlowControl() const
{
    // No choice (-1) is no flow control.
    switch (flowControl.selectedIndex()) {
    case 1:
        return FlowControl::XonXoff;
    case 2:
        return FlowControl::Hardware;
    case 3:
        return FlowControl::OptoRs;
    default:
        return FlowControl::None;
    }
}

ServerSerial SessionWindow::serverSerial() const
{
    switch (options.ServerSerialOptions) {
    case 1:
        return ServerSerial::Ignore;
    case 2:
        return ServerSerial::FirstClientOnly;
    default:
        return ServerSerial::AllClients;
    }
}

ServerTcp SessionWindow::serverTcp() const
{
    switch (options.ServerTCPOptions) {
    case 1:
        return ServerTcp::Ignore;
    case 2:
        return ServerTcp::FirstClientOnly;
    default:
        return ServerTcp::AllClients;
    }
}

ClientIo SessionWindow::clientIo() const
{
    switch (options.ClientOptions) {
    case 1:
        return ClientIo::NoSerialOutput;
    case 2:
        return ClientIo::NoNetworkOutput;
    default:
        return ClientIo::TwoWay;
    }
}

void SessionWindow::setSettingsLocked(bool locked)
{
    for (core::Control *control : {&connector, &baudRate, &parity, &dataBits, &stopBits, &flowControl, &bufferSize,
                                   &ioOptionsButton, &clientRoleButton, &serverRoleButton, &remoteHost, &portNumber,
                                   &localAddress, &useVirtualPort, &useUdp})
        control->setEnabled(!locked);
}

} // namespace pvx::session
