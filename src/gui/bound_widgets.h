#pragma once

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace pvx::core {
class Control;
}

namespace pvx::gui {

class Lamp;

// Widgets made for a control of a window model: named after the control and
// bound to it (see control_binding.h), owned by `parent`.

QLabel *boundLabel(QWidget *parent, core::Control &control);
QLineEdit *boundLineEdit(QWidget *parent, core::Control &control);
/// A line edit that shows '*' for every character.
QLineEdit *boundPasswordEdit(QWidget *parent, core::Control &control);
/// `droppingDown`, when given, runs each time the list is about to drop down.
QComboBox *boundComboBox(QWidget *parent, core::Control &control, bool editable,
                         std::function<void()> droppingDown = {});
QCheckBox *boundCheckBox(QWidget *parent, core::Control &control);
QRadioButton *boundRadioButton(QWidget *parent, core::Control &control);
QPushButton *boundPushButton(QWidget *parent, core::Control &control);
/// `doubleClicked`, when given, runs on the user's double-click on the frame.
QGroupBox *boundGroupBox(QWidget *parent, core::Control &control, std::function<void()> doubleClicked = {});
Lamp *boundLamp(QWidget *parent, core::Control &control);

} // namespace pvx::gui
