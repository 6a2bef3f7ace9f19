#include "gui/qt_tray_icon.h"

#include "gui/program_icon.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace pvx::gui {

namespace {

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
