#include "session/login_options_form.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

} // namespace

LoginOptionsForm::LoginOptionsForm(const LoginOptions &options)
    : ValueForm(controlName("frmLogin")),
      userPromptLabel(ControlKind::Label, controlName("Label1")),
      userPrompt(ControlKind::TextBox, controlName("txtUserPrompt")),
      userResponseLabel(ControlKind::Label, controlName("Label2")),
      userResponse(ControlKind::TextBox, controlName("txtUserPromptResponse")),
      passwordPromptLabel(ControlKind::Label, controlName("Label3")),
      passwordPrompt(ControlKind::TextBox, controlName("txtPasswordPrompt")),
      passwordResponseLabel(ControlKind::Label, controlName("Label4")),
      passwordResponse(ControlKind::TextBox, controlName("txtPasswordPromptResponse")),
      okButton(ControlKind::Button, controlName("btnOK")),
      cancelButton(ControlKind::Button, controlName("btnCancel"))
{
    setCaption(QStringLiteral("Client Login Options"));
    const std::pair<core::Control *, const char *> captioned[] = {
        {&userPromptLabel, "Username Prompt:"},
        {&userResponseLabel, "Username Prompt Response:"},
        {&passwordPromptLabel, "Password Prompt:"},
        {&passwordResponseLabel, "Password Prompt Response:"},
        {&okButton, "&OK"},
        {&cancelButton, "&Cancel"},
    };
    for (const auto &[control, caption] : captioned)
        control->setCaption(QLatin1String(caption));
    for (core::Control *control :
         {&userPromptLabel, &userPrompt, &userResponseLabel, &userResponse, &passwordPromptLabel, &passwordPrompt,
          &passwordResponseLabel, &passwordResponse, &okButton, &cancelButton})
        addControl(*control);
    okButton.onClick = [this] { onOkClicked(); };
    cancelButton.onClick = [this] { onCancelClicked(); };

    userPrompt.setText(options.UserPrompt);
    userResponse.setText(options.UserPromptResponse);
    passwordPrompt.setText(options.PasswordPrompt);
    passwordResponse.setText(options.PasswordPromptResponse);
}

void LoginOptionsForm::onOkClicked()
{
    accept({userPrompt.text(), userResponse.text(), passwordPrompt.text(), passwordResponse.text()});
}

} // namespace pvx::session
