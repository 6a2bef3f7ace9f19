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

constexpr int kTitleId = 5058;
constexpr int kDescriptionId = 5060;
constexpr int kUnavailableId = 5073;

using core::controlName;

/// "2024-2026", or the one year while that is the first.
QString copyrightYears(int currentYear)
{
    const QString current = QString::number(currentYear);
    return currentYear > kFirstYear ? QString::number(kFirstYear) + QLatin1Char('-') + current : current;
}

} // namespace

AboutForm::AboutForm(Services services)
    : ModalForm(controlName("frmAbout")),
      lblTitle(ControlKind::Label, controlName("lblTitle")),
      lblVersion(ControlKind::Label, controlName("lblVersion")),
      lblDescription(ControlKind::Label, controlName("lblDescription")),
      Label4(ControlKind::Label, controlName("Label4")),
      lblDisclaimer(ControlKind::Label, controlName("lblDisclaimer")),
      cmdOK(ControlKind::Button, controlName("cmdOK")),
      cmdSysInfo(ControlKind::Button, controlName("cmdSysInfo")),
      m_services(services)
{
    setTag(QStringLiteral("5057"));
    const std::pair<core::Control *, const char *> tagged[] = {
        {&lblTitle, "5058"},       {&lblVersion, "5059"}, {&lblDescription, ""}, {&Label4, ""},
        {&lblDisclaimer, "1102"}, {&cmdOK, "1207"},      {&cmdSysInfo, ""},
    };
    for (const auto &[control, tag] : tagged) {
        control->setTag(QLatin1String(tag));
        addControl(*control);
    }
    cmdSysInfo.setCaption(QStringLiteral("&System Info..."));
    cmdOK.onClick = [this] { onOkClicked(); };
    cmdSysInfo.onClick = [this] { startSystemInfo(); };
    Label4.onClick = [this] { onWebAddressClicked(); };

    const resources::StringTable &strings = services.strings;
    resources::applyFormStrings(*this, strings);
    lblTitle.setCaption(QStringLiteral("Porvix - ") + strings.text(kTitleId));
    lblDescription.setCaption(strings.text(kDescriptionId) + QStringLiteral("\n\nCopyright \u00a9 ")
                              + copyrightYears(services.clock.now().date().year())
                              + QStringLiteral(" The Porvix developers"));
    Label4.setCaption(QLatin1String(kWebAddress));
    lblVersion.setCaption(QStringLiteral("V. " PVX_VERSION));
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
    m_services.dialogs.messageBox(m_services.strings.text(kUnavailableId), {}, platform::MessageButtons::Ok,
                                  platform::MessageIcon::None);
}

} // namespace pvx::about
