#pragma once

#include "session/session_status.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace pvx::shell {

class SessionList;

/// The status of every open session, in window order.
std::vector<session::SessionStatus> sessionStatuses(const SessionList &sessions);

/// One readable line per session, without tabs or line breaks:
/// "COM1 | server 0.0.0.0:1000 | COM Status: Open | TCP/IP Status:
/// Listening... | 2 clients | to network 120 bytes, 0 held | to serial 64
/// bytes, 0 held".
QStringList statusLines(const std::vector<session::SessionStatus> &statuses);

/// One line of compact JSON: {"sessions":[{"name":…,"connector":…,
/// "role":"server"|"client"|"udp","address":…,"port":n,"serial":…,
/// "network":…,"clients":n,"bytesToNetwork":n,"bytesToSerial":n,
/// "heldToNetwork":n,"heldToSerial":n}, …]}.
QString statusJson(const std::vector<session::SessionStatus> &statuses);

} // namespace pvx::shell
