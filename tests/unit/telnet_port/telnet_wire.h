#pragma once

#include "telnet_port/telnet_port.h"

#include <QByteArray>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace pvx::testing {

using namespace pvx::telnet_port;

inline constexpr int IAC = code::kIac;
inline constexpr int SB = code::kSb;
inline constexpr int SE = code::kSe;
inline constexpr int WILL = code::kWill;
inline constexpr int WONT = code::kWont;
inline constexpr int DO = code::kDo;
inline constexpr int DONT = code::kDont;
inline constexpr int NOP = 241;
inline constexpr int GA = 249;
inline constexpr int COM = option::kComPort;

/// Bytes written as numbers, so that a table shows every byte on the wire.
inline QByteArray wire(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (const int byte : bytes)
        out.append(static_cast<char>(byte));
    return out;
}

/// One line per event, short enough to write in a table:
/// "@2 com 1 57600", "@0 com 0 0 'text'", "@0 option on", "@5 drop too long".
inline std::string describe(const TelnetEvent &event)
{
    std::string text = '@' + std::to_string(event.dataOffset) + ' ';
    if (const auto *message = std::get_if<ComPortMessage>(&event.what)) {
        text += "com " + std::to_string(static_cast<int>(message->command)) + ' ' + std::to_string(message->value);
        if (!message->text.isEmpty())
            text += " '" + message->text.toStdString() + '\'';
    } else if (const auto *option = std::get_if<ComPortOptionChanged>(&event.what)) {
        text += option->enabled ? "option on" : "option off";
    } else {
        switch (std::get<SubnegotiationDropped>(event.what).reason) {
        case DropReason::TooLong:
            text += "drop too long";
            break;
        case DropReason::Interrupted:
            text += "drop interrupted";
            break;
        case DropReason::NotUnderstood:
            text += "drop not understood";
            break;
        }
    }
    return text;
}

/// Everything a port produced over several chunks, merged as one chunk would
/// have given it.
struct Received {
    QByteArray data;
    QByteArray reply;
    std::vector<std::string> events;

    void add(const TelnetInput &input)
    {
        for (TelnetEvent event : input.events) {
            event.dataOffset += data.size();
            events.push_back(describe(event));
        }
        data += input.data;
        reply += input.reply;
    }

    friend bool operator==(const Received &, const Received &) = default;
};

inline void PrintTo(const Received &received, std::ostream *out)
{
    *out << "data [" << received.data.toHex(' ').toStdString() << "] reply ["
         << received.reply.toHex(' ').toStdString() << "] events";
    for (const std::string &event : received.events)
        *out << " (" << event << ')';
}

/// Feeds `bytes` to `port` cut at the positions `cuts` (ascending).
inline Received receiveInPieces(TelnetPort &port, const QByteArray &bytes, const std::vector<qsizetype> &cuts)
{
    Received received;
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        received.add(port.receive(bytes.mid(from, cut - from)));
        from = cut;
    }
    received.add(port.receive(bytes.mid(from)));
    return received;
}

} // namespace pvx::testing
