#include "session/session.h"

#include "bridge_fixture.h"

#include <gtest/gtest.h>

using pvx::testing::BridgeFixture;
using pvx::testing::s;
using Role = BridgeFixture::Role;

namespace {

/// The positions of the baud, parity, data-bit and stop-bit lists.
using SerialChoices = std::array<int, 4>;

SerialChoices choices(pvx::session::SessionWindow &window)
{
    return {window.baudRate.selectedIndex(), window.parity.selectedIndex(), window.dataBits.selectedIndex(),
            window.stopBits.selectedIndex()};
}

/// A client session whose lists stand at 1200 baud, Even, 5 data bits, 2 stop
/// bits, so that every field a command sets shows.
struct CommandSession : BridgeFixture {
    CommandSession() : BridgeFixture(Role::Client)
    {
        for (int list = 0; list < 4; ++list)
            window().serialLists()[static_cast<std::size_t>(list)]->select(kStart[static_cast<std::size_t>(list)]);
    }
    bool execute(const char *command) { return session->runCommand(s(command)); }

    static constexpr SerialChoices kStart{3, 1, 0, 2};
};

} // namespace

TEST(SessionCommands, SettingsCommandSelectsEachFieldFollowedByAComma)
{
    const struct {
        const char *command;
        SerialChoices expected;
    } cases[] = {
        {"[comsettings=19200,odd,7,2]", {8, 2, 2, 2}},
        {"[COMSETTINGS=12345,N,8,1]", {3, 0, 3, 0}},             // a baud rate not offered
        {"[COMSETTINGS=9600]", CommandSession::kStart},          // no comma: nothing
        {"[COMSETTINGS=9600,O]", {6, 1, 0, 2}},                  // the baud rate only
        {"[COMSETTINGS=9600,O,7]", {6, 2, 0, 2}},                // baud and parity
        {"[COMSETTINGS=9600,O,7,1]", {6, 2, 2, 0}},
        {"[COMSETTINGS=9600, O,7,1]", {6, 1, 2, 0}},             // ", O" is no parity
        {"[COMSETTINGS=9600,N, 7 , 1.5 ", {6, 0, 2, 1}},         // no bracket, blanks around the numbers
        {"  [ComSettings=115200,SPACE,6,1]]  ", {12, 4, 1, 0}},
        {"[COMSETTINGS=921600.4,MARK,9,3]", {15, 3, 0, 2}},      // rounded baud, unknown bits
        {"[COMSETTINGS=,N,8,1]", {3, 0, 3, 0}},
        {"[COMSETTINGS=9600,N,8,1,5]", {6, 0, 3, 2}},            // "1,5" is no stop-bit value
        {"[COMSETTINGS=]", CommandSession::kStart},
    };
    for (const auto &c : cases) {
        CommandSession f;
        EXPECT_TRUE(f.execute(c.command)) << c.command;
        EXPECT_EQ(choices(f.window()), c.expected) << c.command;
    }
}

TEST(SessionCommands, AnOpenPortTakesTheNewSettingsAtOnce)
{
    CommandSession f;
    f.window().flowControl.select(3);  // Opto-RS
    ASSERT_TRUE(f.execute("[COMSETTINGS=19200,ODD,7,2]"));
    EXPECT_EQ(f.serial->openCalls, 0);
    EXPECT_EQ(f.serial->lastSettings.baudRate, 9600) << "a closed port takes them when it opens";

    f.activate();
    EXPECT_EQ(f.serial->lastSettings.baudRate, 19200);
    ASSERT_TRUE(f.execute("[COMSETTINGS=57600,E,8,1]"));
    const auto &applied = f.serial->lastSettings;
    EXPECT_EQ(applied.baudRate, 57600);
    EXPECT_EQ(applied.parity, pvx::platform::Parity::Even);
    EXPECT_EQ(applied.dataBits, 8);
    EXPECT_EQ(applied.stopBits, pvx::platform::StopBits::One);
    EXPECT_EQ(applied.handshaking, pvx::platform::Handshaking::RtsCts) << "the flow control stays";
    EXPECT_FALSE(applied.dtr);
    EXPECT_EQ(f.serial->openCalls, 1);

    // What the port refuses is refused whole: the port and the lists (and so
    // what is saved) keep what they had.
    f.serial->openError = pvx::platform::makeError(pvx::platform::ErrorCode::Unsupported, s("refused here"));
    const SerialChoices inEffect = choices(f.window());
    for (const char *refused : {"[COMSETTINGS=19200,E,7,2]", "[COMSETTINGS=9600,N,8,1.5]"}) {
        EXPECT_FALSE(f.execute(refused)) << refused;
        EXPECT_EQ(choices(f.window()), inEffect) << refused;
        EXPECT_EQ(f.serial->lastSettings.baudRate, 57600) << refused;
    }
    EXPECT_TRUE(f.session->isActive());
    EXPECT_TRUE(f.logText().contains(s("Serial settings 19200,E,7,2 not applied: refused here")));
}

TEST(SessionCommands, ActivateAndDeactivateOnlyFromTheOtherState)
{
    const struct {
        bool active;
        const char *command;
        bool accepted;
        bool activeAfter;
    } cases[] = {
        {false, "[ACTIVATE]", true, true},
        {true, "[activate]", false, true},
        {false, "[DEACTIVATE]", false, false},
        {true, "  [Deactivate]  ", true, false},
        {false, "[ACTIVATE", false, false},
        {false, "[ ACTIVATE]", false, false},
        {true, "[APPEXIT]", false, true},
        {false, "", false, false},
    };
    for (const auto &c : cases) {
        CommandSession f;
        if (c.active)
            f.activate();
        EXPECT_EQ(f.execute(c.command), c.accepted) << c.command;
        EXPECT_EQ(f.session->isActive(), c.activeAfter) << c.command;
    }

    // Accepted is not activated: the activation itself may fail.
    CommandSession f;
    f.window().connector.select(0);
    EXPECT_TRUE(f.execute("[ACTIVATE]"));
    EXPECT_FALSE(f.session->isActive());
}

TEST(SessionCommands, EntryPointsLeaveASessionAlreadyInTheirState)
{
    CommandSession f;
    const QString serialLine = f.status(pvx::testing::kSerialLine);
    f.session->deactivate();
    EXPECT_EQ(f.status(pvx::testing::kSerialLine), serialLine) << "nothing was closed";
    f.session->activate();
    f.session->activate();
    EXPECT_EQ(f.serial->openCalls, 1);
    EXPECT_EQ(f.socket(0).connectCalls, 1);
    f.session->deactivate();
    f.session->deactivate();
    EXPECT_FALSE(f.session->isActive());
    EXPECT_EQ(f.serial->closeCalls, 1);
}
