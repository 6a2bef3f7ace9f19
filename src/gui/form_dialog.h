#pragma once

#include <QDialog>

namespace pvx::shell {
class ModalForm;
}

namespace pvx::gui {

/// A modal dialog that shows a dialog model: its caption follows the model,
/// it closes when the model unloads, and closing it any other way (Esc, the
/// close box, the shutdown) is the model's Cancel. It centres itself on the
/// screen.
class FormDialog : public QDialog {
    Q_OBJECT
public:
    FormDialog(shell::ModalForm &form, QWidget *parent);

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    shell::ModalForm &m_form;
};

} // namespace pvx::gui
