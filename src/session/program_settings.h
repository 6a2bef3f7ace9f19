#pragma once

#include <QString>

namespace pvx::session {

/// Program-wide settings, loaded with a configuration and read by every
/// session. The ping settings hold list positions, not times.
struct ProgramSettings {
    QString Password;
    QString OnErrorRunApp;
    int LogErrors = 0;
    int PacketSize = 2000;
    int PingEnabled = 0;
    int PingFrequency = 3;
    int PingTimeout = 9;
    int LoadWithWindows = 0;

    bool operator==(const ProgramSettings &) const = default;
};

} // namespace pvx::session
