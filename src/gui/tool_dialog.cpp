#include "gui/tool_dialog.h"

#include "gui/bound_widgets.h"
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pvx::gui {

namespace {

QLineEdit *readOnlyField(QWidget *parent, core::Control &control)
{
    QLineEdit *field = boundLineEdit(parent, control);
    field->setReadOnly(true);
    return field;
}

void addRow(QGridLayout *grid, int row, QLabel *label, QWidget *field)
{
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
}

} // namespace

ToolDialog::ToolDialog(tools::ToolWindow &window, QWidget *parent) : QDialog(parent), m_window(window)
{
    setObjectName(window.name());
    const auto showCaption = [this] { setWindowTitle(m_window.caption()); };
    showCaption();
    connect(&window, &core::Form::changed, this, showCaption);
    connect(&window, &tools::ToolWindow::unloaded, this, &QDialog::accept);
    connect(&window, &tools::ToolWindow::busyChanged, this, [this](bool busy) {
        if (busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    });
}

void ToolDialog::reject()
{
    m_window.unload();
    if (isVisible())
        QDialog::reject();
}

PingDialog::PingDialog(tools::PingForm &form, QWidget *parent) : ToolDialog(form, parent)
{
    auto *grid = new QGridLayout(this);
    QLineEdit *address = boundLineEdit(this, form.Text1);
    addRow(grid, 0, boundLabel(this, form.Label1_0), address);
    addRow(grid, 1, boundLabel(this, form.Label2), boundLineEdit(this, form.Text2));
    connect(&form, &tools::PingForm::addressFocusRequested, address, [address] { address->setFocus(); });

    QGroupBox *results = boundGroupBox(this, form.Frame1);
    auto *resultGrid = new QGridLayout(results);
    const std::pair<core::Control *, core::Control *> rows[] = {
        {&form.Label1_1, &form.Text4_0}, {&form.Label1_2, &form.Text4_1}, {&form.Label1_3, &form.Text4_2},
        {&form.Label1_4, &form.Text4_3}, {&form.Label1_5, &form.Text4_4},
    };
    int row = 0;
    for (const auto &[label, field] : rows) {
        addRow(resultGrid, row++, boundLabel(results, *label), readOnlyField(results, *field));
    }
    resultGrid->setColumnMinimumWidth(1, 240);
    grid->addWidget(results, 2, 0, 1, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *ping = boundPushButton(this, form.Command1);
    ping->setDefault(true);
    buttons->addWidget(ping);
    buttons->addWidget(boundPushButton(this, form.Command3));
    grid->addLayout(buttons, 3, 0, 1, 2);
    address->setFocus();
}

ResolveDialog::ResolveDialog(tools::ResolveForm &form, QWidget *parent) : ToolDialog(form, parent)
{
    auto *grid = new QGridLayout(this);
    QLineEdit *hostName = boundLineEdit(this, form.txtHostName);
    hostName->setMinimumWidth(260);
    addRow(grid, 0, boundLabel(this, form.Label1), hostName);
    addRow(grid, 1, boundLabel(this, form.Label2), readOnlyField(this, form.txtIPAddress));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *resolve = boundPushButton(this, form.Command1);
    resolve->setDefault(true);
    buttons->addWidget(resolve);
    buttons->addWidget(boundPushButton(this, form.Command3));
    buttons->addWidget(boundPushButton(this, form.Command4));
    grid->addLayout(buttons, 2, 0, 1, 2);
    hostName->setFocus();
}

} // namespace pvx::gui
