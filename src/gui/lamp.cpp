#include "gui/lamp.h"

#include <QPainter>

namespace pvx::gui {

Lamp::Lamp(QWidget *parent) : QWidget(parent) {}

void Lamp::setColourValue(int value)
{
    if (m_value == value)
        return;
    m_value = value;
    update();
}

QSize Lamp::sizeHint() const
{
    return {14, 14};
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour(m_value & 0xFF, (m_value >> 8) & 0xFF, (m_value >> 16) & 0xFF);
    painter.setBrush(colour);
    painter.setPen(Qt::darkGray);
    const int side = std::min(width(), height()) - 2;
    painter.drawEllipse(1, 1, side, side);
}

} // namespace pvx::gui
