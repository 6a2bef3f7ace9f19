#include "session/session_window.h"

#include "core/numeric_text.h"
#include "platform/dialogs.h"
#include "platform/network_info.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/server_options_form.h"
#include "session/session_lists.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

constexpr int kMaxPort = 65535;

} // namespace

SessionWindow::SessionWindow(Services services)
    : Form(controlName("frmDocument")),
      Combo1{{{ControlKind::ComboBox, controlName("Combo1"), 0},
              {ControlKind::ComboBox, controlName("Combo1"), 1},
              {ControlKind::ComboBox, controlName("Combo1"), 2},
              {ControlKind::ComboBox, controlName("Combo1"), 3},
              {ControlKind::ComboBox, controlName("Combo1"), 4},
              {ControlKind::ComboBox, controlName("Combo1"), 5}}},
      Combo2(ControlKind::ComboBox, controlName("Combo2")),
      chkUDP(ControlKind::CheckBox, controlName("chkUDP")),
      chkVPort(ControlKind::CheckBox, controlName("chkVPort")),
      BufferSerData(ControlKind::CheckBox, controlName("BufferSerData")),
      WaitForCr(ControlKind::CheckBox, controlName("WaitForCr")),
      txtTimeoutValue(ControlKind::TextBox, controlName("txtTimeoutValue")),
      IPAddress(ControlKind::TextBox, controlName("IPAddress")),
      PortNumber(ControlKind::TextBox, controlName("PortNumber")),
      LocalIP(ControlKind::ComboBox, controlName("LocalIP")),
      TCPOption{{{ControlKind::OptionButton, controlName("TCPOption"), 0},
                 {ControlKind::OptionButton, controlName("TCPOption"), 1}}},
      Command1(ControlKind::Button, controlName("Command1")),
      Command2(ControlKind::Button, controlName("Command2")),
      Command3(ControlKind::Button, controlName("Command3")),
      btnLogin(ControlKind::Button, controlName("btnLogin")),
      StatusBar1{{{ControlKind::StatusLine, controlName("StatusBar1"), 0},
                  {ControlKind::StatusLine, controlName("StatusBar1"), 1}}},
      Shape1{{{ControlKind::Shape, controlName("Shape1"), 0}, {ControlKind::Shape, controlName("Shape1"), 1}}},
      Label2(ControlKind::Label, controlName("Label2")),
      Label3(ControlKind::Label, controlName("Label3")),
      Frame1(ControlKind::Frame, controlName("Frame1")),
      Frame2(ControlKind::Frame, controlName("Frame2")),
      SerialLabels{{{ControlKind::Label, controlName("Label1"), 0},
                    {ControlKind::Label, controlName("Label1"), 1},
                    {ControlKind::Label, controlName("Label1"), 2},
                    {ControlKind::Label, controlName("Label1"), 3},
                    {ControlKind::Label, controlName("Label1"), 4},
                    {ControlKind::Label, controlName("Label1"), 5},
                    {ControlKind::Label, controlName("Label1"), 6},
                    {ControlKind::Label, controlName("Label1"), 7}}},
      m_services(std::move(services))
{
    registerControls();

    resources::applyFormStrings(*this, m_services.strings);
    buildLists();
    fillLocalAddressList();

    if (LocalIPAddress.isEmpty()) {
        // The first address that other machines can reach, else loopback.
        const QStringList addresses = m_services.network.localIPv4Addresses();
        for (const QString &address : addresses) {
            if (!address.startsWith(QLatin1String("127."))) {
                LocalIPAddress = address;
                break;
            }
        }
        if (LocalIPAddress.isEmpty() && !addresses.isEmpty())
            LocalIPAddress = QStringLiteral("127.0.0.1");
    }
    if (!LocalIPAddress.isEmpty()) {
        LocalIP.setText(LocalIPAddress);
        TCPOption[1].setEnabled(true);
    } else {
        TCPOption[1].setEnabled(false);
        setRole(Role::Client);
    }

    // A new window is a client; the option fields keep their defaults
    // (AllowMultiConnect 1, everything else 0 or empty).
    TCPOption[0].setValue(1);
}

