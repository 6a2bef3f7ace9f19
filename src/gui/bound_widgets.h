#pragma once

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace pvx::core {
class Control;
}

namespace pvx::gui {

// Widgets made for a control of a window model: named after the control and
// bound to it (see control_binding.h), owned by `parent`.

QLabel *boundLabel(QWidget *parent, core::Control &control);
QLineEdit *boundLineEdit(QWidget *parent, core::Control &control);
/// A line edit that shows '*' for every character.
QLineEdit *boundPasswordEdit(QWidget *parent, core::Control &control);
QComboBox *boundComboBox(QWidget *parent, core::Control &control, bool editable);
QCheckBox *boundCheckBox(QWidget *parent, core::Control &control);
QPushButton *boundPushButton(QWidget *parent, core::Control &control);
QGroupBox *boundGroupBox(QWidget *parent, core::Control &control);

} // namespace pvx::gui
