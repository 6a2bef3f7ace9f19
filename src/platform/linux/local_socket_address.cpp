#include "platform/linux/local_socket_address.h"

#include <QFile>

#include <cstring>

#include <sys/socket.h>

namespace pvx::platform {

Result<sockaddr_un> localSocketAddress(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    // One byte stays for the terminating zero.
    if (encoded.isEmpty() || static_cast<std::size_t>(encoded.size()) >= sizeof address.sun_path)
        return makeError(ErrorCode::InvalidArgument,
                         QStringLiteral("the socket path %1 is longer than the %2 bytes a socket address holds")
                             .arg(path)
                             .arg(sizeof address.sun_path - 1));
    std::memcpy(address.sun_path, encoded.constData(), static_cast<std::size_t>(encoded.size()));
    return address;
}

} // namespace pvx::platform
