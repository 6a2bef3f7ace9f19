#include "platform/linux/termination_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace pvx::platform {

namespace {

// A hang-up (the terminal or ssh session went away) ends the program the
// same orderly way: the settings are saved first.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe the handler writes to; -1 while no instance exists.
int g_pipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    (void)!::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

bool ignored(int signalNumber)
{
    struct sigaction current {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

void setAction(int signalNumber, void (*action)(int))
{
    struct sigaction setting {};
    setting.sa_handler = action;
    sigemptyset(&setting.sa_mask);
    setting.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &setting, nullptr);
}

} // namespace

Result<std::unique_ptr<TerminationSignals>> TerminationSignals::install(Handler handler)
{
    if (g_pipe[0] >= 0)
        return makeError(ErrorCode::Busy, QStringLiteral("the signal handlers are installed already"));
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int error = errno;
        g_pipe[0] = g_pipe[1] = -1;
        return makeError(ErrorCode::IoError, QStringLiteral("signal pipe: ") + qt_error_string(error));
    }
    std::unique_ptr<TerminationSignals> installed(new TerminationSignals(std::move(handler)));
    for (const int signalNumber : kSignals) {
        // Started through nohup: the hang-up was meant to pass unnoticed.
        if (signalNumber == SIGHUP && ignored(SIGHUP))
            continue;
        setAction(signalNumber, onTerminationSignal);
        installed->m_installed.push_back(signalNumber);
    }
    return installed;
}

TerminationSignals::TerminationSignals(Handler handler) : m_handler(std::move(handler))
{
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

TerminationSignals::~TerminationSignals()
{
    for (const int signalNumber : m_installed)
        setAction(signalNumber, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::drain()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t got = ::read(g_pipe[0], bytes, sizeof bytes);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        for (ssize_t i = 0; i < got; ++i) {
            if (m_handler)
                m_handler(bytes[i]);
        }
    }
}

} // namespace pvx::platform
