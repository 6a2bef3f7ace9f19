#include "telnet_wire.h"

#include <gtest/gtest.h>

#include <utility>

using namespace pvx::testing;

namespace {

const QByteArray kCommonOffers = wire({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3});

struct NegotiationCase {
    const char *name;
    Role role;
    bool started; ///< start() was sent before the peer spoke
    QByteArray fromPeer;
    QByteArray reply;
    std::vector<std::string> events;
    bool comPortEnabled;
};

const std::vector<NegotiationCase> &negotiationCases()
{
    static const std::vector<NegotiationCase> cases{
        {"the server's offers are agreed", Role::Server, true,
         wire({IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3, IAC, WILL, COM}), {}, {"@0 option on"}, true},
        {"the client's offers are agreed", Role::Client, true, wire({IAC, WILL, 0, IAC, DO, 0, IAC, DO, COM}), {},
         {"@0 option on"}, true},
        {"repeats of an agreement get no answer", Role::Server, true,
         wire({IAC, WILL, COM, IAC, WILL, COM, IAC, DO, 0, IAC, DO, 0, IAC, WILL, 0, IAC, WILL, 0}), {},
         {"@0 option on"}, true},
        {"a client refusing the option", Role::Server, true, wire({IAC, WONT, COM, IAC, WONT, COM}), {},
         {"@0 option off"}, false},
        {"a server refusing the option", Role::Client, true, wire({IAC, DONT, COM, IAC, DONT, COM}), {},
         {"@0 option off"}, false},
        {"a refused option agreed later", Role::Client, true, wire({IAC, DONT, COM, IAC, DO, COM}),
         wire({IAC, WILL, COM}), {"@0 option off", "@0 option on"}, true},
        {"a withdrawn option is acknowledged once", Role::Server, true,
         wire({IAC, WILL, COM, IAC, WONT, COM, IAC, WONT, COM}), wire({IAC, DONT, COM}),
         {"@0 option on", "@0 option off"}, false},
        {"a withdrawn BINARY is acknowledged once", Role::Client, true,
         wire({IAC, DO, 0, IAC, DONT, 0, IAC, DONT, 0, IAC, WILL, 0, IAC, WONT, 0}),
         wire({IAC, WONT, 0, IAC, DONT, 0}), {}, false},
        {"BINARY and SGA asked by the peer first", Role::Server, false,
         wire({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 0}),
         wire({IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3}), {}, false},
        {"a client agrees to a server's request", Role::Client, false, wire({IAC, DO, COM}), wire({IAC, WILL, COM}),
         {"@0 option on"}, true},
        {"a server never performs the option", Role::Server, true, wire({IAC, DO, COM, IAC, DO, COM}),
         wire({IAC, WONT, COM, IAC, WONT, COM}), {}, false},
        {"a client never asks the server's side of it", Role::Client, true, wire({IAC, WILL, COM}),
         wire({IAC, DONT, COM}), {}, false},
        {"a client that uses the option asked of it without its WILL", Role::Server, true,
         wire({IAC, DO, COM, IAC, SB, COM, 7, IAC, SE}), wire({IAC, WONT, COM}), {"@0 option on", "@0 com 7 0"}, true},
        {"a server that answers without its DO", Role::Client, true,
         wire({IAC, SB, COM, 101, 0, 0, 0x25, 0x80, IAC, SE}), {}, {"@0 option on", "@0 com 1 9600"}, true},
        {"a message unasked for settles nothing", Role::Server, false, wire({IAC, SB, COM, 7, IAC, SE}), {},
         {"@0 com 7 0"}, false},
        {"nor does one after a refusal", Role::Server, true, wire({IAC, WONT, COM, IAC, SB, COM, 7, IAC, SE}), {},
         {"@0 option off", "@0 com 7 0"}, false},
        {"unknown options are refused each time asked", Role::Server, true,
         wire({IAC, WILL, 1, IAC, WILL, 1, IAC, DO, 24, IAC, DO, 255}),
         wire({IAC, DONT, 1, IAC, DONT, 1, IAC, WONT, 24, IAC, WONT, 255}), {}, false},
        {"refusals of unknown options get no answer", Role::Client, true,
         wire({IAC, WONT, 1, IAC, DONT, 1, IAC, WONT, 200}), {}, {}, false},
    };
    return cases;
}

} // namespace

TEST(TelnetPortNegotiation, OpensWithBinarySgaAndTheRolesSideOfTheOption)
{
    for (const Role role : {Role::Client, Role::Server}) {
        TelnetPort port(role);
        EXPECT_EQ(port.start(), kCommonOffers + wire({IAC, role == Role::Client ? WILL : DO, COM}));
        EXPECT_EQ(port.start(), QByteArray()) << "offers are made once";
        EXPECT_FALSE(port.comPortEnabled());
    }
}

TEST(TelnetPortNegotiation, AnswersOnlyWhatChangesAState)
{
    for (const NegotiationCase &c : negotiationCases()) {
        SCOPED_TRACE(c.name);
        for (qsizetype cut = 0; cut < c.fromPeer.size(); ++cut) {
            SCOPED_TRACE(cut);
            TelnetPort port(c.role);
            if (c.started)
                (void)port.start();
            const std::vector<qsizetype> cuts = cut > 0 ? std::vector<qsizetype>{cut} : std::vector<qsizetype>{};
            ASSERT_EQ(receiveInPieces(port, c.fromPeer, cuts), (Received{{}, c.reply, c.events}));
            ASSERT_EQ(port.comPortEnabled(), c.comPortEnabled);
        }
    }
}

TEST(TelnetPortNegotiation, TwoPortsSettleAndFallQuiet)
{
    const struct {
        bool serverStarts;
        bool clientStarts;
    } cases[]{{true, true}, {true, false}, {false, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "server starts " << c.serverStarts << ", client starts " << c.clientStarts);
        TelnetPort server(Role::Server);
        TelnetPort client(Role::Client);
        QByteArray toClient = c.serverStarts ? server.start() : QByteArray();
        QByteArray toServer = c.clientStarts ? client.start() : QByteArray();
        for (int rounds = 0; !toClient.isEmpty() || !toServer.isEmpty(); ++rounds) {
            ASSERT_LT(rounds, 3) << "the negotiation keeps going";
            const QByteArray nextToServer = client.receive(std::exchange(toClient, {})).reply;
            toClient = server.receive(std::exchange(toServer, {})).reply;
            toServer = nextToServer;
        }
        EXPECT_TRUE(server.comPortEnabled());
        EXPECT_TRUE(client.comPortEnabled());
    }
}
