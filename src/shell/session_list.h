#pragma once

#include "session/session.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace pvx::shell {

/// The open sessions, in the order of their creation. It owns them; closing
/// one discards it with its ports and sockets, without a deactivation.
class SessionList : public QObject {
    Q_OBJECT
public:
    using DeviceFactory = std::function<session::SessionDevices()>;

    SessionList(session::SessionServices services, DeviceFactory devices);
    ~SessionList() override;

    /// Creates one session with default settings, captioned "New - RS232 to TCP/IP".
    session::Session &create();
    /// Discards the session.
    void close(session::Session &session);
    /// Discards every session, the newest first.
    void closeAll();

    std::size_t size() const { return m_sessions.size(); }
    session::Session &at(std::size_t index) { return *m_sessions.at(index); }
    const std::vector<std::unique_ptr<session::Session>> &sessions() const { return m_sessions; }

signals:
    void created(pvx::session::Session &session);
    /// Raised just before the session is destroyed.
    void closing(pvx::session::Session &session);

private:
    session::SessionServices m_services;
    DeviceFactory m_devices;
    std::vector<std::unique_ptr<session::Session>> m_sessions;
};

} // namespace pvx::shell
