#pragma once

#include <QString>

namespace pvx::platform {
class Clock;
class FileStore;
class ProcessLauncher;
}

namespace pvx::session {

struct ProgramSettings;

/// The program-wide error log and the user's error program. Every report
/// appends one line (when logging is on) and starts the error program (when
/// one is set); failures of either are ignored.
class ErrorLog {
public:
    ErrorLog(platform::FileStore &files, platform::ProcessLauncher &launcher, const platform::Clock &clock,
             const ProgramSettings &settings, QString path);

    /// Reports `description` for a session at `localAddress`; `modePart` says
    /// which end of the connection the session is.
    void report(const QString &description, const QString &localAddress, const QString &modePart);

    const QString &path() const { return m_path; }

private:
    platform::FileStore &m_files;
    platform::ProcessLauncher &m_launcher;
    const platform::Clock &m_clock;
    const ProgramSettings &m_settings;
    QString m_path;
};

} // namespace pvx::session
