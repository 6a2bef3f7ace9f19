#pragma once

#include "gui/form_dialog.h"

namespace pvx::shell {
class OptionsForm;
}

namespace pvx::gui {

/// The view of the global options dialog.
class OptionsDialog : public FormDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(shell::OptionsForm &form, QWidget *parent = nullptr);
};

} // namespace pvx::gui
