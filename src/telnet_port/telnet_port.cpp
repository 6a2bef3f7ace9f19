#include "telnet_port/telnet_port.h"

namespace pvx::telnet_port {

namespace {

/// Turns the reader's commands into replies and events for one chunk.
class Collector final : public TelnetReader::Handler {
public:
    Collector(TelnetInput &input, OptionNegotiation &options, Role role)
        : m_input(input)
        , m_options(options)
        , m_role(role)
    {
    }

    void negotiation(quint8 verb, quint8 option) override
    {
        if (const auto comPort = m_options.receive(verb, option, m_input.reply))
            add(ComPortOptionChanged{*comPort});
    }

    void subnegotiation(QByteArrayView body) override
    {
        // Other options' subnegotiations carry nothing for a serial line.
        if (static_cast<quint8>(body.front()) != option::kComPort)
            return;
        if (m_options.comPortUsed())
            add(ComPortOptionChanged{true});
        if (auto message = decodeComPort(body.sliced(1), m_role))
            add(std::move(*message));
        else
            add(SubnegotiationDropped{DropReason::NotUnderstood});
    }

    void subnegotiationDropped(DropReason reason) override { add(SubnegotiationDropped{reason}); }

private:
    template <typename What>
    void add(What what)
    {
        m_input.events.push_back({m_input.data.size(), std::move(what)});
    }

    TelnetInput &m_input;
    OptionNegotiation &m_options;
    Role m_role;
};

} // namespace

TelnetPort::TelnetPort(Role role)
    : m_role(role)
    , m_options(role)
{
}

QByteArray TelnetPort::start()
{
    return m_options.offers();
}

TelnetInput TelnetPort::receive(const QByteArray &wire)
{
    TelnetInput input;
    Collector collector(input, m_options, m_role);
    m_reader.read(wire, input.data, collector);
    return input;
}

} // namespace pvx::telnet_port
