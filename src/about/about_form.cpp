#include "about/about_form.h"

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/process_launcher.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"

namespace pvx::about {

namespace {

using core::ControlKind;
using core::controlName;
using resources::StringId;

/// "2024-2026", or the one year while that is the first.
QString copyrightYears(int currentYear)
{
    const QString current = QString::number(currentYear);
    return currentYear > kFirstYear ? QString::number(kFirstYear) + QLatin1Char('-') + current : current;
}

} // namespace

AboutForm::AboutForm(Services services)
    : ModalForm(controlName("frmAbout")),
      titleLabel(ControlKind::Label, controlName("lblTitle")),
      versionLabel(ControlKind::Label, controlName("lblVersion")),
      descriptionLabel(ControlKind::Label, controlName("lblDescription")),
      webAddressLabel(ControlKind::Label, controlName("Label4")),
      disclaimerLabel(ControlKind::Label, controlName("lblDisclaimer")),
      okButton(ControlKind::Button, controlName("cmdOK")),
      systemInfoButton(ControlKind::Button, controlName("cmdSysInfo")),
      m_services(services)
{
    setTag(QStringLiteral("5057"));
    const std::pair<core::Control *, const char *> tagged[] = {
        {&titleLabel, "5058"},      {&versionLabel, "5059"}, {&descriptionLabel, ""}, {&webAddressLabel, ""},
        {&disclaimerLabel, "1102"}, {&okButton, "1207"},     {&systemInfoButton, ""},
    };
    for (const auto &[control, tag] : tagged) {
        control->setTag(QLatin1String(tag));
        addControl(*control);
    }
    systemInfoButton.setCaption(QStringLiteral("&System Info..."));
    okButton.onClick = [this] { onOkClicked(); };
    systemInfoButton.onClick = [this] { startSystemInfo(); };
    webAddressLabel.onClick = [this] { onWebAddressClicked(); };

    const resources::StringTable &strings = services.strings;
    resources::applyFormStrings(*this, strings);
    titleLabel.setCaption(QStringLiteral("Porvix - ") + strings.text(StringId::ProgramTitle));
    descriptionLabel.setCaption(strings.text(StringId::ProgramDescription) + QStringLiteral("\n\nCopyright \u00a9 ")
                                + copyrightYears(services.clock.now().date().year())
                                + QStringLiteral(" The Porvix developers"));
    webAddressLabel.setCaption(QLatin1String(kWebAddress));
    versionLabel.setCaption(QStringLiteral("V. " PVX_VERSION));
}

void AboutForm::onWebAddressClicked()
{
    if (m_services.desktop)
        (void)m_services.desktop->openUrl(QLatin1String(kWebAddress));
}

void AboutForm::startSystemInfo()
{
    for (const char *program : kSystemInformationPrograms) {
        if (m_services.launcher.startProgram(QLatin1String(program)))
            return;
    }
    m_services.dialogs.messageBox(m_services.strings.text(StringId::SystemInfoUnavailable), {},
                                  platform::MessageButtons::Ok, platform::MessageIcon::None);
}

} // namespace pvx::about
