#include "shell/session_profile.h"

#include "core/ini_document.h"
#include "core/numeric_text.h"
#include "session/session_lists.h"
#include "session/session_window.h"

#include <cmath>

namespace pvx::shell {

namespace {

/// One session section, read or written by key name.
class Section {
public:
    explicit Section(int number) : m_name(sessionSection(number)) {}

    int readInt(const core::IniDocument &document, const char *key, int defaultValue) const
    {
        return document.readInt(m_name, QLatin1String(key), defaultValue);
    }
    QString readString(const core::IniDocument &document, const char *key, const QString &defaultValue = {}) const
    {
        return document.readString(m_name, QLatin1String(key), defaultValue);
    }
    void write(core::IniDocument &document, const char *key, const QString &value) const
    {
        document.writeString(m_name, QLatin1String(key), value);
    }
    void write(core::IniDocument &document, const char *key, int value) const
    {
        write(document, key, QString::number(value));
    }
    bool has(const core::IniDocument &document, const char *key) const
    {
        return document.keys(m_name).contains(QLatin1String(key), Qt::CaseInsensitive);
    }

private:
    QString m_name;
};

void readFlag(const core::IniDocument &document, const Section &section, const char *key, core::Control &box)
{
    const int value = section.readInt(document, key, 0);
    if (value == 0 || value == 1)
        box.setValue(value);
}

// A key newer than most files is written only once it is used, so a file
// that never had it saves as it did before there was one.
void writeOnceUsed(core::IniDocument &document, const Section &section, const char *key, const QString &value,
                   const QString &unused)
{
    if (value != unused || section.has(document, key))
        section.write(document, key, value);
}

// Only the low 16 bits of a stored option field count.
qint16 low16(int value)
{
    return static_cast<qint16>(static_cast<quint16>(static_cast<unsigned int>(value) & 0xFFFFu));
}

} // namespace

QString sessionSection(int number)
{
    return QStringLiteral("Session") + QString::number(number);
}

int readSessionSection(const core::IniDocument &document, int number, session::SessionWindow &window)
{
    const Section section(number);
    const std::pair<const char *, core::Control *> lists[] = {
        {"Connector", &window.connector},    {"BaudRate", &window.baudRate}, {"Parity", &window.parity},
        {"Databits", &window.dataBits},  {"Stopbits", &window.stopBits}, {"FlowControl", &window.flowControl},
    };
    for (const auto &[key, list] : lists)
        (void)list->select(section.readInt(document, key, 0));
    // Every buffer size must be one of the list's: anything else would make
    // buffers that hold nothing.
    using session::kDefaultBufferSize;
    if (const int size = section.readInt(document, "BufferSize", kDefaultBufferSize);
        size < 0 || !window.bufferSize.select(size))
        (void)window.bufferSize.select(kDefaultBufferSize);
    readFlag(document, section, "BufferSerialData", window.bufferWhileClosed);
    readFlag(document, section, "CreateVirtualPort", window.useVirtualPort);
    readFlag(document, section, "UseUDP", window.useUdp);
    window.localAddress.setText(section.readString(document, "LocalIP"));
    window.remoteHost.setText(section.readString(document, "IPAddress"));
    window.portNumber.setText(section.readString(document, "PortNumber"));

    // Selecting the choice that is already on raises no click, so the role's
    // fields and labels are set explicitly.
    const int role = section.readInt(document, "TCPOption", 0) == 0 ? 0 : 1;
    window.roleButtons()[static_cast<std::size_t>(role)]->setValue(1);
    window.roleButtons()[static_cast<std::size_t>(1 - role)]->setValue(0);
    window.onRoleClicked(role);

    session::SessionOptions &record = window.options;
    record.AllowMultiConnect = low16(section.readInt(document, "AllowMultiConnect", 1));
    record.ServerSerialOptions = low16(section.readInt(document, "ServerSerialOptions", 0));
    record.ServerTCPOptions = low16(section.readInt(document, "ServerTCPOptions", 0));
    record.ClientOptions = low16(section.readInt(document, "ClientOptions", 0));
    record.ConnectOnVirtualOpen = low16(section.readInt(document, "ConnectOnVirtualOpen", 1));
    record.UserPrompt = section.readString(document, "UserPrompt", QStringLiteral("Username:"));
    record.UserPromptResponse = section.readString(document, "UserPromptResponse");
    record.PasswordPrompt = section.readString(document, "PasswordPrompt", QStringLiteral("Password:"));
    record.PasswordPromptResponse = section.readString(document, "PasswordPromptResponse");
    record.Rfc2217 = section.readInt(document, "RFC2217", 0) == 1 ? 1 : 0;
    record.Tls = section.readInt(document, "TLS", 0) == 1 ? 1 : 0;
    record.TlsCertificate = section.readString(document, "TLSCertificate");
    record.TlsKey = section.readString(document, "TLSKey");
    record.TlsTrust = section.readString(document, "TLSTrust");
    const session::SessionOptions defaults;
    const int verifyPeer = section.readInt(document, "TLSVerifyPeer", defaults.TlsVerifyPeer);
    record.TlsVerifyPeer = verifyPeer >= 0 && verifyPeer <= 2 ? static_cast<qint16>(verifyPeer) : defaults.TlsVerifyPeer;
    record.AllowFrom = section.readString(document, "AllowFrom");
    record.TraceFile = section.readString(document, "TraceFile");
    record.TraceBytes = section.readInt(document, "TraceBytes", defaults.TraceBytes) == 0 ? 0 : 1;

    const int autoActivate = section.readInt(document, "AutoActivate", 0);
    readFlag(document, section, "WaitForCr", window.waitForTimeout);
    window.timeoutValue.setText(QString::number(section.readInt(document, "TimeoutValue", 150)));
    const QString description = section.readString(document, "SessionDescription");
    if (!description.isEmpty())
        window.setWindowName(description);
    return autoActivate;
}

void writeSessionSection(core::IniDocument &document, int number, const session::SessionWindow &window,
                         bool active)
{
    const Section section(number);
    section.write(document, "Connector", window.connector.selectedIndex());
    section.write(document, "BaudRate", window.baudRate.selectedIndex());
    section.write(document, "Parity", window.parity.selectedIndex());
    section.write(document, "Databits", window.dataBits.selectedIndex());
    section.write(document, "Stopbits", window.stopBits.selectedIndex());
    section.write(document, "FlowControl", window.flowControl.selectedIndex());
    section.write(document, "BufferSize", window.bufferSize.selectedIndex());
    section.write(document, "CreateVirtualPort", window.useVirtualPort.value());
    section.write(document, "UseUDP", window.useUdp.value());
    section.write(document, "BufferSerialData", window.bufferWhileClosed.value());
    section.write(document, "LocalIP", window.localAddress.text());
    section.write(document, "IPAddress", window.remoteHost.text());
    section.write(document, "PortNumber", window.portNumber.text());
    section.write(document, "TCPOption", window.serverRoleButton.value() != 0 ? 1 : 0);
    section.write(document, "AutoActivate", active ? 1 : 0);
    section.write(document, "WaitForCr", window.waitForTimeout.value());
    section.write(document, "TimeoutValue", timeoutValueText(window.timeoutValue.text()));

    const session::SessionOptions &record = window.options;
    section.write(document, "AllowMultiConnect", record.AllowMultiConnect);
    section.write(document, "ServerSerialOptions", record.ServerSerialOptions);
    section.write(document, "ServerTCPOptions", record.ServerTCPOptions);
    section.write(document, "ClientOptions", record.ClientOptions);
    section.write(document, "ConnectOnVirtualOpen", record.ConnectOnVirtualOpen);
    section.write(document, "UserPrompt", record.UserPrompt);
    section.write(document, "UserPromptResponse", record.UserPromptResponse);
    section.write(document, "PasswordPrompt", record.PasswordPrompt);
    section.write(document, "PasswordPromptResponse", record.PasswordPromptResponse);
    section.write(document, "SessionDescription", window.windowNameButton.tag());
    const session::SessionOptions unused;
    const auto digits = [](qint16 value) { return QString::number(value); };
    const std::pair<const char *, std::pair<QString, QString>> onceUsed[] = {
        {"RFC2217", {digits(record.Rfc2217), digits(unused.Rfc2217)}},
        {"TLS", {digits(record.Tls), digits(unused.Tls)}},
        {"TLSCertificate", {record.TlsCertificate, unused.TlsCertificate}},
        {"TLSKey", {record.TlsKey, unused.TlsKey}},
        {"TLSTrust", {record.TlsTrust, unused.TlsTrust}},
        {"TLSVerifyPeer", {digits(record.TlsVerifyPeer), digits(unused.TlsVerifyPeer)}},
        {"AllowFrom", {record.AllowFrom, unused.AllowFrom}},
        {"TraceFile", {record.TraceFile, unused.TraceFile}},
        {"TraceBytes", {digits(record.TraceBytes), digits(unused.TraceBytes)}},
    };
    for (const auto &[key, values] : onceUsed)
        writeOnceUsed(document, section, key, values.first, values.second);
}

QString timeoutValueText(const QString &text)
{
    const double value = core::numericValue(text);
    // Whole numbers stay plain digits; only a fraction needs more.
    constexpr double kExact = 1e15;
    if (value == std::trunc(value) && std::fabs(value) < kExact)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

} // namespace pvx::shell
