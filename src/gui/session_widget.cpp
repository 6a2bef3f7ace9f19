#include "gui/session_widget.h"

#include "gui/bound_widgets.h"
#include "gui/lamp.h"
#include "session/session.h"

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

namespace pvx::gui {

SessionWidget::SessionWidget(session::Session &session, QWidget *parent)
    : QWidget(parent), m_session(session)
{
    auto &w = session.window();
    setObjectName(QStringLiteral("frmDocument"));

    auto *serialFrame = boundGroupBox(this, w.Frame1);
    auto *serialGrid = new QGridLayout(serialFrame);
    const std::pair<core::Control *, core::Control *> serialRows[] = {
        {&w.SerialLabels[0], &w.Combo2},   {&w.SerialLabels[1], &w.Combo1[0]},
        {&w.SerialLabels[2], &w.Combo1[1]}, {&w.SerialLabels[3], &w.Combo1[2]},
        {&w.SerialLabels[4], &w.Combo1[3]}, {&w.SerialLabels[5], &w.Combo1[4]},
        {&w.SerialLabels[6], &w.Combo1[5]},
    };
    int row = 0;
    for (const auto &[caption, list] : serialRows) {
        auto *text = boundLabel(serialFrame, *caption);
        auto *box = boundComboBox(serialFrame, *list, list == &w.Combo2);
        box->setMaxVisibleItems(20);
        text->setBuddy(box);
        serialGrid->addWidget(text, row, 0);
        serialGrid->addWidget(box, row, 1);
        ++row;
    }
    serialGrid->addWidget(boundCheckBox(serialFrame, w.chkVPort), row++, 0, 1, 2);
    serialGrid->addWidget(boundCheckBox(serialFrame, w.BufferSerData), row++, 0, 1, 2);
    serialGrid->addWidget(boundCheckBox(serialFrame, w.WaitForCr), row++, 0, 1, 2);
    serialGrid->addWidget(boundLabel(serialFrame, w.SerialLabels[7]), row, 0);
    serialGrid->addWidget(boundLineEdit(serialFrame, w.txtTimeoutValue), row++, 1);
    serialGrid->setRowStretch(row, 1);

    auto *networkFrame = boundGroupBox(this, w.Frame2, [&session] { session.showConnectedClients(); });
    auto *networkGrid = new QGridLayout(networkFrame);
    row = 0;
    networkGrid->addWidget(boundRadioButton(networkFrame, w.TCPOption[0]), row++, 0, 1, 2);
    networkGrid->addWidget(boundRadioButton(networkFrame, w.TCPOption[1]), row++, 0, 1, 2);
    networkGrid->addWidget(boundLabel(networkFrame, w.Label2), row, 0);
    auto *addressStack = new QHBoxLayout;
    auto *remoteAddress = boundLineEdit(networkFrame, w.IPAddress);
    remoteAddress->setMaxLength(50);
    auto *localAddress = boundComboBox(networkFrame, w.LocalIP, true, [&w] { w.onLocalAddressDropDown(); });
    // Room for a dotted address or a short host name.
    const int addressWidth = fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255__"));
    remoteAddress->setMinimumWidth(addressWidth);
    localAddress->setMinimumWidth(addressWidth);
    addressStack->addWidget(remoteAddress);
    addressStack->addWidget(localAddress);
    networkGrid->addLayout(addressStack, row++, 1);
    networkGrid->addWidget(boundLabel(networkFrame, w.Label3), row, 0);
    auto *port = boundLineEdit(networkFrame, w.PortNumber);
    port->setMaxLength(5);
    networkGrid->addWidget(port, row++, 1);
    networkGrid->addWidget(boundCheckBox(networkFrame, w.chkUDP), row++, 0, 1, 2);
    networkGrid->addWidget(boundPushButton(networkFrame, w.Command2), row++, 0, 1, 2);
    networkGrid->addWidget(boundPushButton(networkFrame, w.btnLogin), row++, 0, 1, 2);
    networkGrid->setRowStretch(row, 1);

    auto *frames = new QHBoxLayout;
    frames->addWidget(serialFrame);
    frames->addWidget(networkFrame);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(boundPushButton(this, w.Command3));
    buttons->addStretch(1);
    buttons->addWidget(boundPushButton(this, w.Command1));

    auto *statusLines = new QGridLayout;
    for (int line = 0; line < 2; ++line) {
        auto &status = w.StatusBar1[static_cast<std::size_t>(line)];
        auto *text = boundLabel(this, status);
        text->setFrameShape(QFrame::StyledPanel);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A long error wraps instead of widening the window.
        text->setWordWrap(true);
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        text->setSizePolicy(policy);
        statusLines->addWidget(boundLamp(this, w.Shape1[static_cast<std::size_t>(line)]), line, 0);
        statusLines->addWidget(text, line, 1);
    }
    statusLines->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    // The window never gets smaller than its controls need (a smaller frame
    // scrolls instead), and extra height goes above the status lines rather
    // than between the controls.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addLayout(frames);
    layout->addLayout(buttons);
    layout->addStretch(1);
    layout->addLayout(statusLines);

    setWindowTitle(w.caption());
    QObject::connect(&w, &core::Form::changed, this, [this, &w] { setWindowTitle(w.caption()); });
}

} // namespace pvx::gui
