#include "session/login_options_form.h"

namespace pvx::session {

namespace {

using core::ControlKind;

using core::controlName;

} // namespace

LoginOptionsForm::LoginOptionsForm(const LoginOptions &options)
    : ValueForm(controlName("frmLogin")),
      Label1(ControlKind::Label, controlName("Label1")),
      txtUserPrompt(ControlKind::TextBox, controlName("txtUserPrompt")),
      Label2(ControlKind::Label, controlName("Label2")),
      txtUserPromptResponse(ControlKind::TextBox, controlName("txtUserPromptResponse")),
      Label3(ControlKind::Label, controlName("Label3")),
      txtPasswordPrompt(ControlKind::TextBox, controlName("txtPasswordPrompt")),
      Label4(ControlKind::Label, controlName("Label4")),
      txtPasswordPromptResponse(ControlKind::TextBox, controlName("txtPasswordPromptResponse")),
      btnOK(ControlKind::Button, controlName("btnOK")),
      btnCancel(ControlKind::Button, controlName("btnCancel"))
{
    setCaption(QStringLiteral("Client Login Options"));
    const std::pair<core::Control *, const char *> captioned[] = {
        {&Label1, "Username Prompt:"}, {&Label2, "Username Prompt Response:"}, {&Label3, "Password Prompt:"},
        {&Label4, "Password Prompt Response:"}, {&btnOK, "&OK"}, {&btnCancel, "&Cancel"},
    };
    for (const auto &[control, caption] : captioned)
        control->setCaption(QLatin1String(caption));
    for (core::Control *control : {&Label1, &txtUserPrompt, &Label2, &txtUserPromptResponse, &Label3,
                                   &txtPasswordPrompt, &Label4, &txtPasswordPromptResponse, &btnOK, &btnCancel})
        addControl(*control);
    btnOK.onClick = [this] { onOkClicked(); };
    btnCancel.onClick = [this] { onCancelClicked(); };

    txtUserPrompt.setText(options.UserPrompt);
    txtUserPromptResponse.setText(options.UserPromptResponse);
    txtPasswordPrompt.setText(options.PasswordPrompt);
    txtPasswordPromptResponse.setText(options.PasswordPromptResponse);
}

void LoginOptionsForm::onOkClicked()
{
    accept({txtUserPrompt.text(), txtUserPromptResponse.text(), txtPasswordPrompt.text(),
            txtPasswordPromptResponse.text()});
}

} // namespace pvx::session
