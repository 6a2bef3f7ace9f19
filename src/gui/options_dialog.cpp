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
    QLabel *packetLabel = boundLabel(this, form.packetSizeLabel);
    QComboBox *packetSize = boundComboBox(this, form.packetSize, true);
    packetLabel->setBuddy(packetSize);
    packetRow->addWidget(packetLabel);
    packetRow->addWidget(packetSize);
    packetRow->addStretch(1);

    QGroupBox *program = boundGroupBox(this, form.errorProgramFrame);
    auto *programRow = new QHBoxLayout(program);
    QLabel *commandLabel = boundLabel(program, form.errorProgramLabel);
    QLineEdit *commandLine = boundLineEdit(program, form.errorProgram);
    commandLabel->setBuddy(commandLine);
    programRow->addWidget(commandLabel);
    programRow->addWidget(commandLine, 1);
    programRow->addWidget(boundPushButton(program, form.browseButton));

    QGroupBox *ping = boundGroupBox(this, form.pingFrame);
    auto *pingGrid = new QGridLayout(ping);
    pingGrid->addWidget(boundCheckBox(ping, form.pingEnabledBox), 0, 0, 1, 2);
    pingGrid->addWidget(boundLabel(ping, form.pingFrequencyLabel), 1, 0);
    pingGrid->addWidget(boundComboBox(ping, form.pingFrequency, false), 1, 1);
    pingGrid->addWidget(boundLabel(ping, form.pingTimeoutLabel), 2, 0);
    pingGrid->addWidget(boundComboBox(ping, form.pingTimeout, false), 2, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton *ok = boundPushButton(this, form.okButton);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(boundPushButton(this, form.cancelButton));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(packetRow);
    layout->addWidget(boundCheckBox(this, form.logErrorsBox));
    layout->addWidget(program);
    layout->addWidget(ping);
    layout->addWidget(boundCheckBox(this, form.startWithLoginBox));
    layout->addLayout(buttons);
}

} // namespace pvx::gui
