#include "session/serial_settings_text.h"

#include "bridge_fixture.h"
#include "session/line_choices.h"

#include <gtest/gtest.h>

using pvx::platform::Handshaking;
using pvx::platform::Parity;
using pvx::platform::StopBits;
using pvx::testing::BridgeFixture;
using pvx::testing::s;

namespace {

// Between them the rows choose every parity, data-bit and stop-bit position.
struct SettingsRow {
    int baud, parity, dataBits, stopBits;  // list positions
    const char *parityText;
    const char *text;
    qint32 baudRate;
    Parity parityValue;
    int dataBitsValue;
    StopBits stopBitsValue;
};

constexpr SettingsRow kRows[] = {
    {6, 0, 3, 0, "None", "9600,N,8,1", 9600, Parity::None, 8, StopBits::One},
    {0, 1, 0, 1, "Even", "110,E,5,1.5", 110, Parity::Even, 5, StopBits::OneAndHalf},
    {3, 2, 1, 2, "Odd", "1200,O,6,2", 1200, Parity::Odd, 6, StopBits::Two},
    {12, 3, 2, 0, "Mark", "115200,M,7,1", 115200, Parity::Mark, 7, StopBits::One},
    {3, 4, 2, 2, "Space", "1200,S,7,2", 1200, Parity::Space, 7, StopBits::Two},
};

} // namespace

TEST(SerialSettingsText, WindowChoicesGiveTheStringAndTheSettings)
{
    for (const SettingsRow &row : kRows) {
        SCOPED_TRACE(row.text);
        BridgeFixture f(BridgeFixture::Role::Client);
        auto &w = f.window();
        w.baudRate.select(row.baud);
        w.parity.select(row.parity);
        w.dataBits.select(row.dataBits);
        w.stopBits.select(row.stopBits);
        EXPECT_EQ(w.parity.text(), s(row.parityText));
        EXPECT_EQ(pvx::session::settingsString(w), s(row.text));

        const auto parsed = pvx::session::lineSettings(w);
        ASSERT_TRUE(parsed.ok());
        EXPECT_EQ(parsed->baudRate, row.baudRate);
        EXPECT_EQ(parsed->parity, row.parityValue);
        EXPECT_EQ(parsed->dataBits, row.dataBitsValue);
        EXPECT_EQ(parsed->stopBits, row.stopBitsValue);

        // What activation hands the device is the same.
        f.activate();
        EXPECT_EQ(f.serial->lastSettings.parity, row.parityValue);
        EXPECT_EQ(f.serial->lastSettings.dataBits, row.dataBitsValue);
        EXPECT_EQ(f.serial->lastSettings.stopBits, row.stopBitsValue);
    }
}

TEST(SerialSettingsText, FlowControlReachesThePort)
{
    const struct {
        int position;
        const char *text;
        Handshaking handshaking;
        bool dtr;
    } cases[] = {
        {0, "None", Handshaking::None, true},
        {1, "Xon/Xoff", Handshaking::XonXoff, true},
        {2, "Hardware", Handshaking::RtsCts, true},
        {3, "Opto-RS", Handshaking::RtsCts, false},
    };
    for (const auto &c : cases) {
        BridgeFixture f(BridgeFixture::Role::Client);
        f.window().flowControl.select(c.position);
        EXPECT_EQ(f.window().flowControl.text(), s(c.text));
        f.activate();
        EXPECT_EQ(f.serial->lastSettings.handshaking, c.handshaking) << c.text;
        EXPECT_EQ(f.serial->lastSettings.dtr, c.dtr) << c.text;
    }
}
