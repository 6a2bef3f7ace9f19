#pragma once

#include "core/control.h"
#include "shell/modal_form.h"

#include <functional>

namespace pvx::platform {
class Dialogs;
}
namespace pvx::resources {
class StringTable;
}
namespace pvx::session {
struct ProgramSettings;
}

namespace pvx::shell {

/// "Porvix Password" (Form1): sets or removes the access password. No old
/// password is asked for; the new one reaches the file at the next save.
class SetPasswordForm : public ModalForm {
    Q_OBJECT
public:
    /// Loads the window: its texts from `strings`, both fields holding the
    /// current password.
    SetPasswordForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                    session::ProgramSettings &settings);

    core::Control Label1;
    core::Control Text1;
    core::Control Label2;
    core::Control Text2;
    core::Control Command1;
    core::Control Command2;

    /// OK: both fields equal set the password (empty removes it) and close
    /// the dialog; otherwise a message says so and the dialog stays open.
    void Command1_Click();
    /// Cancel: closes the dialog; the password is unchanged.
    void Command2_Click();
    void cancel() override { Command2_Click(); }

private:
    const resources::StringTable &m_strings;
    platform::Dialogs &m_dialogs;
    session::ProgramSettings &m_settings;
};

/// "Porvix Password" (Form2): asks for the access password. It keeps its
/// built-in English texts in every language.
class EnterPasswordForm : public ModalForm {
    Q_OBJECT
public:
    EnterPasswordForm();

    core::Control Label1;
    core::Control Text1;
    core::Control Command1;
    core::Control Command2;

    /// What the user typed; empty after Cancel.
    QString EnteredPassword;

    /// OK: keeps the text typed and closes the dialog.
    void Command1_Click();
    /// Cancel: forgets the text and closes the dialog.
    void Command2_Click();
    void cancel() override { Command2_Click(); }
};

/// Shows an enter-password dialog modally and returns when it has closed.
using EnterPasswordRunner = std::function<void(EnterPasswordForm &)>;

/// The access check before the hidden main window is shown again or the
/// program is ended from the notification area. Passes at once without a
/// password; otherwise asks for it (through `run`; none counts as Cancel) and
/// passes only on an exact, case-sensitive match. A wrong entry is reported
/// as "Invalid password"; a cancelled or empty one fails silently.
bool PasswordCheck(const QString &password, const EnterPasswordRunner &run, platform::Dialogs &dialogs,
                   const resources::StringTable &strings);

} // namespace pvx::shell
