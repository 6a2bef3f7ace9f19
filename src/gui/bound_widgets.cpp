#include "gui/bound_widgets.h"

#include "core/control.h"
#include "gui/control_binding.h"
#include "gui/lamp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

namespace pvx::gui {

namespace {

template <typename Widget, typename... Extra>
Widget *named(QWidget *parent, const core::Control &control, Extra &&...extra)
{
    auto *widget = new Widget(parent, std::forward<Extra>(extra)...);
    widget->setObjectName(control.index() < 0 ? control.name() : control.name() + QString::number(control.index()));
    return widget;
}

/// A combo box that tells its model before its list drops down.
class DropDownComboBox : public QComboBox {
public:
    DropDownComboBox(QWidget *parent, std::function<void()> droppingDown)
        : QComboBox(parent), m_droppingDown(std::move(droppingDown))
    {
    }

    void showPopup() override
    {
        m_droppingDown();
        QComboBox::showPopup();
    }

private:
    std::function<void()> m_droppingDown;
};

} // namespace

QLabel *boundLabel(QWidget *parent, core::Control &control)
{
    auto *label = named<QLabel>(parent, control);
    bindLabel(*label, control);
    return label;
}

QLineEdit *boundLineEdit(QWidget *parent, core::Control &control)
{
    auto *edit = named<QLineEdit>(parent, control);
    bindLineEdit(*edit, control);
    return edit;
}

QLineEdit *boundPasswordEdit(QWidget *parent, core::Control &control)
{
    QLineEdit *edit = boundLineEdit(parent, control);
    edit->setEchoMode(QLineEdit::Password);
    // The '*' mask character, whatever the style would draw.
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    return edit;
}

QComboBox *boundComboBox(QWidget *parent, core::Control &control, bool editable, std::function<void()> droppingDown)
{
    QComboBox *box = droppingDown ? named<DropDownComboBox>(parent, control, std::move(droppingDown))
                                  : named<QComboBox>(parent, control);
    box->setEditable(editable);
    box->setInsertPolicy(QComboBox::NoInsert);
    bindComboBox(*box, control);
    return box;
}

QCheckBox *boundCheckBox(QWidget *parent, core::Control &control)
{
    auto *box = named<QCheckBox>(parent, control);
    bindButton(*box, control);
    return box;
}

QRadioButton *boundRadioButton(QWidget *parent, core::Control &control)
{
    auto *button = named<QRadioButton>(parent, control);
    bindButton(*button, control);
    return button;
}

QPushButton *boundPushButton(QWidget *parent, core::Control &control)
{
    auto *button = named<QPushButton>(parent, control);
    button->setAutoDefault(false);
    bindButton(*button, control);
    return button;
}

QGroupBox *boundGroupBox(QWidget *parent, core::Control &control, std::function<void()> doubleClicked)
{
    auto *box = named<QGroupBox>(parent, control);
    bindGroupBox(*box, control, std::move(doubleClicked));
    return box;
}

Lamp *boundLamp(QWidget *parent, core::Control &control)
{
    auto *lamp = named<Lamp>(parent, control);
    bindLamp(*lamp, control);
    return lamp;
}

} // namespace pvx::gui
