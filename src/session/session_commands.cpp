// The commands other programs send to one session: activate, deactivate and
// new serial settings.
#include "session/session.h"

#include "core/numeric_text.h"
#include "session/line_choices.h"
#include "session/session_lists.h"

#include <iterator>

namespace pvx::session {

namespace {

const QLatin1String kActivate("[ACTIVATE]");
const QLatin1String kDeactivate("[DEACTIVATE]");
const QLatin1String kComSettings("[COMSETTINGS=");

/// Selects the entry of `list` whose text is `value`; any other value leaves
/// the list as it is.
void selectIfListed(core::Control &list, const QStringList &entries, const QString &value)
{
    if (const auto position = entries.indexOf(value); position >= 0)
        (void)list.select(static_cast<int>(position));
}

/// The parity list's position of a word or its letter, in list order; -1
/// for anything else.
int parityPosition(const QString &word)
{
    static const QLatin1String kWords[][2] = {
        {QLatin1String("NONE"), QLatin1String("N")},  {QLatin1String("EVEN"), QLatin1String("E")},
        {QLatin1String("ODD"), QLatin1String("O")},   {QLatin1String("MARK"), QLatin1String("M")},
        {QLatin1String("SPACE"), QLatin1String("S")},
    };
    for (std::size_t position = 0; position < std::size(kWords); ++position) {
        if (word == kWords[position][0] || word == kWords[position][1])
            return static_cast<int>(position);
    }
    return -1;
}

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
    selectSerialSettings(text.mid(kComSettings.size()));
    // A closed device (or a virtual port, which has no line settings) takes
    // the lists again when it is next opened.
    if (serial().applyLineSettings())
        return true;
    selectLinePositions(m_window, before);
    return false;
}

// Each field counts only when a comma follows it, except the stop bits, and
// a value that is not offered leaves its list alone. Only the parity word is
// taken as it stands, so ", E" is no parity.
void Session::selectSerialSettings(QString fields)
{
    fields.remove(QLatin1Char(']'));
    qsizetype comma = fields.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    const int baud = core::roundHalfEven(core::numericValue(fields.left(comma)));
    selectIfListed(m_window.baudRate, baudRateList(), QString::number(baud));
    fields = fields.mid(comma + 1);

    comma = fields.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    if (const int parity = parityPosition(fields.left(comma)); parity >= 0)
        (void)m_window.parity.select(parity);
    fields = fields.mid(comma + 1);

    comma = fields.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    selectIfListed(m_window.dataBits, dataBitsList(), fields.left(comma).trimmed());
    fields = fields.mid(comma + 1).trimmed();

    if (!fields.isEmpty())
        selectIfListed(m_window.stopBits, stopBitsList(), fields);
}

} // namespace pvx::session
