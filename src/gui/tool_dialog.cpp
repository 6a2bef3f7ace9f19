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
    QLineEdit *address = boundLineEdit(this, form.address);
    addRow(grid, 0, boundLabel(this, form.addressLabel), address);
    addRow(grid, 1, boundLabel(this, form.echoDataLabel), boundLineEdit(this, form.echoData));
    connect(&form, &tools::PingForm::addressFocusRequested, address, [address] { address->setFocus(); });

    QGroupBox *results = boundGroupBox(this, form.resultsFrame);
    auto *resultGrid = new QGridLayout(results);
    const std::pair<core::Control *, core::Control *> rows[] = {
        {&form.replyStatusLabel, &form.replyStatus},     {&form.replyAddressLabel, &form.replyAddress},
        {&form.roundTripTimeLabel, &form.roundTripTime}, {&form.replySizeLabel, &form.replySize},
        {&form.replyDataLabel, &form.replyData},
    };
    int row = 0;
    for (const auto &[label, field] : rows) {
        addRow(resultGrid, row++, boundLabel(results, *label), readOnlyField(results, *field));
    }
    resultGrid->setColumnMinimumWidth(1, 240);
    grid->addWidget(results, 2, 0, 1, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *ping = boundPushButton(this, form.pingButton);
    ping->setDefault(true);
    buttons->addWidget(ping);
    buttons->addWidget(boundPushButton(this, form.cancelButton));
    grid->addLayout(buttons, 3, 0, 1, 2);
    address->setFocus();
}

ResolveDialog::ResolveDialog(tools::ResolveForm &form, QWidget *parent) : ToolDialog(form, parent)
{
    auto *grid = new QGridLayout(this);
    QLineEdit *hostName = boundLineEdit(this, form.hostName);
    hostName->setMinimumWidth(260);
    addRow(grid, 0, boundLabel(this, form.hostNameLabel), hostName);
    addRow(grid, 1, boundLabel(this, form.addressLabel), readOnlyField(this, form.address));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *resolve = boundPushButton(this, form.resolveButton);
    resolve->setDefault(true);
    buttons->addWidget(resolve);
    buttons->addWidget(boundPushButton(this, form.helpButton));
    buttons->addWidget(boundPushButton(this, form.cancelButton));
    grid->addLayout(buttons, 2, 0, 1, 2);
    hostName->setFocus();
}

} // namespace pvx::gui
