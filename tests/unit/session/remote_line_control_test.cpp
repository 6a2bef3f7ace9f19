// Remote line control on one connection, alone: a server applying and
// answering what its client asks of the line, a client telling its server
// the line it stands for, and the payload around the requests.
#include "session/remote_line_control.h"

#include "session/flow_limits.h"
#include "support/text.h"
#include "telnet_port/com_port_values.h"

#include <QStringList>

#include <gtest/gtest.h>

using pvx::platform::ControlLine;
using pvx::platform::Handshaking;
using pvx::platform::ModemLines;
using pvx::platform::Parity;
using pvx::platform::StopBits;
using pvx::session::FlowControl;
using pvx::session::kAnswerWaitTicks;
using pvx::session::LineChoices;
using pvx::telnet_port::ComPortMessage;
using pvx::testing::s;
using Cmd = pvx::telnet_port::ComPortCommand;
using TelnetRole = pvx::telnet_port::Role;

namespace {

/// A serial line that takes every choice unless told to refuse, and records
/// what it was asked; `events` keeps the order of payload and purges.
struct FakeLine : pvx::session::SerialLine {
    LineChoices choices() const override { return line; }
    pvx::platform::Result<void> choose(const LineChoices &wanted) override
    {
        if (refusal)
            return *refusal;
        line = wanted;
        return {};
    }
    pvx::platform::SerialSettings settings() const override { return told; }
    bool programSetsLine() const override { return program.has_value(); }
    std::optional<pvx::platform::SerialSettings> programLine() const override { return program; }
    bool controlLine(ControlLine which) const override { return control[static_cast<std::size_t>(which)]; }
    void setControlLine(ControlLine which, bool on) override { control[static_cast<std::size_t>(which)] = on; }
    void purge(bool input, bool output) override
    {
        events.append(QStringLiteral("purge ") + (input ? s("in") : QString()) + (output ? s("out") : QString()));
    }
    bool mayHaveModemLines() const override { return modem.has_value(); }
    ModemLines modemLines() override { return modem.value_or(ModemLines{}); }

    LineChoices line{9600, Parity::None, 8, StopBits::One, FlowControl::None};
    std::optional<pvx::platform::Error> refusal;
    pvx::platform::SerialSettings told;
    std::optional<pvx::platform::SerialSettings> program;
    std::array<bool, 3> control{true, true, false};
    std::optional<ModemLines> modem;
    QStringList events;
};

/// The stage on a connection, and the peer at its far end.
struct Stage {
    explicit Stage(TelnetRole role)
        : control(role, line,
                  {.send = [this](const QByteArray &bytes) { wire += bytes; },
                   .holdSending = [this](bool on) { held = on; },
                   .peerAddress = [] { return s("198.51.100.9"); },
                   .isConnected = [this] { return connected; },
                   .log = [this](const QString &text) { logs.append(text); }}),
          peer(role == TelnetRole::Server ? TelnetRole::Client : TelnetRole::Server)
    {
    }

    /// Bytes from the peer; with `reaches` false its data does not reach the line.
    void arrive(const QByteArray &bytes, bool reaches = true)
    {
        const auto toLine = [this](const QByteArray &data) { line.events.append(QString::fromLatin1(data)); };
        control.receive(bytes, reaches ? pvx::session::RemoteLineControl::PayloadSink(toLine) : nullptr);
    }
    /// What the stage sent since the last call, as the peer reads it; the
    /// peer's replies go back.
    std::vector<ComPortMessage> heard()
    {
        const auto input = peer.receive(wire);
        wire.clear();
        if (!input.reply.isEmpty())
            arrive(input.reply);
        std::vector<ComPortMessage> messages;
        for (const auto &event : input.events) {
            if (const auto *message = std::get_if<ComPortMessage>(&event.what))
                messages.push_back(*message);
        }
        return messages;
    }
    /// Both sides open the negotiation; returns what the stage said on agreement.
    std::vector<ComPortMessage> handshake()
    {
        control.start();
        arrive(peer.start());
        auto messages = heard();
        for (auto more = heard(); !more.empty(); more = heard())
            messages.insert(messages.end(), more.begin(), more.end());
        return messages;
    }
    std::vector<ComPortMessage> ask(const ComPortMessage &message, bool reaches = true)
    {
        arrive(peer.encode(message), reaches);
        return heard();
    }
    int logged(const char *text) const { return static_cast<int>(logs.filter(s(text)).size()); }

