#include "gui/qt_tray_icon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace pvx::gui {

namespace {

/// A serial connector over a network line, drawn on a 32-unit square.
QPixmap drawnPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    const QColor background(0x1f, 0x5f, 0xa8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF({QPointF(4, 6), QPointF(28, 6), QPointF(24.5, 19), QPointF(7.5, 19)}));
    painter.setBrush(background);
    for (int pin = 0; pin < 5; ++pin)
        painter.drawEllipse(QPointF(8.5 + pin * 3.75, 10.5), 1.4, 1.4);
    for (int pin = 0; pin < 4; ++pin)
        painter.drawEllipse(QPointF(10.4 + pin * 3.75, 15), 1.4, 1.4);

    painter.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 19), QPointF(16, 25.5));
    painter.drawLine(QPointF(6.5, 25.5), QPointF(25.5, 25.5));
    return pixmap;
}

QIcon programIcon()
{
    if (const QIcon own = QApplication::windowIcon(); !own.isNull())
        return own;
    QIcon drawn;
    for (const int size : {16, 22, 24, 32, 48, 64})
        drawn.addPixmap(drawnPixmap(size));
    return drawn;
}

platform::TrayIcon::Activation activationOf(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return platform::TrayIcon::Activation::DoubleClick;
    case QSystemTrayIcon::Context:
        return platform::TrayIcon::Activation::Context;
    default:
        return platform::TrayIcon::Activation::Other;
    }
}

} // namespace

QtTrayIcon::QtTrayIcon(QObject *parent) : QObject(parent) {}

QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::add(const QString &toolTip)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    // No context menu is handed to the icon: the tray host would show it on
    // every right click, while the program offers it only now and then.
    m_icon = std::make_unique<QSystemTrayIcon>(programIcon());
    m_icon->setToolTip(toolTip);
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (m_events.activated)
            m_events.activated(activationOf(reason));
    });
    m_icon->show();
    return true;
}

void QtTrayIcon::remove()
{
    m_menu.reset();
    m_icon.reset();
}

void QtTrayIcon::showMenu(const QList<MenuItem> &items)
{
    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    for (const MenuItem &item : items) {
        if (item.text.isEmpty()) {
            m_menu->addSeparator();
            continue;
        }
        QAction *action = m_menu->addAction(item.text);
        if (item.isDefault)
            m_menu->setDefaultAction(action);
        // Queued: the item may remove the icon or show another menu, which
        // deletes this one, still busy with the click.
        connect(action, &QAction::triggered, this, [triggered = item.triggered] { triggered(); },
                Qt::QueuedConnection);
    }
    m_menu->popup(QCursor::pos());
}

void QtTrayIcon::setEvents(Events events)
{
    m_events = std::move(events);
}

} // namespace pvx::gui
