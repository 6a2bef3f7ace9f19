// The serial line a remote peer controls, as a session window and its
// devices hold it: choices through the lists, settings to an open device
// all or none, purges, control and modem lines, the program's line.
#include "session/window_serial_line.h"

#include "fakes/fake_dialogs.h"
#include "fakes/fake_network_info.h"
#include "fakes/fake_serial_port.h"
#include "fakes/fake_virtual_port.h"
#include "resources/string_table.h"
#include "session/session_window.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::platform::ControlLine;
using pvx::platform::Handshaking;
using pvx::platform::Parity;
using pvx::platform::StopBits;
using pvx::session::FlowControl;
using pvx::session::LineChoices;
using pvx::session::LinePositions;
using pvx::testing::s;

namespace {

/// A window at its defaults (9600, none, 8, 1, no flow control) and the line
/// on its device or virtual port, with a few bytes waiting each way.
struct WindowLine {
    explicit WindowLine(bool virtualPort = false)
    {
        window.useVirtualPort.setValue(virtualPort ? 1 : 0);
        if (virtualPort)
            (void)vport.create(s("COM4"));
        else
            (void)device.open(s("/dev/fake4"), {});
        toNetwork.allocate(64);
        toSerial.allocate(64);
        (void)toNetwork.append("in");
        (void)toSerial.append("out");
        line = std::make_unique<pvx::session::WindowSerialLine>(
            window, device, vport, pvx::session::WindowSerialLine::Buffers{toNetwork, toSerial});
    }
    LineChoices with(void (*change)(LineChoices &)) const
    {
        LineChoices choices = line->choices();
        change(choices);
        return choices;
    }

    pvx::resources::StringTable strings{pvx::resources::Language::English};
    pvx::fakes::FakeDialogs dialogs;
    pvx::fakes::FakeNetworkInfo network;
    pvx::session::SessionWindow window{{strings, dialogs, network, {}}};
    pvx::fakes::FakeSerialPort device;
    pvx::fakes::FakeVirtualPort vport;
    pvx::session::TransferBuffer toNetwork;
    pvx::session::TransferBuffer toSerial;
    std::unique_ptr<pvx::session::WindowSerialLine> line;
};

} // namespace

TEST(WindowSerialLine, ChoicesSelectWhatTheListsOfferAndAnOpenDeviceTakesThem)
{
    const struct {
        const char *name;
        void (*change)(LineChoices &);
        LinePositions positions; // baud, parity, data bits, stop bits, flow
    } cases[] = {
        {"baud", [](LineChoices &c) { c.baudRate = 57600; }, {11, 0, 3, 0, 0}},
        {"baud not offered", [](LineChoices &c) { c.baudRate = 12345; }, {6, 0, 3, 0, 0}},
        {"data bits", [](LineChoices &c) { c.dataBits = 7; }, {6, 0, 2, 0, 0}},
        {"data bits not offered", [](LineChoices &c) { c.dataBits = 9; }, {6, 0, 3, 0, 0}},
        {"odd parity", [](LineChoices &c) { c.parity = Parity::Odd; }, {6, 2, 3, 0, 0}},
        {"stop bits", [](LineChoices &c) { c.stopBits = StopBits::OneAndHalf; }, {6, 0, 3, 1, 0}},
        {"flow", [](LineChoices &c) { c.flowControl = FlowControl::Hardware; }, {6, 0, 3, 0, 2}},
    };
    for (const bool virtualPort : {false, true}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (virtualPort ? " on a virtual port" : ""));
            WindowLine f(virtualPort);
            ASSERT_TRUE(f.line->choose(f.with(c.change)).ok());
            EXPECT_EQ(pvx::session::linePositions(f.window), c.positions);
            // A virtual port has no line to take them; the device has them all.
            const auto settings = pvx::session::lineSettings(f.window);
            EXPECT_EQ(f.device.lastSettings.baudRate, virtualPort ? 9600 : settings->baudRate);
            EXPECT_EQ(f.device.lastSettings.handshaking, virtualPort ? Handshaking::None : settings->handshaking);
        }
    }
}

