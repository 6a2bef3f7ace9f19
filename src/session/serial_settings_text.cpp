#include "session/serial_settings_text.h"

#include "session/session_window.h"

namespace pvx::session {

namespace {

const QString kParityLetters = QStringLiteral("NEOMS");

} // namespace

QString settingsString(const SessionWindow &window)
{
    const int parity = window.parity.selectedIndex();
    const QString letter = parity >= 0 && parity < kParityLetters.size() ? kParityLetters.mid(parity, 1)
                                                                          : QString();
    return window.baudRate.text() + QLatin1Char(',') + letter + QLatin1Char(',') + window.dataBits.text()
           + QLatin1Char(',') + window.stopBits.text();
}

} // namespace pvx::session
