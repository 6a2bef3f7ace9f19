#pragma once

#include "platform/command_channel.h"
#include "platform/service_control.h"
#include "platform/tray_icon.h"

#include <QList>
#include <QPair>

namespace pvx::fakes {

/// A command channel in memory: the test delivers commands and reads what
/// was sent.
class FakeCommandChannel : public platform::CommandChannel {
public:
    platform::Result<void> listen(Handler newHandler) override
    {
        if (otherInstance)
            return platform::makeError(platform::ErrorCode::Busy, QStringLiteral("another instance listens"));
        handler = std::move(newHandler);
        return {};
    }
    platform::Result<void> send(const QString &topic, const QString &command) override
    {
        sent.append({topic, command});
        return {};
    }
    bool otherInstanceRunning() const override { return otherInstance; }

    /// Another program sends a command; false when nothing took it.
    bool deliver(const QString &topic, const QString &command) { return handler && handler(topic, command); }

    Handler handler;
    QList<QPair<QString, QString>> sent;
    bool otherInstance = false;
};

/// A notification-area icon whose menu the test clicks.
class FakeTrayIcon : public platform::TrayIcon {
public:
    bool add(const QString &newToolTip) override
    {
        toolTip = newToolTip;
        shown = available;
        return available;
    }
    void remove() override { shown = false; }
    void setMenuTexts(const QString &open, const QString &hide, const QString &exit) override
    {
        menuTexts = {open, hide, exit};
    }
    void setEvents(Events newEvents) override { events = std::move(newEvents); }

    Events events;
    QString toolTip;
    QStringList menuTexts;
    bool available = true;
    bool shown = false;
};

/// Records service installs and removals.
class FakeServiceControl : public platform::ServiceControl {
public:
    platform::Result<void> install(bool startNow) override
    {
        installs.append(startNow);
        if (fails)
            return platform::makeError(platform::ErrorCode::AccessDenied, QStringLiteral("not allowed"));
        return {};
    }
    platform::Result<void> uninstall() override
    {
        ++uninstalls;
        if (fails)
            return platform::makeError(platform::ErrorCode::AccessDenied, QStringLiteral("not allowed"));
        return {};
    }
    QList<bool> installs;
    int uninstalls = 0;
    bool fails = false;
};

} // namespace pvx::fakes
