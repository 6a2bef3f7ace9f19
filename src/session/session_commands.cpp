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

} // namespace pvx::session
