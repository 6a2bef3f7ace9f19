#pragma once

#include "platform/command_channel.h"
#include "platform/service_control.h"
#include "platform/tray_icon.h"

#include <QList>

namespace pvx::fakes {

/// A command channel in memory: the test delivers requests and reads the
/// replies.
class FakeCommandChannel : public platform::CommandChannel {
public:
    platform::Result<void> listen(Handler newHandler) override
    {
        if (fails)
            return platform::makeError(platform::ErrorCode::Busy, QStringLiteral("cannot listen"));
        handler = std::move(newHandler);
        return {};
    }

    /// Another program sends a request; refused while nothing listens.
    platform::CommandReply deliver(const QString &topic, const QString &command)
    {
        return handler ? handler(topic, command) : platform::CommandReply{};
    }

    Handler handler;
    bool fails = false;
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
    platform::Result<void> install(bool hidden) override
    {
        installs.append(hidden);
        return outcome();
    }
    platform::Result<void> uninstall() override
    {
        ++uninstalls;
        return outcome();
    }
    bool managerRunning() const override { return running; }
    QString enableCommand() const override { return QStringLiteral("start-it-later"); }
    void notifyReady() override {}
    void notifyStopping() override {}

    /// The hidden flag of each install.
    QList<bool> installs;
    int uninstalls = 0;
    bool fails = false;
    bool running = true;

private:
    platform::Result<void> outcome() const
    {
        if (fails)
            return platform::makeError(platform::ErrorCode::AccessDenied, QStringLiteral("not allowed"));
        return {};
    }
};

} // namespace pvx::fakes
