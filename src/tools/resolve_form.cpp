#include "tools/resolve_form.h"

#include "platform/dialogs.h"
#include "platform/host_resolver.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"

#include <utility>

namespace pvx::tools {

namespace {

using core::ControlKind;
using core::controlName;
using resources::StringId;

} // namespace

ResolveForm::ResolveForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                         platform::HostResolver &resolver)
    : ToolWindow(controlName("frmResolve")),
      hostNameLabel(ControlKind::Label, controlName("Label1")),
      hostName(ControlKind::TextBox, controlName("txtHostName")),
      addressLabel(ControlKind::Label, controlName("Label2")),
      address(ControlKind::TextBox, controlName("txtIPAddress")),
      resolveButton(ControlKind::Button, controlName("Command1")),
      helpButton(ControlKind::Button, controlName("Command3")),
      cancelButton(ControlKind::Button, controlName("Command4")),
      m_strings(strings),
      m_dialogs(dialogs),
      m_resolver(resolver)
{
    setTag(QStringLiteral("5051"));
    const std::pair<core::Control *, int> tagged[] = {
        {&hostNameLabel, 5052}, {&addressLabel, 5053}, {&resolveButton, 5055},
        {&helpButton, 5054},    {&cancelButton, 5056},
    };
    for (const auto &[control, id] : tagged)
        control->setTag(QString::number(id));
    for (core::Control *control :
         {&hostNameLabel, &hostName, &addressLabel, &address, &resolveButton, &helpButton, &cancelButton})
        addControl(*control);
    helpButton.setEnabled(false);
    resolveButton.onClick = [this] { onResolveClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    hostName.setToolTip(strings.text(StringId::HostNameTip));
}

ResolveForm::~ResolveForm()
{
    dropPending();
}

void ResolveForm::onResolveClicked()
{
    if (isBusy() || !isLoaded())
        return;
    resolveButton.setEnabled(false);
    setBusy(true);
    const QString name = hostName.text();
    m_lookup = m_resolver.lookup(name, [this, name](const QString &found) {
        m_lookup = 0;
        resolved(name, found);
    });
}

void ResolveForm::resolved(const QString &name, const QString &found)
{
    setBusy(false);
    resolveButton.setEnabled(true);
    if (!found.isEmpty()) {
        address.setText(found);
        return;
    }
    m_dialogs.messageBox(m_strings.text(StringId::CannotResolveHostName) + QLatin1Char(' ') + name, {},
                         platform::MessageButtons::Ok, platform::MessageIcon::None);
}

void ResolveForm::dropPending()
{
    if (m_lookup != 0)
        m_resolver.cancel(std::exchange(m_lookup, 0));
}

} // namespace pvx::tools
