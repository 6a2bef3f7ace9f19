#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace pvx::session {
class Session;
}

namespace pvx::shell {

class MainWindow;
class SessionList;

/// What the program without windows says on standard error, one line per
/// event: the start, every status change of every session (with the reason
/// a window would show in the status line's tool tip), a session's warnings
/// and the save. No
/// colours and no timestamps: the journal adds its own.
class HeadlessReport : public QObject {
    Q_OBJECT
public:
    /// Receives each line without its line end.
    using Sink = std::function<void(const QString &line)>;

    HeadlessReport(MainWindow &window, SessionList &sessions, QString home, Sink sink);

private:
    void watch(session::Session &session);
    void say(const QString &text);

    SessionList &m_sessions;
    QString m_home;
    Sink m_sink;
};

} // namespace pvx::shell
