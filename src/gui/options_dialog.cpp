#include "gui/options_dialog.h"

#include "gui/bound_widgets.h"
#include "shell/options_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvx::gui {

OptionsDialog::OptionsDialog(shell::OptionsForm &form, QWidget *parent) : FormDialog(form, parent)
{
    auto *packetRow = new QHBoxLayout;
    QLabel *packetLabel = boundLabel(this, form.Label2);
    QComboBox *packetSize = boundComboBox(this, form.Combo1, true);
    packetLabel->setBuddy(packetSize);
    packetRow->addWidget(packetLabel);
    packetRow->addWidget(packetSize);
    packetRow->addStretch(1);

    QGroupBox *program = boundGroupBox(this, form.Frame1);
    auto *programRow = new QHBoxLayout(program);
    QLabel *commandLabel = boundLabel(program, form.Label1);
    QLineEdit *commandLine = boundLineEdit(program, form.Text1);
    commandLabel->setBuddy(commandLine);
    programRow->addWidget(commandLabel);
    programRow->addWidget(commandLine, 1);
    programRow->addWidget(boundPushButton(program, form.Command1));

    QGroupBox *ping = boundGroupBox(this, form.Frame2);
    auto *pingGrid = new QGridLayout(ping);
    pingGrid->addWidget(boundCheckBox(ping, form.Check2), 0, 0, 1, 2);
    pingGrid->addWidget(boundLabel(ping, form.Label3), 1, 0);
    pingGrid->addWidget(boundComboBox(ping, form.Combo2, false), 1, 1);
    pingGrid->addWidget(boundLabel(ping, form.Label4), 2, 0);
    pingGrid->addWidget(boundComboBox(ping, form.Combo3, false), 2, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *ok = boundPushButton(this, form.Command2);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(boundPushButton(this, form.Command3));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(packetRow);
    layout->addWidget(boundCheckBox(this, form.Check1));
    layout->addWidget(program);
    layout->addWidget(ping);
    layout->addWidget(boundCheckBox(this, form.chkLoadWithWindows));
    layout->addLayout(buttons);
}

} // namespace pvx::gui
