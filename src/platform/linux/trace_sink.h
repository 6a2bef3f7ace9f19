#pragma once

#include "platform/result.h"

#include <QByteArray>

namespace pvx::platform {

/// Where a trace writer's bytes end up. Called on the writer's thread only.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    /// Appends `bytes`; on failure some of them may have been written.
    virtual Result<void> write(const QByteArray &bytes) = 0;
    /// Moves the file aside when it has grown past its limit and starts a
    /// new one; nothing to do otherwise.
    virtual Result<void> moveAsideWhenFull() = 0;
};

} // namespace pvx::platform
