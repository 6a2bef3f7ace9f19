#include "gui/main_window.h"

#include "gui/session_widget.h"
#include "resources/string_table.h"
#include "shell/session_list.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

namespace pvx::gui {

MainWindow::MainWindow(shell::SessionList &sessions, const resources::StringTable &strings, QWidget *parent)
    : QMainWindow(parent), m_sessions(sessions), m_strings(strings), m_area(new QMdiArea(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Porvix"));
    setCentralWidget(m_area);
    resize(800, 600);

    auto *file = menuBar()->addMenu(strings.text(2102));
    auto *fileNew = file->addAction(strings.text(2103), this, [this] { m_sessions.create(); });
    fileNew->setShortcut(QKeySequence::New);
    file->addSeparator();
    file->addAction(strings.text(2107), this, &QWidget::close);

    connect(&sessions, &shell::SessionList::created, this, &MainWindow::addSessionWindow);
    connect(&sessions, &shell::SessionList::closing, this, &MainWindow::removeSessionWindow);
    for (const auto &session : sessions.sessions())
        addSessionWindow(*session);
}

MainWindow::~MainWindow() = default;

void MainWindow::addSessionWindow(session::Session &session)
{
    auto *widget = new SessionWidget(session);
    auto *window = m_area->addSubWindow(widget);
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_windows[&session] = window;
    // The user closing the child window discards the session with it.
    connect(window, &QObject::destroyed, this, [this, &session] {
        if (m_windows.erase(&session) > 0)
            m_sessions.close(session);
    });
    window->show();
}

void MainWindow::removeSessionWindow(session::Session &session)
{
    const auto found = m_windows.find(&session);
    if (found == m_windows.end())
        return;
    QMdiSubWindow *window = found->second;
    m_windows.erase(found);
    delete window;
}

} // namespace pvx::gui
