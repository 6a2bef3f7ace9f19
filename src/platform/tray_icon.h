#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace pvx::platform {

/// The notification-area icon. It shows no menu of its own accord: the owner
/// decides when a click shows one. Calls and events happen on the event-loop
/// thread; no event is delivered from inside a call into this object.
class TrayIcon {
public:
    /// What the user did to the icon.
    enum class Activation {
        DoubleClick,
        /// The request for a context menu (the right button).
        Context,
        /// Any other click.
        Other,
    };
    struct Events {
        std::function<void(Activation)> activated;
    };
    /// One entry of the pop-up menu; an entry without text is a separator.
    struct MenuItem {
        QString text;
        std::function<void()> triggered;
        /// The menu's default item, shown bold.
        bool isDefault = false;
    };

    virtual ~TrayIcon() = default;
    /// Puts the icon into the notification area with `toolTip`; false, and
    /// no icon, when there is no notification area.
    [[nodiscard]] virtual bool add(const QString &toolTip) = 0;
    /// Takes the icon out again, with any menu it shows.
    virtual void remove() = 0;
    /// Shows `items` as a pop-up menu at the mouse position. A triggered
    /// item runs after the menu has closed.
    virtual void showMenu(const QList<MenuItem> &items) = 0;
    virtual void setEvents(Events events) = 0;
};

} // namespace pvx::platform
