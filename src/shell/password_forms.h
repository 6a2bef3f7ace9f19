#pragma once

#include "core/control.h"
#include "core/modal_form.h"

namespace pvx::platform {
class Dialogs;
}
namespace pvx::resources {
class StringTable;
}

namespace pvx::shell {

/// "Porvix Password" (Form1): sets or removes the access password. No old
/// password is asked for. OK gives back the new password (empty: none); it
/// reaches the file at the next save.
class SetPasswordForm : public core::ValueForm<QString> {
    Q_OBJECT
public:
    /// Loads the window: its texts from `strings`, both fields holding
    /// `current`, the password now in force.
    SetPasswordForm(const resources::StringTable &strings, platform::Dialogs &dialogs, const QString &current);

    core::Control passwordLabel;
    core::Control password;
    core::Control confirmationLabel;
    core::Control confirmation;
    core::Control okButton;
    core::Control cancelButton;

    /// OK: both fields equal give back the new password (empty removes it)
    /// and close the dialog; otherwise a message says so and the dialog
    /// stays open.
    void onOkClicked();
    /// Cancel: closes the dialog; nothing comes back.
    void onCancelClicked();
    void cancel() override { onCancelClicked(); }

private:
    const resources::StringTable &m_strings;
    platform::Dialogs &m_dialogs;
};

/// "Porvix Password" (Form2): asks for the access password and gives back
/// what was typed. It keeps its built-in English texts in every language.
class EnterPasswordForm : public core::ValueForm<QString> {
    Q_OBJECT
public:
    EnterPasswordForm();

    core::Control passwordLabel;
    core::Control password;
    core::Control okButton;
    core::Control cancelButton;

    /// OK: gives back the text typed and closes the dialog.
    void onOkClicked();
    /// Cancel: closes the dialog; nothing comes back.
    void onCancelClicked();
    void cancel() override { onCancelClicked(); }
};

/// Shows an enter-password dialog modally and returns when it has closed.
using EnterPasswordRunner = core::FormRunner<EnterPasswordForm>;

/// The access check before the hidden main window is shown again or the
/// program is ended from the notification area. Passes at once without a
/// password; otherwise asks for it (through `run`; none counts as Cancel) and
/// passes only on an exact, case-sensitive match. A wrong entry is reported
/// as "Invalid password"; a cancelled or empty one fails silently.
bool checkPassword(const QString &password, const EnterPasswordRunner &run, platform::Dialogs &dialogs,
                   const resources::StringTable &strings);

} // namespace pvx::shell
