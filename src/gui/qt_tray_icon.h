#pragma once

#include "platform/tray_icon.h"

#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace pvx::gui {

/// The notification-area icon on the desktop's system tray. Its pop-up
/// menu is shown only when the owner asks, never by the tray host on its
/// own. The icon is the program's own, as its windows show it.
class QtTrayIcon : public QObject, public platform::TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject *parent = nullptr);
    ~QtTrayIcon() override;

    bool add(const QString &toolTip) override;
    void remove() override;
    void showMenu(const QList<MenuItem> &items) override;
    void setEvents(Events events) override;

    /// The menu shown last, until the next one or the icon's removal; null
    /// before.
    QMenu *menu() const { return m_menu.get(); }

private:
    Events m_events;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<QMenu> m_menu;
};

} // namespace pvx::gui
