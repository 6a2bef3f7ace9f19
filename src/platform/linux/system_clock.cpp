#include "platform/linux/system_clock.h"

namespace pvx::platform {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

} // namespace pvx::platform
