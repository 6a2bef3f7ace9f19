#include "telnet_port/telnet_reader.h"

#include "telnet_port/telnet_codes.h"

#include <cstring>

namespace pvx::telnet_port {

void TelnetReader::read(const QByteArray &wire, QByteArray &data, Handler &handler)
{
    const char *at = wire.constData();
    const char *const end = at + wire.size();
    if (m_state == State::Data && data.isEmpty()
        && std::memchr(at, code::kIac, static_cast<std::size_t>(wire.size())) == nullptr) {
        data = wire;
        return;
    }
    data.reserve(data.size() + wire.size());
    while (at < end) {
        if (m_state == State::Data) {
            const auto *iac = static_cast<const char *>(
                std::memchr(at, code::kIac, static_cast<std::size_t>(end - at)));
            const char *stop = iac != nullptr ? iac : end;
            data.append(at, stop - at);
            if (iac == nullptr)
                return;
            m_state = State::Command;
            at = iac + 1;
            continue;
        }
        const auto byte = static_cast<quint8>(*at++);
        switch (m_state) {
        case State::Data:
            break;
        case State::Command:
            if (byte == code::kIac) {
                data.append(static_cast<char>(code::kIac));
                m_state = State::Data;
            } else {
                command(byte);
            }
            break;
        case State::Option:
            m_state = State::Data;
            handler.negotiation(m_verb, byte);
            break;
        case State::Subnegotiation:
            subnegotiationByte(byte, handler);
            break;
        case State::SubnegotiationCommand:
            subnegotiationCommand(byte, handler);
            break;
        }
    }
}

void TelnetReader::command(quint8 byte)
{
    switch (byte) {
    case code::kWill:
    case code::kWont:
    case code::kDo:
    case code::kDont:
        m_verb = byte;
        m_state = State::Option;
        return;
    case code::kSb:
        m_body.resize(0);
        m_tooLong = false;
        m_state = State::Subnegotiation;
        return;
    default:
        // NOP, GA, a stray SE and the other two-byte commands mean nothing to
        // a serial line.
        m_state = State::Data;
        return;
    }
}

void TelnetReader::subnegotiationByte(quint8 byte, Handler &handler)
{
    if (byte == code::kIac)
        m_state = State::SubnegotiationCommand;
    else
        keep(byte, handler);
}

void TelnetReader::keep(quint8 byte, Handler &handler)
{
    if (m_tooLong)
        return;
    if (m_body.size() == kMaxSubnegotiation) {
        // Keep reading to its end so that its value is not taken for data.
        m_tooLong = true;
        m_body.resize(0);
        handler.subnegotiationDropped(DropReason::TooLong);
        return;
    }
    m_body.append(static_cast<char>(byte));
}

void TelnetReader::subnegotiationCommand(quint8 byte, Handler &handler)
{
    if (byte == code::kIac) {
        m_state = State::Subnegotiation;
        keep(byte, handler);
        return;
    }
    const bool complete = byte == code::kSe && !m_body.isEmpty();
    const bool tooLong = m_tooLong;
    m_state = State::Data;
    m_tooLong = false;
    if (complete)
        handler.subnegotiation(m_body);
    else if (!tooLong)
        handler.subnegotiationDropped(DropReason::Interrupted);
    m_body.resize(0);
    // A command other than SE ends a broken subnegotiation and counts itself.
    if (byte != code::kSe)
        command(byte);
}

} // namespace pvx::telnet_port
