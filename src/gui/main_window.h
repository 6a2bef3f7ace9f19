#pragma once

#include <QMainWindow>

#include <map>

class QMdiArea;
class QMdiSubWindow;

namespace pvx::resources {
class StringTable;
}
namespace pvx::session {
class Session;
}
namespace pvx::shell {
class SessionList;
}

namespace pvx::gui {

/// The main window: one child window per session.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(shell::SessionList &sessions, const resources::StringTable &strings, QWidget *parent = nullptr);
    ~MainWindow() override;

    QMdiArea &area() { return *m_area; }

private:
    void addSessionWindow(session::Session &session);
    void removeSessionWindow(session::Session &session);

    shell::SessionList &m_sessions;
    const resources::StringTable &m_strings;
    QMdiArea *m_area;
    std::map<session::Session *, QMdiSubWindow *> m_windows;
};

} // namespace pvx::gui
