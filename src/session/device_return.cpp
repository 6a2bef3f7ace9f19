#include "session/device_return.h"

#include "platform/device_watch.h"

#include <utility>

namespace pvx::session {

platform::Result<void> DeviceReturn::start(const QString &device, std::function<void()> mayHaveReturned)
{
    stop();
    reopened();
    auto watched = m_watch.watch(device, mayHaveReturned);
    if (!watched)
        return watched.error();
    m_id = *watched;
    m_device = device;
    m_mayHaveReturned = std::move(mayHaveReturned);
    return {};
}

void DeviceReturn::stop()
{
    stopReleaseWatch();
    if (m_id >= 0)
        m_watch.cancel(std::exchange(m_id, -1));
}

void DeviceReturn::stopReleaseWatch()
{
    if (m_releaseId >= 0)
        m_watch.cancel(std::exchange(m_releaseId, -1));
}

bool DeviceReturn::takeHintWhileOpen()
{
    return std::exchange(m_hintWhileOpen, false);
}

bool DeviceReturn::refused(const platform::Error &error)
{
    // Nothing at the path changes when the holder lets go: watch for that.
    // Armed afresh at each refusal, as the node may have been replaced.
    stopReleaseWatch();
    if (watching() && error.code == platform::ErrorCode::Busy) {
        if (const auto watched = m_watch.watchRelease(m_device, m_mayHaveReturned))
            m_releaseId = *watched;
    }
    if (error.detail == m_refusal)
        return false;
    m_refusal = error.detail;
    return true;
}

void DeviceReturn::reopened()
{
    stopReleaseWatch();
    m_hintWhileOpen = false;
    m_refusal.clear();
}

} // namespace pvx::session
