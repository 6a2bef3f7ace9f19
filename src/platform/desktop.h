#pragma once

#include <QString>

namespace pvx::platform {

/// The user's desktop: opening documents and web pages.
class Desktop {
public:
    virtual ~Desktop() = default;
    /// Opens a web address or a local file in its usual program; false when
    /// nothing could open it.
    virtual bool openUrl(const QString &url) = 0;
};

} // namespace pvx::platform
