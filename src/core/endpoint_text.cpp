#include "core/endpoint_text.h"

namespace pvx::core {

QString endpointText(const QString &address, int port)
{
    const QString host = address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address;
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace pvx::core
