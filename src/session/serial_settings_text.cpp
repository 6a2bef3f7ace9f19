#include "session/serial_settings_text.h"

#include "session/session_window.h"

namespace pvx::session {

namespace {

const QString kParityLetters = QStringLiteral("NEOMS");

platform::Error invalid(const QString &what)
{
    return platform::makeError(platform::ErrorCode::InvalidArgument, QStringLiteral("Invalid ") + what);
}

} // namespace

QString settingsString(const SessionWindow &window)
{
    const int parity = window.Combo1[1].selectedIndex();
    const QString letter = parity >= 0 && parity < kParityLetters.size() ? kParityLetters.mid(parity, 1)
                                                                          : QString();
    return window.Combo1[0].text() + QLatin1Char(',') + letter + QLatin1Char(',') + window.Combo1[2].text()
           + QLatin1Char(',') + window.Combo1[3].text();
}

platform::Result<platform::SerialSettings> parseSettingsString(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return invalid(QStringLiteral("serial settings \"%1\"").arg(text));

    platform::SerialSettings settings;
    bool ok = false;
    settings.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return invalid(QStringLiteral("baud rate \"%1\"").arg(parts[0]));

    const QString parity = parts[1].trimmed().toUpper();
    const auto letter = parity.size() == 1 ? kParityLetters.indexOf(parity) : -1;
    if (letter < 0)
        return invalid(QStringLiteral("parity \"%1\"").arg(parts[1]));
    settings.parity = static_cast<platform::Parity>(letter);

    settings.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || settings.dataBits < 5 || settings.dataBits > 8)
        return invalid(QStringLiteral("data bits \"%1\"").arg(parts[2]));

    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        settings.stopBits = platform::StopBits::One;
    else if (stop == QLatin1String("1.5"))
        settings.stopBits = platform::StopBits::OneAndHalf;
    else if (stop == QLatin1String("2"))
        settings.stopBits = platform::StopBits::Two;
    else
        return invalid(QStringLiteral("stop bits \"%1\"").arg(parts[3]));
    return settings;
}

void applyFlowControl(platform::SerialSettings &settings, FlowControl flowControl)
{
    settings.dtr = flowControl != FlowControl::OptoRs;
    switch (flowControl) {
    case FlowControl::None:
        settings.handshaking = platform::Handshaking::None;
        break;
    case FlowControl::XonXoff:
        settings.handshaking = platform::Handshaking::XonXoff;
        break;
    case FlowControl::Hardware:
    case FlowControl::OptoRs:
        settings.handshaking = platform::Handshaking::RtsCts;
        break;
    }
}

} // namespace pvx::session
