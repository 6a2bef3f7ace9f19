#include "platform/linux/idle_memory_release.h"

#include <malloc.h>

namespace pvx::platform {

IdleMemoryRelease::IdleMemoryRelease(std::chrono::milliseconds quietTime)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietTime);
    // Trimming walks the whole heap: it waits for the burst to end.
    QObject::connect(&m_quiet, &QTimer::timeout, &m_quiet, [] { ::malloc_trim(0); });
}

void IdleMemoryRelease::activity()
{
    m_quiet.start();
}

} // namespace pvx::platform
