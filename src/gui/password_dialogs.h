#pragma once

#include "gui/form_dialog.h"

namespace pvx::shell {
class EnterPasswordForm;
class SetPasswordForm;
}

namespace pvx::gui {

/// The view of the set-password dialog: two masked fields, OK and Cancel.
class SetPasswordDialog : public FormDialog {
    Q_OBJECT
public:
    explicit SetPasswordDialog(shell::SetPasswordForm &form, QWidget *parent = nullptr);
};

/// The view of the enter-password dialog: one masked field, OK and Cancel.
class EnterPasswordDialog : public FormDialog {
    Q_OBJECT
public:
    explicit EnterPasswordDialog(shell::EnterPasswordForm &form, QWidget *parent = nullptr);
};

} // namespace pvx::gui
