#include "gui/session_option_dialogs.h"

#include "gui/bound_widgets.h"
#include "session/client_options_form.h"
#include "session/login_options_form.h"
#include "session/security_option_controls.h"
#include "session/server_options_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

namespace pvx::gui {

namespace {

// A frame holding a row of option buttons, one under the other.
QGroupBox *choiceFrame(QWidget *parent, core::Control &frame, std::array<core::Control, 3> &choices)
{
    QGroupBox *box = boundGroupBox(parent, frame);
    auto *column = new QVBoxLayout(box);
    for (core::Control &choice : choices)
        column->addWidget(boundRadioButton(box, choice));
    return box;
}

// The TLS group: the box, then a row per file (label, field, browse button)
// and the peer check; the AllowFrom list below it, since it guards plain
// sessions too. Labels name their fields for the keyboard.
void addSecurityControls(QWidget *parent, QVBoxLayout *layout, session::SecurityOptionControls &security)
{
    QGroupBox *box = boundGroupBox(parent, security.frame);
    auto *grid = new QGridLayout(box);
    grid->addWidget(boundCheckBox(box, security.enabledBox), 0, 0, 1, 3);
    const std::array<std::array<core::Control *, 3>, 3> files{{
        {&security.certificateLabel, &security.certificate, &security.certificateBrowse},
        {&security.keyLabel, &security.key, &security.keyBrowse},
        {&security.trustLabel, &security.trust, &security.trustBrowse},
    }};
    int row = 1;
    for (const auto &[label, field, browse] : files) {
        QLabel *caption = boundLabel(box, *label);
        QLineEdit *edit = boundLineEdit(box, *field);
        caption->setBuddy(edit);
        QPushButton *button = boundPushButton(box, *browse);
        // A "..." button needs no more room than its dots.
        button->setMaximumWidth(button->fontMetrics().horizontalAdvance(button->text()) * 3);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(button, row, 2);
        ++row;
    }
    QLabel *peerCaption = boundLabel(box, security.peerCheckLabel);
    QComboBox *peerCheck = boundComboBox(box, security.peerCheck, false);
    peerCaption->setBuddy(peerCheck);
    grid->addWidget(peerCaption, row, 0);
    grid->addWidget(peerCheck, row, 1, 1, 2);
    grid->setColumnMinimumWidth(1, 240);
    grid->setColumnStretch(1, 1);
    layout->addWidget(box);

    auto *allowRow = new QHBoxLayout;
    QLabel *allowCaption = boundLabel(parent, security.allowFromLabel);
    QLineEdit *allowFrom = boundLineEdit(parent, security.allowFrom);
    allowCaption->setBuddy(allowFrom);
    allowRow->addWidget(allowCaption);
    allowRow->addWidget(allowFrom, 1);
    layout->addLayout(allowRow);
}

// OK and Cancel at the right. None of these dialogs has a default button:
// Enter presses the button that has the focus.
QHBoxLayout *buttonRow(QWidget *parent, core::Control &ok, core::Control &cancel)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(boundPushButton(parent, ok));
    row->addWidget(boundPushButton(parent, cancel));
    return row;
}

} // namespace

ServerOptionsDialog::ServerOptionsDialog(session::ServerOptionsForm &form, QWidget *parent) : FormDialog(form, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(boundCheckBox(this, form.multipleClientsBox));
    layout->addWidget(choiceFrame(this, form.networkDataFrame, form.networkDataButtons));
    layout->addWidget(choiceFrame(this, form.serialDataFrame, form.serialDataButtons));
    layout->addWidget(boundCheckBox(this, form.rfc2217Box));
    addSecurityControls(this, layout, form.security);
    layout->addLayout(buttonRow(this, form.okButton, form.cancelButton));
}

ClientOptionsDialog::ClientOptionsDialog(session::ClientOptionsForm &form, QWidget *parent) : FormDialog(form, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(choiceFrame(this, form.directionsFrame, form.directionButtons));
    layout->addWidget(boundCheckBox(this, form.connectOnVirtualOpenBox));
    layout->addWidget(boundCheckBox(this, form.rfc2217Box));
    addSecurityControls(this, layout, form.security);
    layout->addLayout(buttonRow(this, form.okButton, form.cancelButton));
}

LoginOptionsDialog::LoginOptionsDialog(session::LoginOptionsForm &form, QWidget *parent) : FormDialog(form, parent)
{
    auto *grid = new QGridLayout(this);
    const std::pair<core::Control *, core::Control *> fields[] = {
        {&form.userPromptLabel, &form.userPrompt},
        {&form.userResponseLabel, &form.userResponse},
        {&form.passwordPromptLabel, &form.passwordPrompt},
        {&form.passwordResponseLabel, &form.passwordResponse},
    };
    int row = 0;
    for (const auto &[label, text] : fields) {
        QLabel *caption = boundLabel(this, *label);
        QLineEdit *edit = boundLineEdit(this, *text);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
    }
    grid->setColumnMinimumWidth(1, 200);
    grid->addLayout(buttonRow(this, form.okButton, form.cancelButton), row, 0, 1, 2);
}

} // namespace pvx::gui
