#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

namespace pvx::session {

/// One thing a session's trace shows: bytes that crossed it, or something
/// that happened to it.
struct TraceRecord {
    enum class Kind {
        /// Serial data handed to the network.
        ToNetwork,
        /// Network data on its way to the serial side.
        ToSerial,
        Event,
    };

    std::chrono::system_clock::time_point when;
    Kind kind = Kind::Event;
    /// The session's name (the window's, or its connector).
    QString session;
    /// Data to the network: where it went ("nobody" when no one took it);
    /// to the serial side: where it came from; an event: whom it is about,
    /// if anyone.
    QString peer;
    /// Data: how many bytes moved, and the bytes when the watcher takes them.
    qint64 byteCount = 0;
    QByteArray bytes;
    /// An event: what happened.
    QString event;
};

} // namespace pvx::session
