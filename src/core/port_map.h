#pragma once

#include "core/environment.h"

#include <QHash>
#include <QString>

namespace pvx::core {

class IniDocument;

/// Where the serial connectors and the virtual ports of this machine live.
struct PortMap {
    /// Connector number -> device path, from the [Ports] section.
    QHash<int, QString> devices;
    /// The folder that holds the virtual ports' links "COM"n.
    QString virtualPortDirectory;

    /// The device of connector n ("COM"n): its [Ports] entry, else
    /// /dev/ttyS(n-1); empty for n <= 0.
    QString deviceFor(int connector) const;
};

/// Reads the keys COMn (any case, n a positive decimal number without
/// leading zeros) of section [Ports]; an empty value counts as no entry. The
/// virtual-port folder is the value of VirtualPortDir in [Porvix], else
/// $XDG_RUNTIME_DIR/porvix, else /tmp/porvix-<uid>.
PortMap readPortMap(const IniDocument &document, const EnvironmentLookup &environment,
                    unsigned int uid);

} // namespace pvx::core
