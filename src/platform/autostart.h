#pragma once

#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// The entry that starts the program when the user logs on.
class Autostart {
public:
    virtual ~Autostart() = default;
    /// Writes the entry so that `commandLine` runs at logon.
    virtual Result<void> enable(const QString &commandLine) = 0;
    /// Removes the entry; succeeds when there is none.
    virtual Result<void> disable() = 0;
    virtual bool isEnabled() const = 0;
};

} // namespace pvx::platform
