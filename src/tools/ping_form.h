#pragma once

#include "core/control.h"
#include "tools/tool_window.h"

namespace pvx::platform {
class Dialogs;
class HostResolver;
class IcmpEcho;
}
namespace pvx::resources {
class StringTable;
}

namespace pvx::tools {

struct EchoReply;

/// "Ping IP Address" (frmPing): pings one computer, by address or host
/// name, with echo data of the user's choice and shows every field of the
/// reply. The name look-up and the echo run in the background; meanwhile
/// Ping is disabled.
class PingForm : public ToolWindow {
    Q_OBJECT
public:
    /// Loads the window: texts from `strings`, an empty address and the data
    /// "Testing 123". `pingTimeout` is the global list position of the echo
    /// time-out.
    PingForm(const resources::StringTable &strings, platform::Dialogs &dialogs, platform::HostResolver &resolver,
             platform::IcmpEcho &echo, int pingTimeout);
    ~PingForm() override;

    core::Control addressLabel;
    core::Control address;
    core::Control echoDataLabel;
    core::Control echoData;
    core::Control pingButton;
    core::Control cancelButton;
    core::Control resultsFrame;
    /// The captions of the five result fields.
    core::Control replyStatusLabel;
    core::Control replyAddressLabel;
    core::Control roundTripTimeLabel;
    core::Control replySizeLabel;
    core::Control replyDataLabel;
    /// The result fields: status, address, round trip, data size, data.
    core::Control replyStatus;
    core::Control replyAddress;
    core::Control roundTripTime;
    core::Control replySize;
    core::Control replyData;

    /// Ping: an empty address is refused with a message; otherwise the
    /// results are cleared and the address looked up and pinged.
    void onPingClicked();
    /// Cancel: closes the window.
    void onCancelClicked() { unload(); }

signals:
    /// The address field should take the focus.
    void addressFocusRequested();

protected:
    void dropPending() override;

private:
    void addressFound(const QString &found);
    void showReply(const EchoReply &reply);

    const resources::StringTable &m_strings;
    platform::Dialogs &m_dialogs;
    platform::HostResolver &m_resolver;
    platform::IcmpEcho &m_echo;
    int m_pingTimeout;
    int m_lookup = 0;
    int m_request = 0;
};

} // namespace pvx::tools
