#include "session/error_log.h"

#include "platform/clock.h"
#include "platform/file_store.h"
#include "platform/process_launcher.h"
#include "session/program_settings.h"

namespace pvx::session {

ErrorLog::ErrorLog(platform::FileStore &files, platform::ProcessLauncher &launcher, const platform::Clock &clock,
                   const ProgramSettings &settings, QString path, LogRotation rotation)
    : m_files(files),
      m_launcher(launcher),
      m_clock(clock),
      m_settings(settings),
      m_path(std::move(path)),
      m_rotation(std::move(rotation))
{
}

void ErrorLog::report(const QString &description, const QString &localAddress, const QString &modePart)
{
    if (m_settings.LogErrors != 0) {
        const QDateTime now = m_clock.now();
        // Fixed formats, whatever the user's regional settings.
        const QString line = QStringLiteral("Porvix Error: ") + description + QStringLiteral(", ")
                             + now.toString(QStringLiteral("MM-dd-yyyy")) + QStringLiteral(", ")
                             + now.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(", Porvix IP Address: ")
                             + localAddress + QStringLiteral(", ") + modePart + QStringLiteral("\r\n");
        const auto appended = m_files.append(m_path, line.toUtf8());
        if (appended)
            rotateWhenFull();
        // Once per failing spell, as for the rotation below.
        else if (!m_writeFailed && m_rotation.failed)
            m_rotation.failed(QStringLiteral("the error log is not written: ") + appended.error().detail);
        m_writeFailed = !appended;
    }
    if (!m_settings.OnErrorRunApp.isEmpty())
        (void)m_launcher.startDetached(m_settings.OnErrorRunApp);
}

void ErrorLog::rotateWhenFull()
{
    const auto size = m_files.fileSize(m_path);
    if (!size || *size <= m_rotation.limit)
        return;
    const QString older = m_path + QStringLiteral(".1");
    const auto moved = m_files.rename(m_path, older);
    if (moved) {
        m_rotationFailed = false;
        return;
    }
    // Once per failing spell: the same words every line would bury the log.
    if (!m_rotationFailed && m_rotation.failed)
        m_rotation.failed(m_path + QStringLiteral(" cannot be moved to ") + older + QStringLiteral(" (")
                          + moved.error().detail + QStringLiteral("); it keeps growing"));
    m_rotationFailed = true;
}

} // namespace pvx::session
