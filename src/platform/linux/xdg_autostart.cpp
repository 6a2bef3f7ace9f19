#include "platform/linux/xdg_autostart.h"

#include "platform/file_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <unistd.h>

namespace pvx::platform {

namespace {

// The value of an Exec key: '%' starts a field code, and the key's text
// itself escapes backslashes and control characters.
QString execValue(const QString &commandLine)
{
    QString value;
    for (const QChar c : commandLine) {
        if (c == QLatin1Char('%'))
            value += QStringLiteral("%%");
        else if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else
            value += c;
    }
    return value;
}

} // namespace

XdgAutostart::XdgAutostart(FileStore &files, const QString &configHome)
    : m_files(files),
      m_folder(QDir::cleanPath(configHome + QStringLiteral("/autostart"))),
      m_entryPath(m_folder + QStringLiteral("/porvix.desktop"))
{
}

Result<void> XdgAutostart::enable(const QString &commandLine)
{
    if (Result<void> folder = m_files.ensurePrivateDirectory(m_folder); !folder)
        return folder;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Porvix\n"
                                         "Comment=RS232 to TCP/IP Converter\n"
                                         "Exec=")
                          + execValue(commandLine)
                          + QStringLiteral("\n"
                                           "Terminal=false\n"
                                           "X-GNOME-Autostart-enabled=true\n");
    return m_files.writeAtomically(m_entryPath, entry.toUtf8());
}

Result<void> XdgAutostart::disable()
{
    const QByteArray name = QFile::encodeName(m_entryPath);
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return makeError(ErrorCode::IoError, m_entryPath + QStringLiteral(": ") + qt_error_string(errno));
    return {};
}

bool XdgAutostart::isEnabled() const
{
    return QFileInfo::exists(m_entryPath);
}

} // namespace pvx::platform