    FakeLine line;
    QByteArray wire;
    bool held = false;
    bool connected = true;
    QStringList logs;
    pvx::session::RemoteLineControl control;
    pvx::telnet_port::TelnetPort peer;
};

ComPortMessage notify(quint32 state)
{
    return {Cmd::NotifyModemState, state, {}};
}

} // namespace

TEST(RemoteLineControl, ServerAnswersEveryRequestWithTheValueInEffect)
{
    // The line starts at 9600 baud, no parity, 8 data bits, 1 stop bit, no
    // flow control, DTR and RTS raised.
    const struct {
        ComPortMessage request;
        quint32 answer;
        LineChoices line;
        std::array<bool, 3> control; // DTR, RTS, BREAK afterwards
    } cases[] = {
        {{Cmd::SetBaudRate, 57600, {}}, 57600, {57600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetBaudRate, 4000000000u, {}}, 9600, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetBaudRate, 0, {}}, 9600, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetDataSize, 7, {}}, 7, {9600, Parity::None, 7, StopBits::One}, {true, true, false}},
        {{Cmd::SetDataSize, 0, {}}, 8, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        // Codes and values differ: a swap of odd and even fails here.
        {{Cmd::SetParity, 2, {}}, 2, {9600, Parity::Odd, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetParity, 3, {}}, 3, {9600, Parity::Even, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetParity, 5, {}}, 5, {9600, Parity::Space, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetParity, 9, {}}, 1, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        // And so do the stop sizes: 3 is one and a half.
        {{Cmd::SetStopSize, 3, {}}, 3, {9600, Parity::None, 8, StopBits::OneAndHalf}, {true, true, false}},
        {{Cmd::SetStopSize, 0, {}}, 1, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetControl, 3, {}}, 3, {9600, Parity::None, 8, StopBits::One, FlowControl::Hardware}, {true, true, false}},
        {{Cmd::SetControl, 2, {}}, 2, {9600, Parity::None, 8, StopBits::One, FlowControl::XonXoff}, {true, true, false}},
        {{Cmd::SetControl, 0, {}}, 1, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetControl, 13, {}}, 14, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetControl, 7, {}}, 8, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetControl, 9, {}}, 9, {9600, Parity::None, 8, StopBits::One}, {false, true, false}},
        {{Cmd::SetControl, 12, {}}, 12, {9600, Parity::None, 8, StopBits::One}, {true, false, false}},
        {{Cmd::SetControl, 5, {}}, 5, {9600, Parity::None, 8, StopBits::One}, {true, true, true}},
        {{Cmd::SetControl, 4, {}}, 6, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
        {{Cmd::SetLineStateMask, 255, {}}, 255, {9600, Parity::None, 8, StopBits::One}, {true, true, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.request.command)) + " " + std::to_string(c.request.value));
        Stage f(TelnetRole::Server);
        f.handshake();
        EXPECT_EQ(f.ask(c.request), (std::vector<ComPortMessage>{{c.request.command, c.answer, {}}}));
        EXPECT_EQ(f.line.line, c.line);
        EXPECT_EQ(f.line.control, c.control);
    }
}

TEST(RemoteLineControl, ServerChangesNothingForAPeerWhoseDataDoesNotReachTheLine)
{
    Stage f(TelnetRole::Server);
    f.handshake();
    EXPECT_EQ(f.ask({Cmd::SetBaudRate, 19200, {}}, false).at(0).value, 9600u);
    EXPECT_EQ(f.ask({Cmd::SetControl, 3, {}}, false).at(0).value, 1u);
    EXPECT_EQ(f.ask({Cmd::SetControl, 9, {}}, false).at(0).value, 8u);
    EXPECT_EQ(f.ask({Cmd::PurgeData, 3, {}}, false).at(0).value, 3u);
    EXPECT_TRUE(f.line.events.isEmpty());
    EXPECT_EQ(f.ask({Cmd::SetBaudRate, 19200, {}}).at(0).value, 19200u);
}

