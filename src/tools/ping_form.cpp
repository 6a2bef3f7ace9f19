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
using core::controlName;
using resources::StringId;

} // namespace

PingForm::PingForm(const resources::StringTable &strings, platform::Dialogs &dialogs, platform::HostResolver &resolver,
                   platform::IcmpEcho &echo, int pingTimeout)
    : ToolWindow(controlName("frmPing")),
      addressLabel(ControlKind::Label, controlName("Label1"), 0),
      address(ControlKind::TextBox, controlName("Text1")),
      echoDataLabel(ControlKind::Label, controlName("Label2")),
      echoData(ControlKind::TextBox, controlName("Text2")),
      pingButton(ControlKind::Button, controlName("Command1")),
      cancelButton(ControlKind::Button, controlName("Command3")),
      resultsFrame(ControlKind::Frame, controlName("Frame1")),
      replyStatusLabel(ControlKind::Label, controlName("Label1"), 1),
      replyAddressLabel(ControlKind::Label, controlName("Label1"), 2),
      roundTripTimeLabel(ControlKind::Label, controlName("Label1"), 3),
      replySizeLabel(ControlKind::Label, controlName("Label1"), 4),
      replyDataLabel(ControlKind::Label, controlName("Label1"), 5),
      replyStatus(ControlKind::TextBox, controlName("Text4"), 0),
      replyAddress(ControlKind::TextBox, controlName("Text4"), 1),
      roundTripTime(ControlKind::TextBox, controlName("Text4"), 2),
      replySize(ControlKind::TextBox, controlName("Text4"), 3),
      replyData(ControlKind::TextBox, controlName("Text4"), 4),
      m_strings(strings),
      m_dialogs(dialogs),
      m_resolver(resolver),
      m_echo(echo),
      m_pingTimeout(pingTimeout)
{
    // The window's own caption has no string id: it stays in English.
    setCaption(QStringLiteral("Ping IP Address"));
    const std::pair<core::Control *, int> tagged[] = {
        {&addressLabel, 5041},   {&echoDataLabel, 5042},    {&pingButton, 5049},        {&cancelButton, 5050},
        {&resultsFrame, 5043},   {&replyStatusLabel, 5044}, {&replyAddressLabel, 5045}, {&roundTripTimeLabel, 5046},
        {&replySizeLabel, 5047}, {&replyDataLabel, 5048},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    for (core::Control *control :
         {&addressLabel, &address, &echoDataLabel, &echoData, &pingButton, &cancelButton, &resultsFrame,
          &replyStatusLabel, &replyAddressLabel, &roundTripTimeLabel, &replySizeLabel, &replyDataLabel, &replyStatus,
          &replyAddress, &roundTripTime, &replySize, &replyData})
        addControl(*control);
    pingButton.onClick = [this] { onPingClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    address.setToolTip(strings.text(StringId::PingAddressTip));
    echoData.setToolTip(strings.text(StringId::PingDataTip));
    echoData.setText(QStringLiteral("Testing 123"));
}

PingForm::~PingForm()
{
    dropPending();
}

void PingForm::onPingClicked()
{
    if (isBusy() || !isLoaded())
        return;
    if (address.text().isEmpty()) {
        m_dialogs.messageBox(m_strings.text(StringId::PingAddressMissing),
                             m_strings.text(StringId::PingAddressMissingTitle), platform::MessageButtons::Ok,
                             platform::MessageIcon::None);
        emit addressFocusRequested();
        return;
    }
    for (core::Control *field : {&replyStatus, &replyAddress, &roundTripTime, &replySize, &replyData})
        field->setText({});
    pingButton.setEnabled(false);
    setBusy(true);
    m_lookup = m_resolver.lookup(address.text(), [this](const QString &found) {
        m_lookup = 0;
        addressFound(found);
    });
}

void PingForm::addressFound(const QString &found)
{
    // The data goes as the user typed it: an empty text sends no data.
    m_request = sendEcho(m_echo, found, echoData.text().toLocal8Bit(), m_pingTimeout, [this](const EchoReply &reply) {
        m_request = 0;
        showReply(reply);
    });
}

void PingForm::showReply(const EchoReply &reply)
{
    replyStatus.setText(echoStatusText(reply.Status));
    replyAddress.setText(QString::number(reply.Address));
    roundTripTime.setText(QString::number(reply.RoundTripTime) + QStringLiteral(" ms"));
    replySize.setText(QString::number(reply.DataSize) + QStringLiteral(" bytes"));
    const qsizetype end = reply.Data.indexOf('\0');
    replyData.setText(QString::fromLocal8Bit(end < 0 ? reply.Data : reply.Data.left(end)));
    setBusy(false);
    pingButton.setEnabled(true);
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
