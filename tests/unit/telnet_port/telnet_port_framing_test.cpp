#include "telnet_wire.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace pvx::testing;

namespace {

struct FramingCase {
    const char *name;
    Role role;
    QByteArray bytes;
    Received expected;
};

/// A SIGNATURE subnegotiation whose body (option byte included) is `bodySize` long.
QByteArray signatureOfBody(qsizetype bodySize)
{
    return wire({IAC, SB, COM, 0}) + QByteArray(bodySize - 2, 's') + wire({IAC, SE});
}

const std::vector<FramingCase> &framingCases()
{
    static const std::vector<FramingCase> cases{
        {"plain data", Role::Server, "hello", {"hello", {}, {}}},
        {"doubled 0xFF is one data byte", Role::Server, wire({'a', IAC, IAC, 'b', IAC, IAC}),
         {wire({'a', 0xFF, 'b', 0xFF}), {}, {}}},
        {"CR NUL and CR LF pass unchanged", Role::Client, wire({'\r', 0, '\r', '\n', 0}),
         {wire({'\r', 0, '\r', '\n', 0}), {}, {}}},
        {"NOP, GA and a stray SE are left out", Role::Server, wire({'a', IAC, NOP, 'b', IAC, GA, IAC, SE, 'c'}),
         {"abc", {}, {}}},
        {"other options' subnegotiations are skipped", Role::Server, wire({'a', IAC, SB, 24, 1, 'x', IAC, SE, 'b'}),
         {"ab", {}, {}}},
        {"a request between data keeps its place", Role::Server,
         wire({'a', 'b', IAC, SB, COM, 1, 0, 0, 0xE1, 0, IAC, SE, 'c'}), {"abc", {}, {"@2 com 1 57600"}}},
        {"0xFF doubled inside a value", Role::Server, wire({IAC, SB, COM, 1, 0, 0, 0, IAC, IAC, IAC, SE}),
         {{}, {}, {"@0 com 1 255"}}},
        {"0xFF doubled inside a text", Role::Client, wire({IAC, SB, COM, 100, 'P', IAC, IAC, 'x', IAC, SE}),
         {{}, {}, {"@0 com 0 0 'P\xFFx'"}}},
        {"answers arrive with the server's codes", Role::Client,
         wire({IAC, SB, COM, 103, 1, IAC, SE, IAC, SB, COM, 107, 0x30, IAC, SE}),
         {{}, {}, {"@0 com 3 1", "@0 com 7 48"}}},
        {"a body of 64 bytes is kept", Role::Server, signatureOfBody(64) + "x",
         {"x", {}, {"@0 com 0 0 '" + std::string(62, 's') + "'"}}},
        {"a body of 65 bytes is dropped, reported once", Role::Server, signatureOfBody(65) + "x",
         {"x", {}, {"@0 drop too long"}}},
        {"an endless subnegotiation swallows no data after its end", Role::Server,
         "a" + wire({IAC, SB, COM, 5}) + QByteArray(1000, 5) + wire({IAC, IAC, IAC, SE}) + "z",
         {"az", {}, {"@1 drop too long"}}},
        {"a command cuts a subnegotiation short and still counts", Role::Server,
         wire({IAC, SB, COM, 5, IAC, WILL, 0, 'a'}), {"a", wire({IAC, DO, 0}), {"@0 drop interrupted"}}},
        {"an empty subnegotiation", Role::Server, wire({IAC, SB, IAC, SE, 'a'}), {"a", {}, {"@0 drop interrupted"}}},
        {"values of the wrong length", Role::Server,
         wire({IAC, SB, COM, 1, 0, 1, 0, IAC, SE, IAC, SB, COM, 3, 1, 1, IAC, SE, IAC, SB, COM, 8, 0, IAC, SE}),
         {{}, {}, {"@0 drop not understood", "@0 drop not understood", "@0 drop not understood"}}},
        {"a client's empty modem state is its poll", Role::Server, wire({IAC, SB, COM, 7, IAC, SE}),
         {{}, {}, {"@0 com 7 0"}}},
        {"a server's empty modem state is not", Role::Client, wire({IAC, SB, COM, 107, IAC, SE}),
         {{}, {}, {"@0 drop not understood"}}},
        {"a server code sent to a server", Role::Server, wire({IAC, SB, COM, 101, 0, 0, 0, 1, IAC, SE}),
         {{}, {}, {"@0 drop not understood"}}},
        {"a client code sent to a client", Role::Client, wire({IAC, SB, COM, 3, 1, IAC, SE}),
         {{}, {}, {"@0 drop not understood"}}},
        {"an unknown command", Role::Server, wire({IAC, SB, COM, 13, 1, IAC, SE}), {{}, {}, {"@0 drop not understood"}}},
        {"a command without its code", Role::Server, wire({IAC, SB, COM, IAC, SE}), {{}, {}, {"@0 drop not understood"}}},
        {"refusals and data interleaved", Role::Client, wire({'a', IAC, WILL, 99, 'b', IAC, DO, 98, 'c'}),
         {"abc", wire({IAC, DONT, 99, IAC, WONT, 98}), {}}},
    };
    return cases;
}

} // namespace

