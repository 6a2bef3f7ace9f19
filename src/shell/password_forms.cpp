#include "shell/password_forms.h"

#include "platform/dialogs.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"

namespace pvx::shell {

namespace {

using core::ControlKind;
using core::controlName;
using resources::StringId;

} // namespace

SetPasswordForm::SetPasswordForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                                 const QString &current)
    : ValueForm(controlName("Form1")),
      passwordLabel(ControlKind::Label, controlName("Label1")),
      password(ControlKind::TextBox, controlName("Text1")),
      confirmationLabel(ControlKind::Label, controlName("Label2")),
      confirmation(ControlKind::TextBox, controlName("Text2")),
      okButton(ControlKind::Button, controlName("Command1")),
      cancelButton(ControlKind::Button, controlName("Command2")),
      m_strings(strings),
      m_dialogs(dialogs)
{
    setTag(QStringLiteral("5010"));
    passwordLabel.setTag(QStringLiteral("5011"));
    confirmationLabel.setTag(QStringLiteral("5012"));
    okButton.setTag(QStringLiteral("1207"));
    cancelButton.setTag(QStringLiteral("1208"));
    for (core::Control *control :
         {&passwordLabel, &password, &confirmationLabel, &confirmation, &okButton, &cancelButton})
        addControl(*control);
    okButton.onClick = [this] { onOkClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    resources::applyFormStrings(*this, strings);
    password.setText(current);
    confirmation.setText(current);
}

void SetPasswordForm::onOkClicked()
{
    if (confirmation.text() != password.text()) {
        m_dialogs.messageBox(m_strings.text(StringId::PasswordsDiffer), {}, platform::MessageButtons::Ok,
                             platform::MessageIcon::None);
        return;
    }
    accept(password.text());
}

void SetPasswordForm::onCancelClicked()
{
    unload();
}

EnterPasswordForm::EnterPasswordForm()
    : ValueForm(controlName("Form2")),
      passwordLabel(ControlKind::Label, controlName("Label1")),
      password(ControlKind::TextBox, controlName("Text1")),
      okButton(ControlKind::Button, controlName("Command1")),
      cancelButton(ControlKind::Button, controlName("Command2"))
{
    setCaption(QStringLiteral("Porvix Password"));
    passwordLabel.setCaption(QStringLiteral("Enter Password:"));
    okButton.setCaption(QStringLiteral("OK"));
    cancelButton.setCaption(QStringLiteral("Cancel"));
    for (core::Control *control : {&passwordLabel, &password, &okButton, &cancelButton})
        addControl(*control);
    okButton.onClick = [this] { onOkClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };
}

void EnterPasswordForm::onOkClicked()
{
    accept(password.text());
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
        dialogs.messageBox(strings.text(StringId::InvalidPassword), {}, platform::MessageButtons::Ok,
                           platform::MessageIcon::None);
    return false;
}

} // namespace pvx::shell
