#pragma once

#include "platform/autostart.h"
#include "platform/desktop.h"

#include <QStringList>

namespace pvx::fakes {

/// Records the addresses it was asked to open.
class FakeDesktop : public platform::Desktop {
public:
    bool openUrl(const QString &url) override
    {
        opened.append(url);
        return opens;
    }
    QStringList opened;
    bool opens = true;
};

/// The logon entry in memory.
class FakeAutostart : public platform::Autostart {
public:
    platform::Result<void> enable(const QString &commandLine) override
    {
        ++enableCalls;
        if (fails)
            return platform::makeError(platform::ErrorCode::AccessDenied, QStringLiteral("autostart: refused"));
        entry = commandLine;
        return {};
    }
    platform::Result<void> disable() override
    {
        ++disableCalls;
        entry.clear();
        return {};
    }
    bool isEnabled() const override { return !entry.isEmpty(); }

    QString entry;
    bool fails = false;
    int enableCalls = 0;
    int disableCalls = 0;
};

} // namespace pvx::fakes
