#pragma once

#include "platform/result.h"

#include <QString>

namespace pvx::platform {

/// The program as a service of the machine's service manager: installing and
/// removing it, and telling the manager when a service run is up and when it
/// stops. Calls are synchronous and bounded in time.
class ServiceControl {
public:
    virtual ~ServiceControl() = default;
    /// Installs the service so that it runs this program headless on the
    /// current home. `hidden` leaves out the wait for the network that a
    /// plain install adds. Where the service manager runs, the service is
    /// also enabled (not started).
    virtual Result<void> install(bool hidden) = 0;
    /// Disables and stops the service where the service manager runs, then
    /// removes it; fails when it is not installed.
    virtual Result<void> uninstall() = 0;
    /// Whether install and uninstall reach a running service manager. When
    /// not, an install only leaves the service for enableCommand().
    virtual bool managerRunning() const = 0;
    /// The command that enables and starts the installed service by hand.
    virtual QString enableCommand() const = 0;
    /// The service run has started up and answers; nothing outside a service run.
    virtual void notifyReady() = 0;
    /// The service run has begun its shutdown; nothing outside a service run.
    virtual void notifyStopping() = 0;
};

} // namespace pvx::platform
