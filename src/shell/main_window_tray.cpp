// The main window's notification-area icon: its pop-up menu, what clicks on
// it do, and its life from the start-up to the end of the shutdown.
#include "shell/main_window.h"

namespace pvx::shell {

using Activation = platform::TrayIcon::Activation;

void MainWindow::registerTrayMenu()
{
    const std::pair<core::Control *, int> items[] = {
        {&trayOpenItem, 2130}, {&trayExitItem, 2132}, {&trayAboutItem, 2128}};
    for (const auto &[control, id] : items) {
        control->setCaption(QString::number(id));
        addControl(*control);
    }
    // Without an About window there is nothing to offer.
    trayAboutItem.setVisible(static_cast<bool>(m_services.forms.about));
    trayOpenItem.onClick = [this] { onTrayOpenClicked(); };
    trayExitItem.onClick = [this] { onTrayExitClicked(); };
    trayAboutItem.onClick = [this] { onTrayAboutClicked(); };
}

void MainWindow::addTrayIcon()
{
    if (!m_tray)
        return;
    m_tray->setEvents({[this](Activation activation) { trayIconActivated(activation); }});
    // The tip is the product's name in every language. Without a
    // notification area a minimised window simply stays on the task bar.
    TrayIconAdded = m_tray->add(QStringLiteral("Porvix"));
}

void MainWindow::removeTrayIcon()
{
    if (!TrayIconAdded)
        return;
    m_tray->remove();
    TrayIconAdded = false;
}

bool MainWindow::isMinimized() const
{
    return currentPlacement().state == kStateMinimized;
}

void MainWindow::trayIconActivated(Activation activation)
{
    // A window in plain view has its own menus; the icon only stands in for
    // a minimised one.
    if (!isMinimized())
        return;
    if (activation == Activation::DoubleClick) {
        onTrayOpenClicked();
        return;
    }
    if (activation != Activation::Context)
        return;
    QList<platform::TrayIcon::MenuItem> menu;
    const auto add = [&menu](core::Control &item, bool isDefault) {
        if (item.isVisible())
            menu.append({item.caption(), [&item] { item.onClick(); }, isDefault});
    };
    add(trayOpenItem, false);
    add(trayExitItem, false);
    if (trayAboutItem.isVisible())
        menu.append(platform::TrayIcon::MenuItem{});
    add(trayAboutItem, true);
    m_tray->showMenu(menu);
}

void MainWindow::onTrayOpenClicked()
{
    if (!isMinimized()) {
        emit foregroundRequested();
        return;
    }
    // The password is asked while the window is still minimised, and so
    // hidden: a desktop may put a hidden window back on the screen, empty,
    // the moment it is no longer minimised. Passed here, the resize handling
    // has nothing left to ask.
    if (WindowWasMinimized && !m_services.settings.Password.isEmpty()) {
        if (!checkPassword(m_services.settings.Password, m_services.forms.enterPassword, m_services.dialogs,
                           m_services.strings))
            return;
        WindowWasMinimized = false;
    }
    emit windowStateRequested(kStateNormal);
    emit visibilityRequested(true);
}

void MainWindow::onTrayAboutClicked()
{
    onHelpAboutClicked();
}

} // namespace pvx::shell
