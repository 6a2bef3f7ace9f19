#pragma once

#include <QString>

#include <functional>

namespace pvx::platform {
class Clock;
class FileStore;
class ProcessLauncher;
}

namespace pvx::session {

struct ProgramSettings;

/// When the error log is moved aside, and whom to tell when it cannot be
/// written or moved.
struct LogRotation {
    /// The size in bytes past which the log is moved aside.
    qint64 limit = qint64{10} * 1024 * 1024;
    /// Told once per failing spell when the log cannot be written (a link in
    /// its place, a full disk), and once when it cannot be moved aside (it
    /// then grows on).
    std::function<void(const QString &message)> failed;
};

/// The program-wide error log and the user's error program. Every report
/// appends one line (when logging is on) and starts the error program (when
/// one is set); failures of either are ignored.
///
/// A log that has grown past its limit is moved aside to "<path>.1"
/// (replacing the one there) and a new one starts, so that a client failing
/// every few seconds for months cannot fill the disk.
class ErrorLog {
public:
    ErrorLog(platform::FileStore &files, platform::ProcessLauncher &launcher, const platform::Clock &clock,
             const ProgramSettings &settings, QString path, LogRotation rotation = {});

    /// Reports `description` for a session at `localAddress`; `modePart` says
    /// which end of the connection the session is.
    void report(const QString &description, const QString &localAddress, const QString &modePart);

    const QString &path() const { return m_path; }

private:
    void rotateWhenFull();

    platform::FileStore &m_files;
    platform::ProcessLauncher &m_launcher;
    const platform::Clock &m_clock;
    const ProgramSettings &m_settings;
    QString m_path;
    LogRotation m_rotation;
    bool m_rotationFailed = false;
    bool m_writeFailed = false;
};

} // namespace pvx::session
