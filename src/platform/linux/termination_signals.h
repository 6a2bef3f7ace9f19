#pragma once

#include "platform/result.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace pvx::platform {

/// Delivers SIGTERM, SIGINT and SIGHUP to the event loop: the signal handler only
/// writes the signal's number into a pipe, and `handler` runs from the loop
/// when the pipe becomes readable. A SIGHUP that is ignored at installation
/// (nohup) stays ignored. One instance per process; destroying it puts the
/// default actions back.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(int signalNumber)>;

    /// Installs the handlers; fails when the pipe or a handler cannot be set
    /// up, or when an instance exists already.
    static Result<std::unique_ptr<TerminationSignals>> install(Handler handler);
    ~TerminationSignals() override;

private:
    explicit TerminationSignals(Handler handler);
    void drain();

    Handler m_handler;
    std::vector<int> m_installed;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace pvx::platform
