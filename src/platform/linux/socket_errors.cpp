#include "platform/linux/socket_errors.h"

#include "core/endpoint_text.h"
#include "platform/linux/ip_address.h"
#include "platform/socket.h"

#include <QHostAddress>

#include <cerrno>
#include <cstring>

namespace pvx::platform {

int socketErrorNumber(QAbstractSocket::SocketError error, const QString &description)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return kErrorConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return kErrorConnectionReset;
    case QAbstractSocket::HostNotFoundError:
        return kErrorHostNotFound;
    case QAbstractSocket::SocketAccessError:
        return kErrorAccess;
    case QAbstractSocket::SocketTimeoutError:
        return kErrorTimedOut;
    case QAbstractSocket::AddressInUseError:
        return kErrorAddressInUse;
    case QAbstractSocket::NetworkError:
        // Qt folds every unreachable network into NetworkError and tells them
        // apart only by text (Qt's own translations are not loaded here).
        return description == QLatin1String("Network unreachable") ? kErrorNetworkUnreachable
                                                                   : kErrorNetworkDown;
    case QAbstractSocket::OperationError:
    case QAbstractSocket::UnsupportedSocketOperationError:
    case QAbstractSocket::UnfinishedSocketOperationError:
        return kErrorWrongState;
    default:
        return kErrorNetworkDown;
    }
}

bool isUsageError(int number)
{
    return number >= 40000;
}

ErrorCode socketErrorCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ErrorCode::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return ErrorCode::HostNotFound;
    case QAbstractSocket::SocketAccessError:
        return ErrorCode::AccessDenied;
    case QAbstractSocket::SocketTimeoutError:
        return ErrorCode::TimedOut;
    case QAbstractSocket::AddressInUseError:
        return ErrorCode::AddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return ErrorCode::InvalidArgument;
    case QAbstractSocket::OperationError:
    case QAbstractSocket::UnfinishedSocketOperationError:
        return ErrorCode::WrongState;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return ErrorCode::Unsupported;
    default:
        return ErrorCode::NetworkError;
    }
}

namespace {

Error addressProblem(ErrorCode code, const QString &reason, const QHostAddress &address, quint16 port)
{
    return makeError(code, QStringLiteral("%1 (%2)").arg(reason, core::endpointText(addressText(address), port)));
}

} // namespace

Error bindError(QAbstractSocket::SocketError error, const QString &qtDescription,
                const QHostAddress &address, quint16 port)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return addressError(EADDRINUSE, address, port);
    case QAbstractSocket::SocketAccessError:
        return addressError(EACCES, address, port);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return addressError(EADDRNOTAVAIL, address, port);
    default:
        return addressProblem(socketErrorCode(error), qtDescription, address, port);
    }
}

Error addressError(int errorNumber, const QHostAddress &address, quint16 port)
{
    switch (errorNumber) {
    case EADDRINUSE:
        return addressProblem(ErrorCode::AddressInUse, QStringLiteral("Address already in use"), address, port);
    case EACCES:
    case EPERM:
        return addressProblem(ErrorCode::AccessDenied, QStringLiteral("Permission denied"), address, port);
    case EADDRNOTAVAIL:
        return addressProblem(ErrorCode::InvalidArgument, QStringLiteral("Address not available on this computer"),
                              address, port);
    default:
        return addressProblem(ErrorCode::NetworkError, QString::fromLocal8Bit(std::strerror(errorNumber)), address,
                              port);
    }
}

int socketErrorNumberForErrno(int errorNumber)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return kErrorAccess;
    case EADDRINUSE:
        return kErrorAddressInUse;
    case ENETUNREACH:
        return kErrorNetworkUnreachable;
    case ECONNRESET:
        return kErrorConnectionReset;
    case ETIMEDOUT:
        return kErrorTimedOut;
    case ECONNREFUSED:
        return kErrorConnectionRefused;
    default:
        return kErrorNetworkDown;
    }
}

Error stateError(int state)
{
    QString name;
    switch (state) {
    case kSocketClosed:
        name = QStringLiteral("closed");
        break;
    case kSocketOpen:
        name = QStringLiteral("open");
        break;
    case kSocketListening:
        name = QStringLiteral("listening");
        break;
    case kSocketConnecting:
        name = QStringLiteral("connecting");
        break;
    case kSocketConnected:
        name = QStringLiteral("connected");
        break;
    case kSocketClosing:
        name = QStringLiteral("closed by the peer");
        break;
    default:
        name = QStringLiteral("in error");
        break;
    }
    return makeError(ErrorCode::WrongState, QStringLiteral("Not possible while the socket is %1").arg(name));
}

} // namespace pvx::platform
