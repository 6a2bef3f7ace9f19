#pragma once

#include <QString>

namespace pvx::session {

class SessionWindow;

/// The settings string of the window's serial choices: baud rate, parity
/// letter ("NEOMS" by list position), data bits and stop bits joined by
/// commas, as "9600,N,8,1".
QString settingsString(const SessionWindow &window);

} // namespace pvx::session
