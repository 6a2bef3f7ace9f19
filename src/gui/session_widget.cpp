#include "gui/session_widget.h"

#include "gui/control_binding.h"
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

namespace {

template <typename Widget, typename... Args>
Widget *make(QWidget *parent, core::Control &control, Args &&...args)
{
    auto *widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(control.index() < 0 ? control.name()
                                              : control.name() + QString::number(control.index()));
    return widget;
}

QLabel *label(QWidget *parent, core::Control &control)
{
    auto *widget = make<QLabel>(parent, control);
    bindLabel(*widget, control);
    return widget;
}

QComboBox *comboBox(QWidget *parent, core::Control &control, bool editable)
{
    auto *widget = make<QComboBox>(parent, control);
    widget->setEditable(editable);
    widget->setInsertPolicy(QComboBox::NoInsert);
    widget->setMaxVisibleItems(20);
    bindComboBox(*widget, control);
    return widget;
}

QLineEdit *lineEdit(QWidget *parent, core::Control &control, int maxLength)
{
    auto *widget = make<QLineEdit>(parent, control);
    widget->setMaxLength(maxLength);
    bindLineEdit(*widget, control);
    return widget;
}

template <typename Button>
Button *button(QWidget *parent, core::Control &control)
{
    auto *widget = make<Button>(parent, control);
    bindButton(*widget, control);
    return widget;
}

Lamp *lamp(QWidget *parent, core::Control &control)
{
    auto *widget = make<Lamp>(parent, control);
    bindLamp(*widget, control);
    return widget;
}

} // namespace

SessionWidget::SessionWidget(session::Session &session, QWidget *parent)
    : QWidget(parent), m_session(session)
{
    auto &w = session.window();
    setObjectName(QStringLiteral("frmDocument"));
    if (w.font())
        setFont(toQFont(*w.font(), font()));

    auto *serialFrame = make<QGroupBox>(this, w.Frame1);
    bindGroupBox(*serialFrame, w.Frame1, {});
    auto *serialGrid = new QGridLayout(serialFrame);
    const std::pair<core::Control *, core::Control *> serialRows[] = {
        {&w.SerialLabels[0], &w.Combo2},   {&w.SerialLabels[1], &w.Combo1[0]},
        {&w.SerialLabels[2], &w.Combo1[1]}, {&w.SerialLabels[3], &w.Combo1[2]},
        {&w.SerialLabels[4], &w.Combo1[3]}, {&w.SerialLabels[5], &w.Combo1[4]},
        {&w.SerialLabels[6], &w.Combo1[5]},
    };
    int row = 0;
    for (const auto &[caption, list] : serialRows) {
        auto *text = label(serialFrame, *caption);
        auto *box = comboBox(serialFrame, *list, list == &w.Combo2);
        text->setBuddy(box);
        serialGrid->addWidget(text, row, 0);
        serialGrid->addWidget(box, row, 1);
        ++row;
    }
    serialGrid->addWidget(button<QCheckBox>(serialFrame, w.chkVPort), row++, 0, 1, 2);
    serialGrid->addWidget(button<QCheckBox>(serialFrame, w.BufferSerData), row++, 0, 1, 2);
    serialGrid->addWidget(button<QCheckBox>(serialFrame, w.WaitForCr), row++, 0, 1, 2);
    serialGrid->addWidget(label(serialFrame, w.SerialLabels[7]), row, 0);
    serialGrid->addWidget(lineEdit(serialFrame, w.txtTimeoutValue, 10), row++, 1);

    auto *networkFrame = make<QGroupBox>(this, w.Frame2);
    bindGroupBox(*networkFrame, w.Frame2, [&session] { session.Frame2_DblClick(); });
    auto *networkGrid = new QGridLayout(networkFrame);
    row = 0;
    networkGrid->addWidget(button<QRadioButton>(networkFrame, w.TCPOption[0]), row++, 0, 1, 2);
    networkGrid->addWidget(button<QRadioButton>(networkFrame, w.TCPOption[1]), row++, 0, 1, 2);
    networkGrid->addWidget(label(networkFrame, w.Label2), row, 0);
    auto *addressStack = new QHBoxLayout;
    auto *remoteAddress = lineEdit(networkFrame, w.IPAddress, 50);
    auto *localAddress = comboBox(networkFrame, w.LocalIP, true);
    // Room for a dotted address or a short host name.
    const int addressWidth = fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255__"));
    remoteAddress->setMinimumWidth(addressWidth);
    localAddress->setMinimumWidth(addressWidth);
    addressStack->addWidget(remoteAddress);
    addressStack->addWidget(localAddress);
    networkGrid->addLayout(addressStack, row++, 1);
    networkGrid->addWidget(label(networkFrame, w.Label3), row, 0);
    networkGrid->addWidget(lineEdit(networkFrame, w.PortNumber, 5), row++, 1);
    networkGrid->addWidget(button<QCheckBox>(networkFrame, w.chkUDP), row++, 0, 1, 2);
    networkGrid->addWidget(button<QPushButton>(networkFrame, w.Command2), row++, 0, 1, 2);
    networkGrid->addWidget(button<QPushButton>(networkFrame, w.btnLogin), row++, 0, 1, 2);
    networkGrid->setRowStretch(row, 1);

    auto *frames = new QHBoxLayout;
    frames->addWidget(serialFrame);
    frames->addWidget(networkFrame);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(button<QPushButton>(this, w.Command3));
    buttons->addStretch(1);
    buttons->addWidget(button<QPushButton>(this, w.Command1));

    auto *statusLines = new QGridLayout;
    for (int line = 0; line < 2; ++line) {
        auto &status = w.StatusBar1[static_cast<std::size_t>(line)];
        auto *text = label(this, status);
        text->setFrameShape(QFrame::StyledPanel);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        statusLines->addWidget(lamp(this, w.Shape1[static_cast<std::size_t>(line)]), line, 0);
        statusLines->addWidget(text, line, 1);
    }
    statusLines->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(buttons);
    layout->addLayout(statusLines);

    setWindowTitle(w.caption());
    QObject::connect(&w, &core::Form::changed, this, [this, &w] { setWindowTitle(w.caption()); });
}

} // namespace pvx::gui
