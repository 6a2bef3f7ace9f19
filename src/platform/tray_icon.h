#pragma once

#include <QString>

#include <functional>

namespace pvx::platform {

/// The notification-area icon with its pop-up menu.
class TrayIcon {
public:
    struct Events {
        std::function<void()> activated;
        std::function<void()> openRequested;
        std::function<void()> hideRequested;
        std::function<void()> exitRequested;
    };
    virtual ~TrayIcon() = default;
    /// Adds the icon; false when there is no notification area.
    virtual bool add(const QString &toolTip) = 0;
    virtual void remove() = 0;
    virtual void setMenuTexts(const QString &open, const QString &hide, const QString &exit) = 0;
    virtual void setEvents(Events events) = 0;
};

} // namespace pvx::platform
