#include "core/control.h"

#include <QHash>

namespace pvx::core {

Control::Control(ControlKind kind, QString name, int index)
    : m_kind(kind), m_name(std::move(name)), m_index(index)
{
}

void Control::notify()
{
    emit changed();
}

void Control::setCaption(const QString &caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    notify();
}

void Control::setTag(const QString &tag)
{
    m_tag = tag;
}

void Control::setToolTip(const QString &toolTip)
{
    if (m_toolTip == toolTip)
        return;
    m_toolTip = toolTip;
    notify();
}

void Control::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    notify();
}

void Control::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    notify();
}

void Control::setText(const QString &text)
{
    const bool textChanged = m_text != text;
    m_text = text;
    if (m_kind == ControlKind::ComboBox) {
        const auto match = m_items.indexOf(text);
        m_selected = static_cast<int>(match);
    }
    notify();
    if (textChanged && onChange)
        onChange();
}

void Control::setValue(int value)
{
    if (m_value == value)
        return;
    m_value = value;
    if (m_kind == ControlKind::OptionButton && value != 0) {
        for (Control *other : m_group) {
            if (other != this && other->m_value != 0) {
                other->m_value = 0;
                other->notify();
            }
        }
    }
    notify();
    const bool clicks = m_kind == ControlKind::CheckBox
                        || (m_kind == ControlKind::OptionButton && value != 0);
    if (clicks && onClick)
        onClick();
}

void Control::setItems(const QStringList &items)
{
    m_items = items;
    m_selected = -1;
    notify();
}

void Control::addItem(const QString &item)
{
    m_items.append(item);
    notify();
}

bool Control::select(int index)
{
    if (index < -1 || index >= m_items.size())
        return false;
    m_selected = index;
    m_text = index < 0 ? QString() : m_items.at(index);
    notify();
    if (onClick)
        onClick();
    return true;
}

QString controlName(const char *text)
{
    static QHash<QByteArray, QString> names;
    const QByteArray key = QByteArray::fromRawData(text, qstrlen(text));
    if (const auto found = names.constFind(key); found != names.constEnd())
        return *found;
    return *names.insert(QByteArray(text), QLatin1String(text));
}

} // namespace pvx::core