TEST(TelnetPortFraming, ReadsEachSequenceWhole)
{
    for (const FramingCase &c : framingCases()) {
        SCOPED_TRACE(c.name);
        TelnetPort port(c.role);
        EXPECT_EQ(receiveInPieces(port, c.bytes, {}), c.expected);
    }
}

TEST(TelnetPortFraming, ReadsTheSameWhereverTheChunksAreCut)
{
    for (const FramingCase &c : framingCases()) {
        SCOPED_TRACE(c.name);
        for (qsizetype cut = 1; cut < c.bytes.size(); ++cut) {
            SCOPED_TRACE(cut);
            TelnetPort port(c.role);
            ASSERT_EQ(receiveInPieces(port, c.bytes, {cut}), c.expected);
        }
        std::vector<qsizetype> everyByte;
        for (qsizetype cut = 1; cut < c.bytes.size(); ++cut)
            everyByte.push_back(cut);
        TelnetPort port(c.role);
        EXPECT_EQ(receiveInPieces(port, c.bytes, everyByte), c.expected);
    }
}

TEST(TelnetPortFraming, ATruncatedSubnegotiationWaitsAndHoldsNoDataBack)
{
    TelnetPort port(Role::Server);
    const TelnetInput head = port.receive(wire({'a', IAC, SB, COM, 1, 0, 0}));
    EXPECT_EQ(head.data, "a");
    EXPECT_TRUE(head.events.empty());
    Received rest;
    rest.add(port.receive(wire({0x4B, 0, IAC})));
    rest.add(port.receive(wire({SE, 'b'})));
    EXPECT_EQ(rest, (Received{"b", {}, {"@0 com 1 19200"}}));
}

TEST(TelnetPortFraming, DataWithout0xFFIsNeitherCopiedNorChanged)
{
    const QByteArray payload = "a plain chunk\r\n";
    TelnetPort port(Role::Server);
    EXPECT_EQ(port.receive(payload).data.constData(), payload.constData());
    EXPECT_EQ(doubleIac(payload).constData(), payload.constData());
}

TEST(TelnetPortFraming, DoublesEvery0xFFGoingOut)
{
    const QByteArray payload = wire({0xFF, 'a', 0xFF, 0xFF, '\r', 0, 0xFE, 0xFF});
    const QByteArray onWire = doubleIac(payload);
    EXPECT_EQ(onWire, wire({IAC, IAC, 'a', IAC, IAC, IAC, IAC, '\r', 0, 0xFE, IAC, IAC}));
    EXPECT_EQ(TelnetPort(Role::Client).receive(onWire).data, payload);
}

TEST(TelnetPortFraming, AnyStreamReadsTheSameInRandomPieces)
{
    // Bytes drawn mostly from the command language, so that every state meets every byte.
    const std::array<int, 12> alphabet{IAC, IAC, IAC, SB, SE, WILL, DO, COM, 0, 1, 5, 'x'};
    std::mt19937 random(2217);
    for (int round = 0; round < 200; ++round) {
        QByteArray stream;
        for (int i = 0; i < 300; ++i)
            stream.append(static_cast<char>(alphabet[random() % alphabet.size()]));
        std::vector<qsizetype> cuts;
        for (qsizetype at = 1; at < stream.size(); at += 1 + static_cast<qsizetype>(random() % 40))
            cuts.push_back(at);
        for (const Role role : {Role::Client, Role::Server}) {
            TelnetPort whole(role);
            TelnetPort pieces(role);
            ASSERT_EQ(receiveInPieces(pieces, stream, cuts), receiveInPieces(whole, stream, {})) << stream.toHex().toStdString();
        }
    }
}
