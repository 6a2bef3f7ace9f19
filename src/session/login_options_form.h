#pragma once

#include "core/control.h"
#include "core/modal_form.h"

#include <QString>

namespace pvx::session {

/// The four login texts of a client session (see SessionOptions).
struct LoginOptions {
    QString UserPrompt;
    QString UserPromptResponse;
    QString PasswordPrompt;
    QString PasswordPromptResponse;

    bool operator==(const LoginOptions &) const = default;
};

/// "Client Login Options" (frmLogin): four texts, shown in clear. It keeps
/// its built-in English texts in every language. OK gives back the texts;
/// Esc does nothing.
class LoginOptionsForm : public core::ValueForm<LoginOptions> {
    Q_OBJECT
public:
    explicit LoginOptionsForm(const LoginOptions &options);

    core::Control userPromptLabel;
    core::Control userPrompt;
    core::Control userResponseLabel;
    core::Control userResponse;
    core::Control passwordPromptLabel;
    core::Control passwordPrompt;
    core::Control passwordResponseLabel;
    core::Control passwordResponse;
    core::Control okButton;
    core::Control cancelButton;

    /// OK: gives back the four texts as they stand.
    void onOkClicked();
    /// Cancel: closes the dialog; nothing comes back.
    void onCancelClicked() { unload(); }
    void cancel() override { onCancelClicked(); }
    void escapePressed() override {}
};

} // namespace pvx::session
