#include "telnet_port/com_port_message.h"

#include "telnet_port/iac_doubling.h"

#include <cassert>

namespace pvx::telnet_port {

namespace {

constexpr quint8 kLastCommand = static_cast<quint8>(ComPortCommand::PurgeData);

/// How many value bytes a command carries; -1 for any number (a text).
qsizetype valueLength(ComPortCommand command)
{
    switch (command) {
    case ComPortCommand::Signature:
        return -1;
    case ComPortCommand::SetBaudRate:
        return 4;
    case ComPortCommand::FlowControlSuspend:
    case ComPortCommand::FlowControlResume:
        return 0;
    default:
        return 1;
    }
}

/// Whether a value of `size` bytes fits `command` as `receiver` gets it.
bool valueFits(ComPortCommand command, qsizetype size, Role receiver)
{
    // A client asks for the modem state by sending its notification empty.
    if (receiver == Role::Server && command == ComPortCommand::NotifyModemState && size == 0)
        return true;
    return size == valueLength(command);
}

QByteArray valueBytes(const ComPortMessage &message)
{
    switch (valueLength(message.command)) {
    case -1:
        return message.text;
    case 4: {
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<char>((message.value >> (8 * (3 - i))) & 0xFF);
        return bytes;
    }
    case 0:
        return {};
    default:
        assert(message.value <= 0xFF);
        return QByteArray(1, static_cast<char>(message.value));
    }
}

} // namespace

QByteArray encodeComPort(const ComPortMessage &message, Role sender)
{
    const auto command = static_cast<quint8>(message.command);
    const auto wireCode = static_cast<quint8>(sender == Role::Server ? command + kServerOffset : command);
    QByteArray wire;
    wire.append(static_cast<char>(code::kIac)).append(static_cast<char>(code::kSb));
    wire.append(static_cast<char>(option::kComPort)).append(static_cast<char>(wireCode));
    wire.append(doubleIac(valueBytes(message)));
    wire.append(static_cast<char>(code::kIac)).append(static_cast<char>(code::kSe));
    return wire;
}

std::optional<ComPortMessage> decodeComPort(QByteArrayView body, Role receiver)
{
    if (body.isEmpty())
        return std::nullopt;
    const auto wireCode = static_cast<quint8>(body.front());
    // A server hears the client's codes, a client the server's.
    const quint8 offset = receiver == Role::Client ? kServerOffset : 0;
    if (wireCode < offset || wireCode - offset > kLastCommand)
        return std::nullopt;

    ComPortMessage message;
    message.command = static_cast<ComPortCommand>(wireCode - offset);
    const QByteArrayView value = body.sliced(1);
    const qsizetype length = valueLength(message.command);
    if (length == -1) {
        message.text = value.toByteArray();
        return message;
    }
    if (!valueFits(message.command, value.size(), receiver))
        return std::nullopt;
    for (const char byte : value)
        message.value = (message.value << 8) | static_cast<quint8>(byte);
    return message;
}

} // namespace pvx::telnet_port