void SessionWindow::registerControls()
{
    // Design-time captions, tags (string ids) and settings of the window.
    const std::pair<core::Control *, int> tagged[] = {
        {&Frame1, 5000},        {&Frame2, 5001},           {&chkVPort, 5002},
        {&BufferSerData, 5003}, {&WaitForCr, 5004},        {&TCPOption[0], 5006},
        {&TCPOption[1], 5007},  {&Command2, 5008},         {&Command1, 5009},
        {&StatusBar1[0], 5090}, {&StatusBar1[1], 5091},    {&Label2, 5104},
        {&Label3, 5105},        {&SerialLabels[0], 2202},  {&SerialLabels[1], 2203},
        {&SerialLabels[2], 2204}, {&SerialLabels[3], 2210}, {&SerialLabels[4], 2211},
        {&SerialLabels[5], 2212}, {&SerialLabels[6], 2217}, {&SerialLabels[7], 5005},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    chkUDP.setCaption(QStringLiteral("Use UDP instead of TCP/IP"));
    Command3.setCaption(QStringLiteral("Set Window Name..."));
    btnLogin.setCaption(QStringLiteral("Login Options..."));
    btnLogin.setEnabled(false);
    txtTimeoutValue.setText(QStringLiteral("150"));
    PortNumber.setText(QStringLiteral("1000"));
    Shape1[0].setValue(kLampIdle);
    Shape1[1].setValue(kLampIdle);
    TCPOption[0].setGroup({&TCPOption[0], &TCPOption[1]});
    TCPOption[1].setGroup({&TCPOption[0], &TCPOption[1]});

    for (core::Control *control :
         {&Frame1, &SerialLabels[0], &Combo2, &SerialLabels[1], &Combo1[0], &SerialLabels[2], &Combo1[1],
          &SerialLabels[3], &Combo1[2], &SerialLabels[4], &Combo1[3], &SerialLabels[5], &Combo1[4],
          &SerialLabels[6], &Combo1[5], &chkVPort, &BufferSerData, &WaitForCr, &SerialLabels[7],
          &txtTimeoutValue, &Frame2, &TCPOption[0], &TCPOption[1], &Label2, &IPAddress, &LocalIP, &Label3,
          &PortNumber, &chkUDP, &Command1, &Command2, &Command3, &btnLogin, &StatusBar1[0], &StatusBar1[1],
          &Shape1[0], &Shape1[1]})
        addControl(*control);

    Combo2.onClick = [this] { m_linkTopic = Combo2.text(); };
    PortNumber.onChange = [this] { checkPortNumber(); };
    TCPOption[0].onClick = [this] { onRoleClicked(0); };
    TCPOption[1].onClick = [this] { onRoleClicked(1); };
    Command2.onClick = [this] { onIoOptionsClicked(); };
    btnLogin.onClick = [this] { onLoginOptionsClicked(); };
    Command3.onClick = [this] { onSetWindowNameClicked(); };
}

void SessionWindow::buildLists()
{
    const auto &strings = m_services.strings;
    const std::pair<core::Control *, QStringList> lists[] = {
        {&Combo2, connectorList(strings)},    {&Combo1[0], baudRateList()},
        {&Combo1[1], parityList(strings)},    {&Combo1[2], dataBitsList()},
        {&Combo1[3], stopBitsList()},         {&Combo1[4], flowControlList(strings)},
        {&Combo1[5], bufferSizeList()},
    };
    for (const auto &[control, items] : lists)
        control->setItems(items);
    Combo2.select(0);
    Combo1[0].select(kDefaultBaudRate);
    Combo1[1].select(0);
    Combo1[2].select(kDefaultDataBits);
    Combo1[3].select(0);
    Combo1[4].select(0);
    Combo1[5].select(kDefaultBufferSize);
}

void SessionWindow::fillLocalAddressList()
{
    QStringList addresses = m_services.network.localIPv4Addresses();
    addresses.removeDuplicates();
    const QString typed = LocalIP.text();
    LocalIP.setItems(addresses);
    LocalIP.setText(typed);
}

void SessionWindow::onLocalAddressDropDown()
{
    fillLocalAddressList();
}

void SessionWindow::checkPortNumber()
{
    if (core::numericValue(PortNumber.text()) > kMaxPort) {
        m_services.dialogs.messageBox(m_services.strings.text(5102), m_services.strings.text(5103),
                                      platform::MessageButtons::Ok, platform::MessageIcon::Critical);
    }
}

void SessionWindow::onRoleClicked(int index)
{
    const bool server = index == 1;
    if (server)
        fillLocalAddressList();
    IPAddress.setVisible(!server);
    LocalIP.setVisible(server);
    Label2.setCaption(m_services.strings.text(server ? 5106 : 5104));
    Label3.setCaption(m_services.strings.text(server ? 5107 : 5105));
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
    if (TCPOption[1].value() != 0) {
        ServerOptionsForm form(m_services.strings,
                               {options.AllowMultiConnect, options.ServerSerialOptions, options.ServerTCPOptions,
                                options.Rfc2217});
        if (const auto edited = core::showModal(m_services.optionDialogs.server, form)) {
            options.AllowMultiConnect = edited->AllowMultiConnect;
            options.ServerSerialOptions = edited->ServerSerialOptions;
            options.ServerTCPOptions = edited->ServerTCPOptions;
            options.Rfc2217 = edited->Rfc2217;
        }
    } else {
        ClientOptionsForm form(m_services.strings, {options.ClientOptions, options.ConnectOnVirtualOpen, options.Rfc2217});
        if (const auto edited = core::showModal(m_services.optionDialogs.client, form)) {
            options.ClientOptions = edited->ClientOptions;
            options.ConnectOnVirtualOpen = edited->ConnectOnVirtualOpen;
            options.Rfc2217 = edited->Rfc2217;
        }
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
    setCaption(windowName);
    Command3.setTag(windowName);
}

QString SessionWindow::titleFor(const QString &prefix) const
{
    return prefix + QStringLiteral(" - ") + m_services.strings.text(5120);
}

bool SessionWindow::isActive() const
{
    return Command1.caption() == m_services.strings.text(5118);
}

double SessionWindow::transmitTimeout() const
{
    return core::numericValue(txtTimeoutValue.text());
}

FlowControl SessionWindow::flowControl() const
{
    // No choice (-1) is no flow control.
    switch (Combo1[4].selectedIndex()) {
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

} // namespace pvx::session
