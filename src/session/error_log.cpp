#include "session/error_log.h"

#include "platform/clock.h"
#include "platform/file_store.h"
#include "platform/process_launcher.h"
#include "session/program_settings.h"

namespace pvx::session {

ErrorLog::ErrorLog(platform::FileStore &files, platform::ProcessLauncher &launcher, const platform::Clock &clock,
                   const ProgramSettings &settings, QString path)
    : m_files(files), m_launcher(launcher), m_clock(clock), m_settings(settings), m_path(std::move(path))
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
        (void)m_files.append(m_path, line.toUtf8());
    }
    if (!m_settings.OnErrorRunApp.isEmpty())
        (void)m_launcher.startDetached(m_settings.OnErrorRunApp);
}

} // namespace pvx::session
