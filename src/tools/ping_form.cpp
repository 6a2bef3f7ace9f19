#include "tools/ping_form.h"

#include "platform/dialogs.h"
#include "platform/host_resolver.h"
#include "platform/icmp_echo.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"
#include "tools/echo_status.h"
#include "tools/send_echo.h"

namespace pvx::tools {

namespace {

using core::ControlKind;

constexpr int kAddressTip = 5122;
constexpr int kDataTip = 5123;
constexpr int kNoAddress = 5112;
constexpr int kNoAddressTitle = 5113;

using core::controlName;

} // namespace

PingForm::PingForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                   platform::HostResolver &resolver, platform::IcmpEcho &echo, int pingTimeout)
    : ToolWindow(controlName("frmPing")),
      Label1_0(ControlKind::Label, controlName("Label1"), 0),
      Text1(ControlKind::TextBox, controlName("Text1")),
      Label2(ControlKind::Label, controlName("Label2")),
      Text2(ControlKind::TextBox, controlName("Text2")),
      Command1(ControlKind::Button, controlName("Command1")),
      Command3(ControlKind::Button, controlName("Command3")),
      Frame1(ControlKind::Frame, controlName("Frame1")),
      Label1_1(ControlKind::Label, controlName("Label1"), 1),
      Label1_2(ControlKind::Label, controlName("Label1"), 2),
      Label1_3(ControlKind::Label, controlName("Label1"), 3),
      Label1_4(ControlKind::Label, controlName("Label1"), 4),
      Label1_5(ControlKind::Label, controlName("Label1"), 5),
      Text4_0(ControlKind::TextBox, controlName("Text4"), 0),
      Text4_1(ControlKind::TextBox, controlName("Text4"), 1),
      Text4_2(ControlKind::TextBox, controlName("Text4"), 2),
      Text4_3(ControlKind::TextBox, controlName("Text4"), 3),
      Text4_4(ControlKind::TextBox, controlName("Text4"), 4),
      m_strings(strings),
      m_dialogs(dialogs),
      m_resolver(resolver),
      m_echo(echo),
      m_pingTimeout(pingTimeout)
{
    // The window's own caption has no string id: it stays in English.
    setCaption(QStringLiteral("Ping IP Address"));
    const std::pair<core::Control *, int> tagged[] = {
        {&Label1_0, 5041}, {&Label2, 5042},   {&Command1, 5049}, {&Command3, 5050}, {&Frame1, 5043},
        {&Label1_1, 5044}, {&Label1_2, 5045}, {&Label1_3, 5046}, {&Label1_4, 5047}, {&Label1_5, 5048},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    for (core::Control *control : {&Label1_0, &Text1, &Label2, &Text2, &Command1, &Command3, &Frame1, &Label1_1,
                                   &Label1_2, &Label1_3, &Label1_4, &Label1_5, &Text4_0, &Text4_1, &Text4_2,
                                   &Text4_3, &Text4_4})
        addControl(*control);
    Command1.onClick = [this] { onPingClicked(); };
    Command3.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    Text1.setToolTip(strings.text(kAddressTip));
    Text2.setToolTip(strings.text(kDataTip));
    Text2.setText(QStringLiteral("Testing 123"));
}

PingForm::~PingForm()
{
    dropPending();
}

void PingForm::onPingClicked()
{
    if (isBusy() || !isLoaded())
        return;
    if (Text1.text().isEmpty()) {
        m_dialogs.messageBox(m_strings.text(kNoAddress), m_strings.text(kNoAddressTitle),
                             platform::MessageButtons::Ok, platform::MessageIcon::None);
        emit addressFocusRequested();
        return;
    }
    for (core::Control *field : {&Text4_0, &Text4_1, &Text4_2, &Text4_3, &Text4_4})
        field->setText({});
    Command1.setEnabled(false);
    setBusy(true);
    m_lookup = m_resolver.lookup(Text1.text(), [this](const QString &address) {
        m_lookup = 0;
        addressFound(address);
    });
}

void PingForm::addressFound(const QString &address)
{
    // The data goes as the user typed it: an empty text sends no data.
    m_request = sendEcho(m_echo, address, Text2.text().toLocal8Bit(), m_pingTimeout, [this](const EchoReply &reply) {
        m_request = 0;
        showReply(reply);
    });
}

void PingForm::showReply(const EchoReply &reply)
{
    Text4_0.setText(echoStatusText(reply.Status));
    Text4_1.setText(QString::number(reply.Address));
    Text4_2.setText(QString::number(reply.RoundTripTime) + QStringLiteral(" ms"));
    Text4_3.setText(QString::number(reply.DataSize) + QStringLiteral(" bytes"));
    const qsizetype end = reply.Data.indexOf('\0');
    Text4_4.setText(QString::fromLocal8Bit(end < 0 ? reply.Data : reply.Data.left(end)));
    setBusy(false);
    Command1.setEnabled(true);
    if (!reply.Failure.isEmpty())
        m_dialogs.messageBox(reply.Failure, {}, platform::MessageButtons::Ok, platform::MessageIcon::Warning);
}

void PingForm::dropPending()
{
    if (m_lookup != 0)
        m_resolver.cancel(std::exchange(m_lookup, 0));
    if (m_request != 0)
        m_echo.cancel(std::exchange(m_request, 0));
}

} // namespace pvx::tools
