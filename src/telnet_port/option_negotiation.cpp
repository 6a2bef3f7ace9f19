#include "telnet_port/option_negotiation.h"

namespace pvx::telnet_port {

namespace {

void appendCommand(QByteArray &to, quint8 verb, quint8 option)
{
    to.append(static_cast<char>(code::kIac)).append(static_cast<char>(verb)).append(static_cast<char>(option));
}

} // namespace

OptionNegotiation::OptionNegotiation(Role role)
    : m_role(role)
    , m_options{{
          {option::kBinary, true, true},
          {option::kSuppressGoAhead, true, true},
          {option::kComPort, role == Role::Client, role == Role::Server},
      }}
{
}

QByteArray OptionNegotiation::offers()
{
    QByteArray out;
    for (Option &entry : m_options) {
        if (entry.acceptLocal && entry.local == State::No) {
            entry.local = State::WantYes;
            appendCommand(out, code::kWill, entry.code);
        }
        if (entry.acceptRemote && entry.remote == State::No) {
            entry.remote = State::WantYes;
            appendCommand(out, code::kDo, entry.code);
        }
    }
    return out;
}

std::optional<bool> OptionNegotiation::receive(quint8 verb, quint8 option, QByteArray &reply)
{
    // WILL and WONT speak of what the peer performs, DO and DONT of what this
    // side performs; each is answered with the verb of the other pair.
    const bool aboutRemote = verb == code::kWill || verb == code::kWont;
    const bool enable = verb == code::kWill || verb == code::kDo;
    const quint8 agree = aboutRemote ? code::kDo : code::kWill;
    const quint8 refuse = aboutRemote ? code::kDont : code::kWont;

    Option *entry = find(option);
    if (entry == nullptr) {
        if (enable)
            appendCommand(reply, refuse, option);
        return std::nullopt;
    }
    State &state = aboutRemote ? entry->remote : entry->local;
    const bool accepted = aboutRemote ? entry->acceptRemote : entry->acceptLocal;
    const State before = comPortState();

    if (enable) {
        if (state == State::No) {
            appendCommand(reply, accepted ? agree : refuse, option);
            if (accepted)
                state = State::Yes;
        } else {
            state = State::Yes; // an answer to our request, or a repeat
        }
    } else {
        if (state == State::Yes)
            appendCommand(reply, refuse, option);
        state = State::No;
    }

    const State after = comPortState();
    if (after == before)
        return std::nullopt;
    return after == State::Yes;
}

bool OptionNegotiation::comPortEnabled() const
{
    return comPortState() == State::Yes;
}

OptionNegotiation::Option *OptionNegotiation::find(quint8 option)
{
    for (Option &entry : m_options) {
        if (entry.code == option)
            return &entry;
    }
    return nullptr;
}

bool OptionNegotiation::comPortUsed()
{
    State &state = comPortState();
    if (state != State::WantYes)
        return false;
    state = State::Yes;
    return true;
}

OptionNegotiation::State &OptionNegotiation::comPortState()
{
    Option &comPort = m_options.back();
    return m_role == Role::Client ? comPort.local : comPort.remote;
}

OptionNegotiation::State OptionNegotiation::comPortState() const
{
    return const_cast<OptionNegotiation *>(this)->comPortState();
}

} // namespace pvx::telnet_port
