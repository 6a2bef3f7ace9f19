#pragma once

#include "platform/result.h"

#include <QAbstractSocket>
#include <QString>

class QHostAddress;

namespace pvx::platform {

/// The number an error event carries for Qt's socket error `error`: the
/// Windows Sockets number of a network error (above 10000), or
/// kErrorWrongState for an error about the socket's own use.
int socketErrorNumber(QAbstractSocket::SocketError error, const QString &description);

/// True when `number` is about the socket's own use: such an error leaves
/// the socket as it is.
bool isUsageError(int number);

/// The ErrorCode of a synchronous call that failed with Qt's `error`.
ErrorCode socketErrorCode(QAbstractSocket::SocketError error);

/// The error of a bind or listen on `address`:`port` that failed with Qt's
/// `error`, in words a user can act on, e.g. "Address already in use
/// (127.0.0.1:5000)", "... ([::1]:5000)".
Error bindError(QAbstractSocket::SocketError error, const QString &qtDescription,
                const QHostAddress &address, quint16 port);

/// The same for a bind or listen that failed with errno `errorNumber`.
Error addressError(int errorNumber, const QHostAddress &address, quint16 port);

/// The number an error event carries for a failure with errno `errorNumber`.
int socketErrorNumberForErrno(int errorNumber);

/// The error of an operation the socket cannot do in `state`.
Error stateError(int state);

} // namespace pvx::platform
