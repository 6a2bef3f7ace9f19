// The serial settings a "[COMSETTINGS=...]" command names.
#include "session/settings_command.h"

#include "core/numeric_text.h"
#include "session/session_lists.h"
#include "session/session_window.h"

#include <iterator>

namespace pvx::session {

namespace {

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

// Each field counts only when a comma follows it, except the stop bits, and
// a value that is not offered leaves its list alone. Only the parity word is
// taken as it stands, so ", E" is no parity.
void selectCommandedSettings(SessionWindow &window, QString fields)
{
    fields.remove(QLatin1Char(']'));
    qsizetype comma = fields.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    const int baud = core::roundHalfEven(core::numericValue(fields.left(comma)));
    selectIfListed(window.baudRate, baudRateList(), QString::number(baud));
    fields = fields.mid(comma + 1);

    comma = fields.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    if (const int parity = parityPosition(fields.left(comma)); parity >= 0)
        (void)window.parity.select(parity);
    fields = fields.mid(comma + 1);

    comma = fields.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    selectIfListed(window.dataBits, dataBitsList(), fields.left(comma).trimmed());
    fields = fields.mid(comma + 1).trimmed();

    if (!fields.isEmpty())
        selectIfListed(window.stopBits, stopBitsList(), fields);
}

} // namespace pvx::session
