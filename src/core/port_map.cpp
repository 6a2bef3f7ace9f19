#include "core/port_map.h"

#include "core/ini_document.h"

#include <QDir>

#include <algorithm>
#include <optional>

namespace pvx::core {

namespace {

const QString kPortsSection = QStringLiteral("Ports");
const QString kProgramSection = QStringLiteral("Porvix");
const QString kVirtualPortDirKey = QStringLiteral("VirtualPortDir");

// "COM12" gives 12; anything else (also "COM012" or "COM0") gives nothing.
std::optional<int> connectorOfKey(const QString &key)
{
    const QLatin1String prefix("COM");
    if (key.size() <= prefix.size() || !key.startsWith(prefix, Qt::CaseInsensitive))
        return std::nullopt;
    const QString digits = key.mid(prefix.size());
    if (digits.front() == QLatin1Char('0'))
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const int connector = digits.toInt(&ok);
    return ok ? std::optional<int>(connector) : std::nullopt;
}

} // namespace

QString PortMap::deviceFor(int connector) const
{
    if (connector <= 0)
        return {};
    const auto found = devices.constFind(connector);
    if (found != devices.cend())
        return *found;
    return QStringLiteral("/dev/ttyS") + QString::number(connector - 1);
}

PortMap readPortMap(const IniDocument &document, const EnvironmentLookup &environment,
                    unsigned int uid)
{
    PortMap map;
    for (const QString &key : document.keys(kPortsSection)) {
        const std::optional<int> connector = connectorOfKey(key);
        if (!connector)
            continue;
        const QString device = document.readString(kPortsSection, key, {});
        if (!device.isEmpty())
            map.devices.insert(*connector, device);
    }

    map.statedVirtualPortDirectory = document.readString(kProgramSection, kVirtualPortDirKey, {});
    map.virtualPortDirectory = map.statedVirtualPortDirectory;
    if (map.virtualPortDirectory.isEmpty()) {
        const QString runtime = environment("XDG_RUNTIME_DIR");
        map.virtualPortDirectory = QDir::isAbsolutePath(runtime)
                                       ? QDir::cleanPath(runtime + QStringLiteral("/porvix"))
                                       : QStringLiteral("/tmp/porvix-") + QString::number(uid);
    }
    return map;
}

void writePortMap(IniDocument &document, const PortMap &map)
{
    for (const QString &key : document.keys(kPortsSection)) {
        const std::optional<int> connector = connectorOfKey(key);
        if (connector && !map.devices.contains(*connector))
            document.writeString(kPortsSection, key, {});
    }
    QList<int> connectors = map.devices.keys();
    std::sort(connectors.begin(), connectors.end());
    for (const int connector : connectors)
        document.writeString(kPortsSection, QStringLiteral("COM") + QString::number(connector), map.devices.value(connector));

    const bool targetStatesOne = !document.readString(kProgramSection, kVirtualPortDirKey, {}).isEmpty();
    if (!map.statedVirtualPortDirectory.isEmpty() || targetStatesOne)
        document.writeString(kProgramSection, kVirtualPortDirKey, map.statedVirtualPortDirectory);
}

} // namespace pvx::core