TEST(RemoteLineControl, ServerAnswersARefusalWithWhatIsInEffectAndLogsItOnce)
{
    Stage f(TelnetRole::Server);
    f.handshake();
    f.line.refusal = pvx::platform::makeError(pvx::platform::ErrorCode::Unsupported, s("refuses even parity"));
    EXPECT_EQ(f.ask({Cmd::SetParity, 3, {}}).at(0).value, 1u);
    EXPECT_EQ(f.ask({Cmd::SetBaudRate, 300, {}}).at(0).value, 9600u);
    EXPECT_EQ(f.logged("Serial setting asked by 198.51.100.9 not applied: refuses even parity"), 1);
}

TEST(RemoteLineControl, PayloadPassesAroundTheRequestsThatActBetweenItsBytes)
{
    Stage f(TelnetRole::Server);
    f.handshake();
    f.line.events.clear();
    f.arrive(QByteArray("a\xff\xff", 3) + f.peer.encode({Cmd::PurgeData, 1, {}}) + "b");
    EXPECT_EQ(f.line.events, (QStringList{QString::fromLatin1("a\xff"), s("purge in"), s("b")}));
    f.line.events.clear();
    f.arrive("dropped", false);
    EXPECT_TRUE(f.line.events.isEmpty());

    // Endless option messages are dropped and told of once; data goes on.
    const QByteArray endless = QByteArray("\xff\xfa\x2c", 3) + QByteArray(100, '\x01') + QByteArray("\xff\xf0", 2);
    f.arrive(endless + "c" + endless + "d");
    EXPECT_EQ(f.line.events.join(QString()), s("cd"));
    EXPECT_EQ(f.logged("malformed"), 1);
    EXPECT_EQ(pvx::session::RemoteLineControl::wireBytes(QByteArray("\xff\x01", 2)), QByteArray("\xff\xff\x01", 3));
}

TEST(RemoteLineControl, EitherRoleHoldsItsConnectionWhileThePeerAsksForAPause)
{
    for (const TelnetRole role : {TelnetRole::Server, TelnetRole::Client}) {
        Stage f(role);
        f.handshake();
        EXPECT_TRUE(f.ask({Cmd::FlowControlSuspend, 0, {}}).empty());
        EXPECT_TRUE(f.held);
        EXPECT_TRUE(f.ask({Cmd::FlowControlResume, 0, {}}).empty());
        EXPECT_FALSE(f.held);
    }
}

TEST(RemoteLineControl, ServerTellsTheModemLinesOnAgreementOnEachNewMaskWhenPolledAndOnChange)
{
    const struct {
        std::optional<ModemLines> lines;
        quint32 state;
    } cases[] = {{ModemLines{true, false, false, true}, 0x90}, {std::nullopt, 0x00}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state);
        Stage f(TelnetRole::Server);
        f.line.modem = c.lines;
        EXPECT_EQ(f.handshake(), (std::vector{notify(c.state)}));
        EXPECT_EQ(f.ask({Cmd::SetModemStateMask, 0x10, {}}),
                  (std::vector{ComPortMessage{Cmd::SetModemStateMask, 0x10, {}}, notify(c.state & 0x10)}));
        // A client polls with the notification and no value.
        f.arrive(QByteArray("\xff\xfa\x2c\x07\xff\xf0", 6));
        EXPECT_EQ(f.heard(), (std::vector{notify(c.state & 0x10)}));
        EXPECT_EQ(f.control.pending(), c.lines.has_value());
    }

    Stage f(TelnetRole::Server);
    f.line.modem = ModemLines{};
    f.handshake();
    f.line.modem->cts = true;
    f.control.tick();
    EXPECT_EQ(f.heard(), (std::vector{notify(0x11)}));
    f.control.tick();
    EXPECT_TRUE(f.heard().empty()) << "only changes are told";
    // A mask of 0 silences the notifications, and so does a departed peer.
    f.ask({Cmd::SetModemStateMask, 0, {}});
    f.line.modem->cts = false;
    f.control.tick();
    EXPECT_TRUE(f.heard().empty());
    EXPECT_FALSE(f.control.pending());
    f.ask({Cmd::SetModemStateMask, 255, {}});
    f.connected = false;
    f.line.modem->dsr = true;
    f.control.tick();
    EXPECT_TRUE(f.heard().empty());
}

TEST(RemoteLineControl, ServerSignsWithTheProgramsName)
{
    Stage f(TelnetRole::Server);
    f.handshake();
    const auto answers = f.ask({Cmd::Signature, 0, {}});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0].text.startsWith("Porvix "));
}

