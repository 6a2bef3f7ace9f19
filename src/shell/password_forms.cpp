#include "shell/password_forms.h"

#include "platform/dialogs.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"

namespace pvx::shell {

namespace {

using core::ControlKind;

constexpr int kPasswordsDiffer = 5110;
constexpr int kInvalidPassword = 5065;

using core::controlName;

} // namespace

SetPasswordForm::SetPasswordForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                                 const QString &password)
    : ValueForm(controlName("Form1")),
      Label1(ControlKind::Label, controlName("Label1")),
      Text1(ControlKind::TextBox, controlName("Text1")),
      Label2(ControlKind::Label, controlName("Label2")),
      Text2(ControlKind::TextBox, controlName("Text2")),
      Command1(ControlKind::Button, controlName("Command1")),
      Command2(ControlKind::Button, controlName("Command2")),
      m_strings(strings),
      m_dialogs(dialogs)
{
    setTag(QStringLiteral("5010"));
    Label1.setTag(QStringLiteral("5011"));
    Label2.setTag(QStringLiteral("5012"));
    Command1.setTag(QStringLiteral("1207"));
    Command2.setTag(QStringLiteral("1208"));
    for (core::Control *control : {&Label1, &Text1, &Label2, &Text2, &Command1, &Command2})
        addControl(*control);
    Command1.onClick = [this] { onOkClicked(); };
    Command2.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    Text1.setText(password);
    Text2.setText(password);
}

void SetPasswordForm::onOkClicked()
{
    if (Text2.text() != Text1.text()) {
        m_dialogs.messageBox(m_strings.text(kPasswordsDiffer), {}, platform::MessageButtons::Ok,
                             platform::MessageIcon::None);
        return;
    }
    accept(Text1.text());
}

void SetPasswordForm::onCancelClicked()
{
    unload();
}

EnterPasswordForm::EnterPasswordForm()
    : ValueForm(controlName("Form2")),
      Label1(ControlKind::Label, controlName("Label1")),
      Text1(ControlKind::TextBox, controlName("Text1")),
      Command1(ControlKind::Button, controlName("Command1")),
      Command2(ControlKind::Button, controlName("Command2"))
{
    setCaption(QStringLiteral("Porvix Password"));
    Label1.setCaption(QStringLiteral("Enter Password:"));
    Command1.setCaption(QStringLiteral("OK"));
    Command2.setCaption(QStringLiteral("Cancel"));
    for (core::Control *control : {&Label1, &Text1, &Command1, &Command2})
        addControl(*control);
    Command1.onClick = [this] { onOkClicked(); };
    Command2.onClick = [this] { onCancelClicked(); };
}

void EnterPasswordForm::onOkClicked()
{
    accept(Text1.text());
}

void EnterPasswordForm::onCancelClicked()
{
    unload();
}

bool checkPassword(const QString &password, const EnterPasswordRunner &run, platform::Dialogs &dialogs,
                   const resources::StringTable &strings)
{
    if (password.isEmpty())
        return true;
    EnterPasswordForm form;
    const QString entered = core::showModal(run, form).value_or(QString());
    if (entered == password)
        return true;
    if (!entered.isEmpty())
        dialogs.messageBox(strings.text(kInvalidPassword), {}, platform::MessageButtons::Ok,
                           platform::MessageIcon::None);
    return false;
}

} // namespace pvx::shell
