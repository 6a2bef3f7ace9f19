#pragma once

#include "platform/result.h"
#include "platform/serial_port.h"
#include "session/session_choices.h"

#include <QString>

namespace pvx::session {

class SessionWindow;

/// The settings string of the window's serial choices: baud rate, parity
/// letter ("NEOMS" by list position), data bits and stop bits joined by
/// commas, as "9600,N,8,1".
QString settingsString(const SessionWindow &window);

/// Reads a settings string back into serial settings (handshaking and DTR
/// keep their defaults); an error names the part that is wrong.
platform::Result<platform::SerialSettings> parseSettingsString(const QString &text);

/// Applies the flow-control choice: handshaking and the line setting (off
/// only for Opto-RS).
void applyFlowControl(platform::SerialSettings &settings, FlowControl flowControl);

} // namespace pvx::session
