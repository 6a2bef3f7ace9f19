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
    /// VirtualPortDir as the file gave it; empty when it gave none and the
    /// folder above is the derived default.
    QString statedVirtualPortDirectory;

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

/// Makes `document` name the same ports as the file `map` was read from:
/// each of its connectors with its device, every other COMn key of [Ports]
/// emptied, and VirtualPortDir as stated there (emptied when it stated none).
/// Derived defaults are never written.
void writePortMap(IniDocument &document, const PortMap &map);

} // namespace pvx::core
