#pragma once

#include <functional>

class QAbstractButton;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace pvx::core {
class Control;
}

namespace pvx::gui {

class Lamp;

// Each bind function makes a widget show a control's values and follow their
// changes, and hands the user's actions back to the control, which raises
// the model's handlers. The widget must not outlive the control.

void bindLabel(QLabel &label, core::Control &control);
void bindComboBox(QComboBox &box, core::Control &control);
void bindLineEdit(QLineEdit &edit, core::Control &control);
/// Check boxes, option buttons and push buttons.
void bindButton(QAbstractButton &button, core::Control &control);
/// `doubleClicked` runs when the user double-clicks the frame.
void bindGroupBox(QGroupBox &box, core::Control &control, std::function<void()> doubleClicked);
void bindLamp(Lamp &lamp, core::Control &control);

} // namespace pvx::gui
