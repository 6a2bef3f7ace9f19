#include "tools/resolve_form.h"

#include "platform/dialogs.h"
#include "platform/host_resolver.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"

#include <utility>

namespace pvx::tools {

namespace {

using core::ControlKind;

constexpr int kHostNameTip = 5124;
constexpr int kCannotResolve = 5115;

using core::controlName;

} // namespace

ResolveForm::ResolveForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                         platform::HostResolver &resolver)
    : ToolWindow(controlName("frmResolve")),
      Label1(ControlKind::Label, controlName("Label1")),
      txtHostName(ControlKind::TextBox, controlName("txtHostName")),
      Label2(ControlKind::Label, controlName("Label2")),
      txtIPAddress(ControlKind::TextBox, controlName("txtIPAddress")),
      Command1(ControlKind::Button, controlName("Command1")),
      Command3(ControlKind::Button, controlName("Command3")),
      Command4(ControlKind::Button, controlName("Command4")),
      m_strings(strings),
      m_dialogs(dialogs),
      m_resolver(resolver)
{
    setTag(QStringLiteral("5051"));
    const std::pair<core::Control *, int> tagged[] = {
        {&Label1, 5052}, {&Label2, 5053}, {&Command1, 5055}, {&Command3, 5054}, {&Command4, 5056},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    for (core::Control *control : {&Label1, &txtHostName, &Label2, &txtIPAddress, &Command1, &Command3, &Command4})
        addControl(*control);
    Command3.setEnabled(false);
    Command1.onClick = [this] { onResolveClicked(); };
    Command4.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    txtHostName.setToolTip(strings.text(kHostNameTip));
}

ResolveForm::~ResolveForm()
{
    dropPending();
}

void ResolveForm::onResolveClicked()
{
    if (isBusy() || !isLoaded())
        return;
    Command1.setEnabled(false);
    setBusy(true);
    const QString hostName = txtHostName.text();
    m_lookup = m_resolver.lookup(hostName, [this, hostName](const QString &address) {
        m_lookup = 0;
        resolved(hostName, address);
    });
}

void ResolveForm::resolved(const QString &hostName, const QString &address)
{
    setBusy(false);
    Command1.setEnabled(true);
    if (!address.isEmpty()) {
        txtIPAddress.setText(address);
        return;
    }
    m_dialogs.messageBox(m_strings.text(kCannotResolve) + QLatin1Char(' ') + hostName, {},
                         platform::MessageButtons::Ok, platform::MessageIcon::None);
}

void ResolveForm::dropPending()
{
    if (m_lookup != 0)
        m_resolver.cancel(std::exchange(m_lookup, 0));
}

} // namespace pvx::tools
