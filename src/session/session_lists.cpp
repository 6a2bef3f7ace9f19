#include "session/session_lists.h"


#include "resources/string_ids.h"
namespace pvx::session {

using resources::StringId;

namespace {

QStringList fromLatin1(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list.append(QLatin1String(text));
    return list;
}

} // namespace

QString connectorName(int number)
{
    return QStringLiteral("COM") + QString::number(number);
}

QStringList connectorList(const resources::StringTable &strings)
{
    // Every session window lists the same names: a thousand sessions share
    // one copy instead of holding 70 KB each.
    static QStringList shared;
    const QString none = strings.text(StringId::ParityNone);
    if (shared.isEmpty() || shared.constFirst() != none) {
        shared = QStringList{none};
        for (int n = 1; n <= kMaxConnector; ++n)
            shared.append(connectorName(n));
    }
    return shared;
}

// The fixed lists below are built once: every session window shares them.

QStringList baudRateList()
{
    static const QStringList shared = fromLatin1({"110", "300", "600", "1200", "2400", "4800", "9600", "14400",
                                                  "19200", "28800", "38400", "57600", "115200", "230400", "460800",
                                                  "921600"});
    return shared;
}

QStringList parityList(const resources::StringTable &strings)
{
    // Even before Odd, matching the parity letters "NEOMS".
    return {strings.text(StringId::ParityNone), strings.text(StringId::ParityEven), strings.text(StringId::ParityOdd), strings.text(StringId::ParityMark),
            strings.text(StringId::ParitySpace)};
}

QStringList dataBitsList()
{
    static const QStringList shared = fromLatin1({"5", "6", "7", "8"});
    return shared;
}

QStringList stopBitsList()
{
    static const QStringList shared = fromLatin1({"1", "1.5", "2"});
    return shared;
}

QStringList flowControlList(const resources::StringTable &strings)
{
    return {strings.text(StringId::FlowNone), strings.text(StringId::FlowXonXoff), strings.text(StringId::FlowHardware), strings.text(StringId::FlowOptoRs)};
}

QStringList bufferSizeList()
{
    static const QStringList shared =
        fromLatin1({"1024", "4096", "8192", "16384", "32768", "65536", "131072", "262144", "524288", "1048576",
                    "2097152", "4194304", "8388608", "16777216", "33554432", "67108864"});
    return shared;
}

} // namespace pvx::session
