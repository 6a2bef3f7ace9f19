#include "session/device_return.h"

#include "platform/device_watch.h"

#include <utility>

namespace pvx::session {

platform::Result<void> DeviceReturn::start(const QString &device, std::function<void()> mayHaveReturned)
{
    stop();
    reopened();
    auto watched = m_watch.watch(device, std::move(mayHaveReturned));
    if (!watched)
        return watched.error();
    m_id = *watched;
    return {};
}

void DeviceReturn::stop()
{
    if (m_id >= 0)
        m_watch.cancel(std::exchange(m_id, -1));
}

bool DeviceReturn::takeHintWhileOpen()
{
    return std::exchange(m_hintWhileOpen, false);
}

bool DeviceReturn::refusalIsNew(const QString &reason)
{
    if (reason == m_refusal)
        return false;
    m_refusal = reason;
    return true;
}

void DeviceReturn::reopened()
{
    m_hintWhileOpen = false;
    m_refusal.clear();
}

} // namespace pvx::session
