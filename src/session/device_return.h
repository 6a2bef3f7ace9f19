#pragma once

#include "platform/result.h"

#include <QString>

#include <functional>

namespace pvx::platform {
class DeviceWatch;
}

namespace pvx::session {

/// What a session keeps while it waits for its real device to come back:
/// the watch on the device's path (from activation to deactivation, so that
/// a device that goes and comes at once is not missed), whether a hint came
/// while the port still looked open, the reason a reopen was last refused,
/// so that it is logged once, and, while another program holds the device,
/// a watch for its release.
class DeviceReturn {
public:
    explicit DeviceReturn(platform::DeviceWatch &watch) : m_watch(watch) {}
    ~DeviceReturn() { stop(); }
    DeviceReturn(const DeviceReturn &) = delete;
    DeviceReturn &operator=(const DeviceReturn &) = delete;

    /// Watches `device`, forgetting what was noted before; `mayHaveReturned`
    /// is called for every hint until stop().
    platform::Result<void> start(const QString &device, std::function<void()> mayHaveReturned);
    void stop();
    bool watching() const { return m_id >= 0; }

    /// A hint came while the port was open: it may not have noticed yet
    /// that its device went away.
    void noteHintWhileOpen() { m_hintWhileOpen = true; }
    /// Whether such a hint came since the last call or the last reopen.
    bool takeHintWhileOpen();

    /// An open was refused with `error`: true when that is news, to be
    /// logged. While the device is in use (Busy), its release is a hint too.
    bool refused(const platform::Error &error);
    /// The device is open again: hints and refusals start afresh.
    void reopened();

private:
    void stopReleaseWatch();

    platform::DeviceWatch &m_watch;
    QString m_device;
    std::function<void()> m_mayHaveReturned;
    int m_id = -1;
    int m_releaseId = -1;
    bool m_hintWhileOpen = false;
    QString m_refusal;
};

} // namespace pvx::session