TEST(WindowSerialLine, ARefusalPutsTheListsBackAndAListWithoutAChoiceIsNamed)
{
    WindowLine f;
    f.device.openError = pvx::platform::makeError(pvx::platform::ErrorCode::Unsupported, s("no even parity"));
    const auto refused = f.line->choose(f.with([](LineChoices &c) { c.parity = Parity::Even; }));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().detail, s("no even parity"));
    EXPECT_EQ(f.line->choices().parity, Parity::None);

    const struct {
        std::size_t list;
        const char *named;
    } unchosen[] = {{0, "baud rate"}, {1, "parity"}, {2, "data bits"}, {3, "stop bits"}};
    for (const auto &c : unchosen) {
        WindowLine g;
        (void)g.window.serialLists()[c.list]->select(-1);
        const auto settings = pvx::session::lineSettings(g.window);
        ASSERT_FALSE(settings.ok()) << c.named;
        EXPECT_TRUE(settings.error().detail.startsWith(s("Invalid ") + s(c.named))) << c.named;
    }
}

TEST(WindowSerialLine, PurgeEmptiesWhatWaitsInTheDirectionsAskedFor)
{
    const struct {
        bool input, output;
    } cases[] = {{true, false}, {false, true}, {true, true}};
    for (const bool virtualPort : {false, true}) {
        for (const auto &c : cases) {
            WindowLine f(virtualPort);
            f.device.received = "dev";
            f.vport.received = "prog";
            f.line->purge(c.input, c.output);
            EXPECT_EQ(f.toNetwork.count(), c.input ? 0 : 2);
            EXPECT_EQ(f.toSerial.count(), c.output ? 0 : 3);
            EXPECT_EQ(f.device.received.isEmpty(), c.input && !virtualPort);
            EXPECT_EQ(f.vport.received.isEmpty(), c.input && virtualPort);
            EXPECT_EQ(f.device.discardOutputCalls, c.output && !virtualPort ? 1 : 0);
        }
    }
}

TEST(WindowSerialLine, ControlLinesAreRememberedAndModemLinesPolledWhileTheDeviceHasThem)
{
    WindowLine f;
    f.device.modem = pvx::platform::ModemLines{.cts = true};
    EXPECT_TRUE(f.line->controlLine(ControlLine::Dtr));
    EXPECT_FALSE(f.line->controlLine(ControlLine::Break));
    f.line->setControlLine(ControlLine::Dtr, false);
    f.line->setControlLine(ControlLine::Break, true);
    EXPECT_FALSE(f.line->controlLine(ControlLine::Dtr));
    EXPECT_EQ(f.device.controlLines, (std::array<bool, 3>{false, false, true}));
    EXPECT_TRUE(f.line->modemLines().cts);

    // A device without modem lines is asked once; a virtual port never.
    f.device.modem.reset();
    EXPECT_TRUE(f.line->mayHaveModemLines());
    EXPECT_EQ(f.line->modemLines(), pvx::platform::ModemLines{});
    EXPECT_FALSE(f.line->mayHaveModemLines());

    WindowLine g(true);
    g.device.modem = pvx::platform::ModemLines{.cts = true};
    EXPECT_FALSE(g.line->mayHaveModemLines());
    g.line->setControlLine(ControlLine::Rts, false);
    EXPECT_FALSE(g.line->controlLine(ControlLine::Rts));
    EXPECT_EQ(g.device.controlLines, (std::array<bool, 3>{})) << "the device is not the virtual port's";
}

TEST(WindowSerialLine, SettingsTakeWhatTheProgramOnTheVirtualPortChanged)
{
    WindowLine device;
    EXPECT_FALSE(device.line->programSetsLine());
    EXPECT_FALSE(device.line->programLine());

    WindowLine f(true);
    f.vport.line.baudRate = 38400;
    f.line = std::make_unique<pvx::session::WindowSerialLine>(
        f.window, f.device, f.vport, pvx::session::WindowSerialLine::Buffers{f.toNetwork, f.toSerial});
    (void)f.window.stopBits.select(2);
    EXPECT_EQ(f.line->settings().baudRate, 9600) << "the lists until the program changes the line";
    f.vport.line.baudRate = 19200;
    f.vport.line.handshaking = Handshaking::XonXoff;
    EXPECT_TRUE(f.line->programSetsLine());
    const auto settings = f.line->settings();
    EXPECT_EQ(settings.baudRate, 19200);
    EXPECT_EQ(settings.handshaking, Handshaking::XonXoff);
    EXPECT_EQ(settings.stopBits, StopBits::Two);
}