TEST(RemoteLineControl, ClientTellsItsLineAndReportsWhatTheServerSays)
{
    const struct {
        Handshaking handshaking;
        bool dtr;
        std::vector<ComPortMessage> controls;
    } cases[] = {
        {Handshaking::None, true, {{Cmd::SetControl, 1, {}}, {Cmd::SetControl, 8, {}}, {Cmd::SetControl, 11, {}}}},
        // With hardware flow control RTS is the driver's.
        {Handshaking::RtsCts, false, {{Cmd::SetControl, 3, {}}, {Cmd::SetControl, 9, {}}}},
    };
    for (const auto &c : cases) {
        Stage f(TelnetRole::Client);
        f.line.told = {.baudRate = 57600, .stopBits = StopBits::Two, .handshaking = c.handshaking, .dtr = c.dtr};
        std::vector<ComPortMessage> expected = {{Cmd::SetBaudRate, 57600, {}},
                                                {Cmd::SetDataSize, 8, {}},
                                                {Cmd::SetParity, 1, {}},
                                                {Cmd::SetStopSize, 2, {}}};
        expected.insert(expected.end(), c.controls.begin(), c.controls.end());
        EXPECT_EQ(f.handshake(), expected);
    }

    // Answers are only logged, once, and never change the line.
    Stage f(TelnetRole::Client);
    f.handshake();
    EXPECT_TRUE(f.control.pending()) << "answers are awaited";
    f.arrive(f.peer.encode({Cmd::SetBaudRate, 4800, {}}));
    f.arrive(f.peer.encode({Cmd::SetStopSize, 2, {}}));
    EXPECT_EQ(f.logged("answered 1 with 4800 instead of 9600"), 1);
    EXPECT_EQ(f.logged("answered"), 1);
    EXPECT_EQ(f.line.line.baudRate, 9600);
    // What stays unanswered is reported too, but only when nothing was yet.
    for (int i = 0; i < kAnswerWaitTicks; ++i)
        f.control.tick();
    EXPECT_EQ(f.logged("did not answer"), 0);
    EXPECT_FALSE(f.control.pending());

    EXPECT_EQ(f.control.modemText(), s("unknown"));
    f.arrive(f.peer.encode(notify(0x90)));
    EXPECT_EQ(f.control.modemText(), s("CTS CD"));
    f.arrive(f.peer.encode(notify(0x00)));
    EXPECT_EQ(f.control.modemText(), s("none"));
}

TEST(RemoteLineControl, ClientReportsOneMissingAnswerPerConnectionAndNoneWhileDisconnected)
{
    Stage f(TelnetRole::Client);
    f.handshake();
    f.connected = false;
    for (int i = 0; i < 2 * kAnswerWaitTicks; ++i)
        f.control.tick();
    EXPECT_EQ(f.logged("did not answer"), 0);
    f.connected = true;
    f.arrive(f.peer.encode({Cmd::SetBaudRate, 9600, {}}));
    for (int i = 0; i < kAnswerWaitTicks - 1; ++i)
        f.control.tick();
    EXPECT_EQ(f.logged("did not answer"), 0);
    f.control.tick();
    EXPECT_EQ(f.logged("did not answer"), 1);
    for (int i = 0; i < kAnswerWaitTicks; ++i)
        f.control.tick();
    EXPECT_EQ(f.logged("did not answer"), 1);
}

TEST(RemoteLineControl, ClientFollowsTheProgramsLineAndSurvivesARefusedOption)
{
    Stage f(TelnetRole::Client);
    f.line.program = pvx::platform::SerialSettings{};
    f.handshake();
    EXPECT_TRUE(f.control.pending());
    f.line.program->stopBits = StopBits::Two;
    f.line.program->handshaking = Handshaking::RtsCts;
    f.control.tick();
    EXPECT_EQ(f.heard(), (std::vector<ComPortMessage>{{Cmd::SetStopSize, 2, {}}, {Cmd::SetControl, 3, {}}}));
    f.control.tick();
    EXPECT_TRUE(f.heard().empty()) << "only changes are sent";

    // A plain Telnet server refuses the option: logged once, data still passes.
    Stage g(TelnetRole::Client);
    g.control.start();
    g.arrive(QByteArray("\xff\xfe\x2c\xff\xfe\x2c" "ok", 8));
    EXPECT_EQ(g.logged("The server at 198.51.100.9 refused RFC 2217"), 1);
    EXPECT_EQ(g.line.events, QStringList{s("ok")});
}
