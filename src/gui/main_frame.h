#pragma once

#include "session/monitor_window.h"
#include "shell/window_placement.h"

#include <QKeySequence>
#include <QMainWindow>

#include <map>

class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace pvx::core {
class Control;
}
namespace pvx::platform {
class Dialogs;
}
namespace pvx::session {
class Session;
}
namespace pvx::shell {
class MainWindow;
class SessionList;
enum class Arrangement;
}

namespace pvx::gui {

/// The view of the main window: its menus, bound to the model's menu items,
/// and one child window per session. It reports its placement and its
/// active child to the model and carries out what the model asks (placement,
/// showing, arranging). The window list of the Window menu is built each
/// time the menu opens.
class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    /// `monitors`: what the sessions' monitor windows use.
    MainFrame(shell::MainWindow &model, shell::SessionList &sessions, platform::Dialogs &dialogs,
              session::MonitorWindow::Services monitors, QWidget *parent = nullptr);
    ~MainFrame() override;

    QMdiArea &area() { return *m_area; }
    /// The session shown in `window`, or null.
    session::Session *sessionOf(const QMdiSubWindow *window) const;

    /// A close from outside (a signal, the desktop): open dialogs are
    /// cancelled first, and the shutdown runs once their handlers have
    /// returned.
    void requestClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QMenu *addMenu(QMenu *parent, core::Control &control);
    QAction *addItem(QMenu *menu, core::Control &control, const QKeySequence &shortcut = {});
    void fillWindowList();
    void addSessionWindow(session::Session &session);
    void removeSessionWindow(session::Session &session);
    /// Opens the session's monitor window, or raises the one it has.
    void showMonitor(session::Session &session, QWidget &sessionView);
    void applyPlacement(const shell::WindowPlacement &placement);
    void applyState(int state);
    shell::WindowPlacement placement() const;
    void arrange(shell::Arrangement arrangement);
    bool routeMnemonic(const QKeySequence &key);

    shell::MainWindow &m_model;
    shell::SessionList &m_sessions;
    platform::Dialogs &m_dialogs;
    session::MonitorWindow::Services m_monitors;
    QMdiArea *m_area;
    QMenu *m_windowMenu = nullptr;
    QList<QAction *> m_windowList;
    std::map<session::Session *, QMdiSubWindow *> m_windows;
    /// The placement last taken from a file, in twips.
    shell::WindowPlacement m_appliedPlacement;
    /// The mnemonic whose last press opened a menu; its next press goes to
    /// the session window's control of the same letter.
    QKeySequence m_menuTookMnemonic;
};

} // namespace pvx::gui
