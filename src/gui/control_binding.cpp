#include "gui/control_binding.h"

#include "core/control.h"
#include "gui/lamp.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace pvx::gui {

namespace {

/// The properties every control shares.
void showCommon(QWidget &widget, const core::Control &control)
{
    widget.setEnabled(control.isEnabled());
    widget.setVisible(control.isVisible());
    widget.setToolTip(control.toolTip());
}

/// Calls `show` now and after every change of the control, for as long as
/// the widget lives.
template <typename Show>
void follow(QWidget &widget, core::Control &control, Show show)
{
    show();
    QObject::connect(&control, &core::Control::changed, &widget, show);
}

/// Runs a callback on double-clicks of a widget.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject *parent, std::function<void()> action) : QObject(parent), m_action(std::move(action)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick && m_action)
            m_action();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

} // namespace

void bindLabel(QLabel &label, core::Control &control)
{
    follow(label, control, [&label, &control] {
        showCommon(label, control);
        label.setText(control.caption());
    });
}

void bindComboBox(QComboBox &box, core::Control &control)
{
    follow(box, control, [&box, &control] {
        const QSignalBlocker blocker(box);
        showCommon(box, control);
        bool same = box.count() == control.items().size();
        for (int i = 0; same && i < box.count(); ++i)
            same = box.itemText(i) == control.items().at(i);
        if (!same) {
            box.clear();
            box.addItems(control.items());
        }
        box.setCurrentIndex(control.selectedIndex());
        if (box.isEditable() && box.currentText() != control.text())
            box.setEditText(control.text());
    });
    QObject::connect(&box, &QComboBox::activated, &control, [&control](int index) { control.select(index); });
    if (box.isEditable()) {
        QObject::connect(box.lineEdit(), &QLineEdit::textEdited, &control,
                         [&control](const QString &text) { control.setText(text); });
    }
}

void bindLineEdit(QLineEdit &edit, core::Control &control)
{
    follow(edit, control, [&edit, &control] {
        showCommon(edit, control);
        if (edit.text() != control.text())
            edit.setText(control.text());
    });
    QObject::connect(&edit, &QLineEdit::textEdited, &control,
                     [&control](const QString &text) { control.setText(text); });
}

void bindButton(QAbstractButton &button, core::Control &control)
{
    follow(button, control, [&button, &control] {
        const QSignalBlocker blocker(button);
        showCommon(button, control);
        button.setText(control.caption());
        if (button.isCheckable())
            button.setChecked(control.value() != 0);
    });
    QObject::connect(&button, &QAbstractButton::clicked, &control, [&button, &control](bool checked) {
        if (!button.isCheckable()) {
            if (control.onClick)
                control.onClick();
            return;
        }
        control.setValue(checked ? 1 : 0);
        // An option button stays on when clicked again; keep the view in step.
        button.setChecked(control.value() != 0);
    });
}

void bindGroupBox(QGroupBox &box, core::Control &control, std::function<void()> doubleClicked)
{
    follow(box, control, [&box, &control] {
        showCommon(box, control);
        box.setTitle(control.caption());
    });
    if (doubleClicked)
        box.installEventFilter(new DoubleClickFilter(&box, std::move(doubleClicked)));
}

void bindLamp(Lamp &lamp, core::Control &control)
{
    follow(lamp, control, [&lamp, &control] {
        lamp.setVisible(control.isVisible());
        lamp.setColourValue(control.value());
    });
}

} // namespace pvx::gui
