#include "shell/startup_entry.h"

#include "platform/autostart.h"

namespace pvx::shell {

QString quotedArgument(const QString &text)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString startupCommandLine(const QString &programPath, const QString &home, const QString &defaultHome)
{
    QString command = quotedArgument(programPath);
    if (home != defaultHome)
        command += QStringLiteral(" --home ") + quotedArgument(home);
    return command;
}

void setStartupEntry(platform::Autostart &autostart, bool add, const QString &commandLine)
{
    if (add)
        (void)autostart.enable(commandLine);
    else
        (void)autostart.disable();
}

} // namespace pvx::shell
