#include "gui/password_dialogs.h"

#include "gui/bound_widgets.h"
#include "shell/password_forms.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pvx::gui {

namespace {

QHBoxLayout *okCancelRow(QWidget *parent, core::Control &ok, core::Control &cancel)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton *okButton = boundPushButton(parent, ok);
    okButton->setDefault(true);
    row->addWidget(okButton);
    row->addWidget(boundPushButton(parent, cancel));
    return row;
}

void addField(QGridLayout *grid, int row, QWidget *parent, core::Control &label, core::Control &field)
{
    QLabel *caption = boundLabel(parent, label);
    QLineEdit *edit = boundPasswordEdit(parent, field);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
}

} // namespace

SetPasswordDialog::SetPasswordDialog(shell::SetPasswordForm &form, QWidget *parent) : FormDialog(form, parent)
{
    auto *grid = new QGridLayout(this);
    addField(grid, 0, this, form.passwordLabel, form.password);
    addField(grid, 1, this, form.confirmationLabel, form.confirmation);
    grid->addLayout(okCancelRow(this, form.okButton, form.cancelButton), 2, 0, 1, 2);
}

EnterPasswordDialog::EnterPasswordDialog(shell::EnterPasswordForm &form, QWidget *parent) : FormDialog(form, parent)
{
    auto *grid = new QGridLayout(this);
    addField(grid, 0, this, form.passwordLabel, form.password);
    grid->addLayout(okCancelRow(this, form.okButton, form.cancelButton), 1, 0, 1, 2);
}

} // namespace pvx::gui
