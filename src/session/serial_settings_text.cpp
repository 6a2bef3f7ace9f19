#include "session/serial_settings_text.h"

#include "session/session_window.h"

namespace pvx::session {

namespace {

const QString kParityLetters = QStringLiteral("NEOMS");

} // namespace

QString settingsString(const SessionWindow &window)
{
    const int parity = window.Combo1[1].selectedIndex();
    const QString letter = parity >= 0 && parity < kParityLetters.size() ? kParityLetters.mid(parity, 1)
                                                                          : QString();
    return window.Combo1[0].text() + QLatin1Char(',') + letter + QLatin1Char(',') + window.Combo1[2].text()
           + QLatin1Char(',') + window.Combo1[3].text();
}

} // namespace pvx::session
