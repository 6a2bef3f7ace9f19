// The commands other programs send to one session: activate, deactivate and
// new serial settings.
#include "session/session.h"

#include "session/line_choices.h"
#include "session/settings_command.h"

namespace pvx::session {

namespace {

const QLatin1String kActivate("[ACTIVATE]");
const QLatin1String kDeactivate("[DEACTIVATE]");
const QLatin1String kComSettings("[COMSETTINGS=");
const QLatin1String kTrace("[TRACE=");

} // namespace

bool Session::runCommand(const QString &command)
{
    const QString text = command.trimmed().toUpper();
    if (text == kActivate) {
        if (isActive())
            return false;
        activate();
        return true;
    }
    if (text == kDeactivate) {
        if (!isActive())
            return false;
        deactivate();
        return true;
    }
    // The path keeps its letter case.
    if (text.startsWith(kTrace))
        return switchTraceFile(command.trimmed().mid(kTrace.size()));
    if (!text.startsWith(kComSettings))
        return false;
    // All or nothing: what the device refuses leaves the lists, and with
    // them what is saved and used at the next start, as they were.
    const LinePositions before = linePositions(m_window);
    selectCommandedSettings(m_window, text.mid(kComSettings.size()));
    // A closed device (or a virtual port, which has no line settings) takes
    // the lists again when it is next opened.
    if (serial().applyLineSettings())
        return true;
    selectLinePositions(m_window, before);
    return false;
}

bool Session::switchTraceFile(const QString &argument)
{
    const std::optional<QString> path =
        commandedTraceFile(argument, m_window.options.TraceFile, m_window.connector.text());
    if (!path)
        return false;
    if (isActive()) {
        if (path->isEmpty())
            m_traceFile.stop();
        else if (!startTraceFile(*path))
            return false;
    }
    m_window.options.TraceFile = *path;
    return true;
}

} // namespace pvx::session
