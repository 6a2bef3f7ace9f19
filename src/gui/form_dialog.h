#pragma once

#include <QDialog>

namespace pvx::core {
class ModalForm;
}

namespace pvx::gui {

/// A modal dialog that shows a dialog model: its caption follows the model
/// and it closes when the model unloads. The Esc key does what the model
/// binds to it; the close box and any other way of closing it (the
/// shutdown) unload the model without running OK or Cancel. It centres
/// itself on the screen.
class FormDialog : public QDialog {
    Q_OBJECT
public:
    FormDialog(core::ModalForm &form, QWidget *parent);

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    core::ModalForm &m_form;
};

} // namespace pvx::gui
