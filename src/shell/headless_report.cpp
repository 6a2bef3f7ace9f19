#include "shell/headless_report.h"

#include "session/session.h"
#include "shell/main_window.h"
#include "shell/session_list.h"

namespace pvx::shell {

namespace {

/// A session's name in the report: the one the user gave it, else its port.
QString nameOf(const session::SessionWindow &window)
{
    return window.isNamed() ? window.windowNameButton.tag() : window.connector.text();
}

} // namespace

HeadlessReport::HeadlessReport(MainWindow &window, SessionList &sessions, QString home, Sink sink)
    : m_sessions(sessions), m_home(std::move(home)), m_sink(std::move(sink))
{
    connect(&window, &MainWindow::startupLoaded, this, [this](const QString &file) {
        say(QStringLiteral("started " PVX_VERSION ", home ") + m_home + QStringLiteral(", file ") + file
            + QStringLiteral(", ") + QString::number(m_sessions.size()) + QStringLiteral(" sessions"));
    });
    connect(&window, &MainWindow::saved, this,
            [this](const QString &path) { say(QStringLiteral("saved to ") + path); });
    connect(&sessions, &SessionList::created, this, &HeadlessReport::watch);
    for (const auto &session : sessions.sessions())
        watch(*session);
}

void HeadlessReport::watch(session::Session &session)
{
    connect(&session, &session::Session::statusChanged, this, [this, &session](session::StatusLine line, const QString &text) {
        const session::SessionWindow &window = session.window();
        const QString reason = window.statusLine(line).toolTip();
        say(nameOf(window) + QStringLiteral(": ") + text
            + (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')')));
    });
    connect(&session, &session::Session::warned, this, [this, &session](const QString &text) {
        say(nameOf(session.window()) + QStringLiteral(": ") + text);
    });
}

void HeadlessReport::say(const QString &text)
{
    // One event, one line, whatever a reason or a name holds.
    QString line = QStringLiteral("porvix: ") + text;
    for (QChar &c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    m_sink(line);
}

} // namespace pvx::shell
