#pragma once

#include "platform/service_control.h"
#include "platform/tray_icon.h"

#include <QList>

namespace pvx::fakes {

/// A notification-area icon the test clicks; it keeps every menu shown.
class FakeTrayIcon : public platform::TrayIcon {
public:
    bool add(const QString &newToolTip) override
    {
        ++adds;
        toolTip = newToolTip;
        shown = available;
        return available;
    }
    void remove() override
    {
        ++removals;
        shown = false;
    }
    void showMenu(const QList<MenuItem> &items) override { menus.append(items); }
    void setEvents(Events newEvents) override { events = std::move(newEvents); }

    void activate(Activation activation)
    {
        if (events.activated)
            events.activated(activation);
    }
    /// The texts of the menu shown last, "-" for a separator and the
    /// default item in brackets.
    QStringList menuTexts() const
    {
        QStringList texts;
        for (const MenuItem &item : menus.value(menus.size() - 1)) {
            const QString text = item.text.isEmpty() ? QStringLiteral("-") : item.text;
            texts.append(item.isDefault ? QLatin1Char('[') + text + QLatin1Char(']') : text);
        }
        return texts;
    }
    /// Picks the item at `index` of the menu shown last.
    void choose(qsizetype index) const { menus.last().at(index).triggered(); }

    Events events;
    QString toolTip;
    QList<QList<MenuItem>> menus;
    bool available = true;
    bool shown = false;
    int adds = 0;
    int removals = 0;
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
