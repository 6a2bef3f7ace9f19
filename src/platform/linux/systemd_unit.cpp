#include "platform/linux/systemd_unit.h"

#include <QStringList>

namespace pvx::platform {

QString systemdQuotedArgument(const QString &argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            quoted += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('%') || c == QLatin1Char('$'))
            quoted += QString(2, c);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            // A line break would end the setting and start another.
            quoted += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString systemdUnitText(const SystemdUnit &unit)
{
    const bool system = unit.scope == UnitScope::System;
    QStringList command;
    for (const QString &word : {unit.program, QStringLiteral("--headless"), QStringLiteral("--home"), unit.home})
        command.append(systemdQuotedArgument(word));

    QString text = QStringLiteral("[Unit]\n"
                                  "Description=RS232 to TCP/IP Converter\n");
    if (system && !unit.hidden)
        text += QStringLiteral("After=network-online.target\n"
                               "Wants=network-online.target\n");
    text += QStringLiteral("\n[Service]\n"
                           "Type=notify\n"
                           "ExecStart=")
            + command.join(QLatin1Char(' ')) + QLatin1Char('\n');
    text += QStringLiteral("Restart=on-failure\n");
    // Exit status 3: another instance holds the home, and starting again would not help.
    text += QStringLiteral("RestartPreventExitStatus=3\n");
    text += QStringLiteral("\n[Install]\nWantedBy=")
            + (system ? QStringLiteral("multi-user.target") : QStringLiteral("default.target")) + QLatin1Char('\n');
    return text;
}

} // namespace pvx::platform
