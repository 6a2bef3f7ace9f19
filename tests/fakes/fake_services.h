#pragma once

#include "platform/clock.h"
#include "platform/process_launcher.h"

#include <QStringList>

namespace pvx::fakes {

/// A clock that stands still until the test moves it.
class FakeClock : public platform::Clock {
public:
    QDateTime now() const override { return time; }
    QDateTime time{QDate(2026, 12, 6), QTime(8, 55, 1)};
};

/// Records the programs it was asked to start; of the programs started by
/// name, only those listed as installed start.
class FakeProcessLauncher : public platform::ProcessLauncher {
public:
    platform::Result<void> startProgram(const QString &name) override
    {
        askedPrograms.append(name);
        if (!installed.contains(name))
            return platform::makeError(platform::ErrorCode::NotFound, name + QStringLiteral(": not installed"));
        return {};
    }
    QStringList installed;
    QStringList askedPrograms;
    platform::Result<void> startDetached(const QString &commandLine) override
    {
        started.append(commandLine);
        if (fails)
            return platform::makeError(platform::ErrorCode::NotFound, commandLine + QStringLiteral(": not found"));
        return {};
    }
    QStringList started;
    bool fails = false;
};

} // namespace pvx::fakes
