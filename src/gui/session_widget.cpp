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

    auto *serialFrame = boundGroupBox(this, w.serialFrame);
    auto *serialGrid = new QGridLayout(serialFrame);
    const std::pair<core::Control *, core::Control *> serialRows[] = {
        {&w.serialLabels[0], &w.connector},   {&w.serialLabels[1], &w.baudRate},
        {&w.serialLabels[2], &w.parity}, {&w.serialLabels[3], &w.dataBits},
        {&w.serialLabels[4], &w.stopBits}, {&w.serialLabels[5], &w.flowControl},
        {&w.serialLabels[6], &w.bufferSize},
    };
    int row = 0;
    for (const auto &[caption, list] : serialRows) {
        auto *text = boundLabel(serialFrame, *caption);
        auto *box = boundComboBox(serialFrame, *list, list == &w.connector);
        box->setMaxVisibleItems(20);
        text->setBuddy(box);
        serialGrid->addWidget(text, row, 0);
        serialGrid->addWidget(box, row, 1);
        ++row;
    }
    serialGrid->addWidget(boundCheckBox(serialFrame, w.useVirtualPort), row++, 0, 1, 2);
    serialGrid->addWidget(boundCheckBox(serialFrame, w.bufferWhileClosed), row++, 0, 1, 2);
    serialGrid->addWidget(boundCheckBox(serialFrame, w.waitForTimeout), row++, 0, 1, 2);
    serialGrid->addWidget(boundLabel(serialFrame, w.serialLabels[7]), row, 0);
    serialGrid->addWidget(boundLineEdit(serialFrame, w.timeoutValue), row++, 1);
    serialGrid->setRowStretch(row, 1);

    auto *networkFrame = boundGroupBox(this, w.networkFrame, [&session] { session.showConnectedClients(); });
    auto *networkGrid = new QGridLayout(networkFrame);
    row = 0;
    networkGrid->addWidget(boundRadioButton(networkFrame, w.clientRoleButton), row++, 0, 1, 2);
    networkGrid->addWidget(boundRadioButton(networkFrame, w.serverRoleButton), row++, 0, 1, 2);
    networkGrid->addWidget(boundLabel(networkFrame, w.remoteHostLabel), row, 0);
    auto *addressStack = new QHBoxLayout;
    auto *remoteAddress = boundLineEdit(networkFrame, w.remoteHost);
    remoteAddress->setMaxLength(50);
    auto *localAddress = boundComboBox(networkFrame, w.localAddress, true, [&w] { w.onLocalAddressDropDown(); });
    // Room for a dotted address or a short host name.
    const int addressWidth = fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255__"));
    remoteAddress->setMinimumWidth(addressWidth);
    localAddress->setMinimumWidth(addressWidth);
    addressStack->addWidget(remoteAddress);
    addressStack->addWidget(localAddress);
    networkGrid->addLayout(addressStack, row++, 1);
    networkGrid->addWidget(boundLabel(networkFrame, w.remotePortLabel), row, 0);
    auto *port = boundLineEdit(networkFrame, w.portNumber);
    port->setMaxLength(5);
    networkGrid->addWidget(port, row++, 1);
    networkGrid->addWidget(boundCheckBox(networkFrame, w.useUdp), row++, 0, 1, 2);
    networkGrid->addWidget(boundPushButton(networkFrame, w.ioOptionsButton), row++, 0, 1, 2);
    networkGrid->addWidget(boundPushButton(networkFrame, w.loginOptionsButton), row++, 0, 1, 2);
    networkGrid->setRowStretch(row, 1);

    auto *frames = new QHBoxLayout;
    frames->addWidget(serialFrame);
    frames->addWidget(networkFrame);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(boundPushButton(this, w.windowNameButton));
    buttons->addWidget(boundPushButton(this, w.monitorButton));
    buttons->addStretch(1);
    buttons->addWidget(boundPushButton(this, w.activateButton));

    auto *statusLines = new QGridLayout;
    int statusRow = 0;
    for (const session::StatusLine line : {session::StatusLine::Serial, session::StatusLine::Network}) {
        auto &status = w.statusLine(line);
        auto *text = boundLabel(this, status);
        text->setFrameShape(QFrame::StyledPanel);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A long error wraps instead of widening the window.
        text->setWordWrap(true);
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        text->setSizePolicy(policy);
        statusLines->addWidget(boundLamp(this, w.lamp(line)), statusRow, 0);
        statusLines->addWidget(text, statusRow, 1);
        ++statusRow;
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
