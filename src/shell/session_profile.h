#pragma once

#include <QString>

namespace pvx::core {
class IniDocument;
}
namespace pvx::session {
class SessionWindow;
}

namespace pvx::shell {

/// "Session" followed by the session's number (counted from 1).
QString sessionSection(int number);

/// Applies section Session<number> to `window`, key by key in the file's
/// order; missing keys apply their defaults. A value the window cannot take
/// (a list position past its list, a flag other than 0 or 1) is skipped,
/// except a buffer size that is no position of its list: that takes the
/// default position. Returns the stored AutoActivate value.
int readSessionSection(const core::IniDocument &document, int number, session::SessionWindow &window);

/// Writes the window's settings to section Session<number> in the file's
/// order; AutoActivate records `active`.
void writeSessionSection(core::IniDocument &document, int number, const session::SessionWindow &window,
                         bool active);

/// The numeric value of a time-out text as the file stores it: "250ms"
/// gives "250", "abc" gives "0".
QString timeoutValueText(const QString &text);

} // namespace pvx::shell
