#include "telnet_wire.h"

#include "telnet_port/com_port_values.h"

#include <gtest/gtest.h>

using namespace pvx::testing;
using pvx::platform::Handshaking;
using pvx::platform::Parity;
using pvx::platform::StopBits;
using Command = ComPortCommand;

namespace {

Role peerOf(Role role)
{
    return role == Role::Client ? Role::Server : Role::Client;
}

QByteArray subnegotiation(std::initializer_list<int> body)
{
    return wire({IAC, SB, COM}) + wire(body) + wire({IAC, SE});
}

} // namespace

TEST(TelnetPortComPort, EveryMessageGoesOutAndComesBackTheSame)
{
    const struct {
        ComPortMessage message;
        Role sender;
        QByteArray wire;
    } cases[]{
        {{Command::Signature, 0, {}}, Role::Client, subnegotiation({0})},
        {{Command::Signature, 0, "Pv 1"}, Role::Server, subnegotiation({100, 'P', 'v', ' ', '1'})},
        {{Command::SetBaudRate, 57600, {}}, Role::Client, subnegotiation({1, 0, 0, 0xE1, 0})},
        {{Command::SetBaudRate, 0, {}}, Role::Client, subnegotiation({1, 0, 0, 0, 0})},
        {{Command::SetBaudRate, 4000000000U, {}}, Role::Server, subnegotiation({101, 0xEE, 0x6B, 0x28, 0})},
        {{Command::SetBaudRate, 0xFF00FFFF, {}}, Role::Client,
         subnegotiation({1, IAC, IAC, 0, IAC, IAC, IAC, IAC})},
        {{Command::SetDataSize, 7, {}}, Role::Client, subnegotiation({2, 7})},
        {{Command::SetDataSize, 8, {}}, Role::Server, subnegotiation({102, 8})},
        {{Command::SetParity, 2, {}}, Role::Client, subnegotiation({3, 2})},
        {{Command::SetParity, 1, {}}, Role::Server, subnegotiation({103, 1})},
        {{Command::SetStopSize, 3, {}}, Role::Client, subnegotiation({4, 3})},
        {{Command::SetStopSize, 2, {}}, Role::Server, subnegotiation({104, 2})},
        {{Command::SetControl, 8, {}}, Role::Client, subnegotiation({5, 8})},
        {{Command::SetControl, 12, {}}, Role::Server, subnegotiation({105, 12})},
        {{Command::NotifyLineState, 0x60, {}}, Role::Server, subnegotiation({106, 0x60})},
        {{Command::NotifyModemState, 0xFF, {}}, Role::Server, subnegotiation({107, IAC, IAC})},
        {{Command::FlowControlSuspend, 0, {}}, Role::Client, subnegotiation({8})},
        {{Command::FlowControlResume, 0, {}}, Role::Server, subnegotiation({109})},
        {{Command::SetLineStateMask, 0, {}}, Role::Client, subnegotiation({10, 0})},
        {{Command::SetModemStateMask, 255, {}}, Role::Server, subnegotiation({111, IAC, IAC})},
        {{Command::PurgeData, 3, {}}, Role::Client, subnegotiation({12, 3})},
        {{Command::PurgeData, 1, {}}, Role::Server, subnegotiation({112, 1})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(describe({0, c.message}));
        EXPECT_EQ(TelnetPort(c.sender).encode(c.message), c.wire);
        TelnetPort receiver(peerOf(c.sender));
        EXPECT_EQ(receiveInPieces(receiver, c.wire, {}), (Received{{}, {}, {describe({0, c.message})}}));
    }
}

TEST(TelnetPortComPort, TellsQueriesFromSettings)
{
    const struct {
        Command command;
        quint32 value;
        bool query;
    } cases[]{
        {Command::SetBaudRate, 0, true},        {Command::SetBaudRate, 1, false},
        {Command::SetDataSize, 0, true},        {Command::SetDataSize, 8, false},
        {Command::SetParity, 0, true},          {Command::SetParity, 1, false},
        {Command::SetStopSize, 0, true},        {Command::SetStopSize, 1, false},
        {Command::SetControl, 0, true},         {Command::SetControl, 4, true},
        {Command::SetControl, 7, true},         {Command::SetControl, 10, true},
        {Command::SetControl, 13, true},        {Command::SetControl, 1, false},
        {Command::SetControl, 5, false},        {Command::SetControl, 8, false},
        {Command::SetControl, 11, false},       {Command::SetControl, 14, false},
        {Command::SetLineStateMask, 0, false},  {Command::SetModemStateMask, 0, false},
        {Command::PurgeData, 0, false},         {Command::Signature, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isQuery({c.command, c.value, {}}), c.query) << static_cast<int>(c.command) << ' ' << c.value;
}

TEST(TelnetPortComPort, LineSettingsMapBothWays)
{
    const struct {
        quint8 code;
        Parity parity;
    } parities[]{
        {1, Parity::None}, {2, Parity::Odd}, {3, Parity::Even}, {4, Parity::Mark}, {5, Parity::Space},
    };
    for (const auto &c : parities) {
        EXPECT_EQ(parityFromCode(c.code), c.parity) << int(c.code);
        EXPECT_EQ(parityCode(c.parity), c.code) << int(c.code);
    }
    const struct {
        quint8 code;
        StopBits stopBits;
    } stopSizes[]{{1, StopBits::One}, {2, StopBits::Two}, {3, StopBits::OneAndHalf}};
    for (const auto &c : stopSizes) {
        EXPECT_EQ(stopBitsFromCode(c.code), c.stopBits) << int(c.code);
        EXPECT_EQ(stopBitsCode(c.stopBits), c.code) << int(c.code);
    }
    const struct {
        Control control;
        Handshaking handshaking;
    } flows[]{
        {Control::FlowNone, Handshaking::None},
        {Control::FlowXonXoff, Handshaking::XonXoff},
        {Control::FlowHardware, Handshaking::RtsCts},
    };
    for (const auto &c : flows) {
        EXPECT_EQ(handshakingFromControl(static_cast<quint32>(c.control)), c.handshaking);
        EXPECT_EQ(controlFor(c.handshaking), c.control);
    }
    for (const quint32 outside : {0U, 6U, 256U, 4000000000U})
        EXPECT_EQ(parityFromCode(outside), std::nullopt) << outside;
    for (const quint32 outside : {0U, 4U, 256U})
        EXPECT_EQ(stopBitsFromCode(outside), std::nullopt) << outside;
    for (const Control other : {Control::QueryFlow, Control::BreakOn, Control::InboundFlowHardware, Control::FlowDsr})
        EXPECT_EQ(handshakingFromControl(static_cast<quint32>(other)), std::nullopt) << int(other);
}

TEST(TelnetPortComPort, ModemStateCarriesTheLinesAndTheirChanges)
{
    const ModemLines off;
    const ModemLines on{true, true, true, true};
    const struct {
        ModemLines now;
        ModemLines before;
        quint8 code;
    } cases[]{
        {off, off, 0x00},
        {on, on, 0xF0},
        {{true, false, false, false}, off, 0x11},
        {{false, false, true, false}, off, 0x40},       // RI coming on is no edge to report
        {{false, true, false, false}, {false, true, true, false}, 0x24}, // RI going off is
        {{false, false, false, true}, {false, true, false, false}, 0x8A},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(modemStateCode(c.now, c.before), c.code) << int(c.code);
        EXPECT_EQ(modemLinesFromCode(c.code), c.now) << int(c.code);
    }
}
