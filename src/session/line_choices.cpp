#include "session/line_choices.h"

#include "session/flow_limits.h"
#include "session/session_lists.h"
#include "session/session_window.h"

namespace pvx::session {

namespace {

enum LineList {
    kBaudList = 0,
    kParityList = 1,
    kDataBitsList = 2,
    kStopBitsList = 3,
    kFlowList = 4,
};

const core::Control &list(const SessionWindow &window, LineList which)
{
    return *window.serialLists()[static_cast<std::size_t>(which)];
}

core::Control &list(SessionWindow &window, LineList which)
{
    return *window.serialLists()[static_cast<std::size_t>(which)];
}

/// The number a numeric list shows; 0 without a choice.
int listedNumber(const core::Control &control)
{
    return control.selectedIndex() < 0 ? 0 : control.text().toInt();
}

/// The position of a list whose entries are its positions' values.
template <typename Value>
Value listedValue(const core::Control &control)
{
    return static_cast<Value>(std::max(0, control.selectedIndex()));
}

bool selectNumber(core::Control &control, const QStringList &entries, int number)
{
    const auto position = entries.indexOf(QString::number(number));
    return position >= 0 && control.select(static_cast<int>(position));
}

platform::Error unchosen(const char *what, const core::Control &control)
{
    return platform::makeError(platform::ErrorCode::InvalidArgument,
                               QStringLiteral("Invalid %1 \"%2\"").arg(QLatin1String(what), control.text()));
}

} // namespace

platform::Handshaking handshakingOf(FlowControl flowControl)
{
    switch (flowControl) {
    case FlowControl::None:
        return platform::Handshaking::None;
    case FlowControl::XonXoff:
        return platform::Handshaking::XonXoff;
    case FlowControl::Hardware:
    case FlowControl::OptoRs:
        break;
    }
    return platform::Handshaking::RtsCts;
}

LineChoices lineChoices(const SessionWindow &window)
{
    return {
        .baudRate = listedNumber(list(window, kBaudList)),
        .parity = listedValue<platform::Parity>(list(window, kParityList)),
        .dataBits = listedNumber(list(window, kDataBitsList)),
        .stopBits = listedValue<platform::StopBits>(list(window, kStopBitsList)),
        .flowControl = window.selectedFlowControl(),
    };
}

bool selectLineChoices(SessionWindow &window, const LineChoices &choices)
{
    // Only what differs is selected: a list without a choice keeps none
    // unless that value is asked for.
    const LineChoices now = lineChoices(window);
    bool changed = false;
    if (choices.baudRate != now.baudRate)
        changed |= selectNumber(list(window, kBaudList), baudRateList(), choices.baudRate);
    if (choices.parity != now.parity)
        changed |= list(window, kParityList).select(static_cast<int>(choices.parity));
    if (choices.dataBits != now.dataBits)
        changed |= selectNumber(list(window, kDataBitsList), dataBitsList(), choices.dataBits);
    if (choices.stopBits != now.stopBits)
        changed |= list(window, kStopBitsList).select(static_cast<int>(choices.stopBits));
    if (choices.flowControl != now.flowControl)
        changed |= list(window, kFlowList).select(static_cast<int>(choices.flowControl));
    return changed;
}

platform::Result<platform::SerialSettings> lineSettings(const SessionWindow &window)
{
    const struct {
        LineList which;
        const char *what;
    } needed[] = {{kBaudList, "baud rate"}, {kParityList, "parity"}, {kDataBitsList, "data bits"},
                  {kStopBitsList, "stop bits"}};
    for (const auto &[which, what] : needed) {
        if (list(window, which).selectedIndex() < 0)
            return unchosen(what, list(window, which));
    }
    const LineChoices choices = lineChoices(window);
    return platform::SerialSettings{
        .baudRate = choices.baudRate,
        .parity = choices.parity,
        .dataBits = choices.dataBits,
        .stopBits = choices.stopBits,
        .handshaking = handshakingOf(choices.flowControl),
        // Opto-RS is hardware handshaking with the line setting off.
        .dtr = choices.flowControl != FlowControl::OptoRs,
        .driverBufferSize = kDriverBufferSize,
    };
}

LinePositions linePositions(const SessionWindow &window)
{
    LinePositions positions{};
    for (std::size_t at = 0; at < positions.size(); ++at)
        positions[at] = window.serialLists()[at]->selectedIndex();
    return positions;
}

void selectLinePositions(SessionWindow &window, const LinePositions &positions)
{
    for (std::size_t at = 0; at < positions.size(); ++at)
        (void)window.serialLists()[at]->select(positions[at]);
}

} // namespace pvx::session
