// The ping and resolver windows over a fake resolver and a fake echo: what
// each click shows, and that a closed window drops what it waited for.
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include "support/text.h"
#include "support/tools_fixture.h"

#include <gtest/gtest.h>

using pvx::testing::s;
using pvx::testing::ToolsFixture;

namespace {

struct PingTest : ToolsFixture, ::testing::Test {
    pvx::tools::PingForm form{strings, dialogs, resolver, echo, 4};

    QStringList results() const
    {
        return {form.replyStatus.text(), form.replyAddress.text(), form.roundTripTime.text(), form.replySize.text(),
                form.replyData.text()};
    }
    void ping(const char *address, const QString &data)
    {
        form.address.setText(s(address));
        form.echoData.setText(data);
        form.onPingClicked();
    }
};

} // namespace

TEST_F(PingTest, EmptyAddressIsRefusedWithoutSending)
{
    int focused = 0;
    QObject::connect(&form, &pvx::tools::PingForm::addressFocusRequested, [&] { ++focused; });
    ping("", s("Testing 123"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title, s("Ping Error - Missing or invalid IP Address"));
    EXPECT_EQ(focused, 1);
    EXPECT_TRUE(resolver.pending.isEmpty());
    EXPECT_TRUE(form.pingButton.isEnabled());
}

TEST_F(PingTest, WaitsDisabledAndBusyThenShowsEveryField)
{
    form.replyStatus.setText(s("old"));
    ping("localhost", s("Testing 123"));
    EXPECT_EQ(results(), QStringList(5, QString()));
    EXPECT_FALSE(form.pingButton.isEnabled());
    EXPECT_TRUE(form.isBusy());

    resolver.resolveAll();
    ASSERT_EQ(echo.pending.size(), 1);
    EXPECT_EQ(echo.pending.first().address, s("127.0.0.1"));
    EXPECT_EQ(echo.pending.first().timeoutMs, 500);
    EXPECT_FALSE(form.pingButton.isEnabled());

    answerEcho(QByteArray("Testing 123\0junk", 16), 0);
    EXPECT_EQ(results(), (QStringList{s("0   [IP Success]"), s("16777343"), s("0 ms"), s("16 bytes"),
                                      s("Testing 123")}));
    EXPECT_TRUE(form.pingButton.isEnabled());
    EXPECT_FALSE(form.isBusy());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(PingTest, FailuresShowTheirStatusAndZeroFields)
{
    resolver.addresses.insert(s("255.255.255.255"), s("255.255.255.255"));
    const struct {
        const char *address;
        QByteArray data;
        const char *status;
    } cases[] = {
        {"nosuchhost", "Testing 123", "-1   [Bad IP Format]"},
        {"   ", "Testing 123", "-1   [Bad IP Format]"},
        {"255.255.255.255", "Testing 123", "-1   [Bad IP Format]"},
        {"127.0.0.1", QByteArray(251, 'x'), "11001   [IP Buffer too_small]"},
    };
    for (const auto &c : cases) {
        ping(c.address, QString::fromLatin1(c.data));
        resolver.resolveAll();
        EXPECT_EQ(results(), (QStringList{s(c.status), s("0"), s("0 ms"), s("0 bytes"), QString()})) << c.address;
        EXPECT_TRUE(form.pingButton.isEnabled());
    }
    EXPECT_TRUE(echo.pending.isEmpty());
}

TEST_F(PingTest, AnEchoThatCannotBeSentSaysWhy)
{
    ping("127.0.0.1", s("Testing 123"));
    resolver.resolveAll();
    echo.answer(echo.pending.firstKey(), {11050, {}, 0, 0, {}, s("raw sockets need root")});
    EXPECT_EQ(form.replyStatus.text(), s("11050   [IP General Failure]"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, s("raw sockets need root"));
}

TEST_F(PingTest, ClosingDropsTheLookupOrTheEcho)
{
    int unloaded = 0;
    QObject::connect(&form, &pvx::tools::ToolWindow::unloaded, [&] { ++unloaded; });
    ping("localhost", s("x"));
    form.onCancelClicked();
    EXPECT_EQ(unloaded, 1);
    EXPECT_TRUE(resolver.pending.isEmpty());
    EXPECT_FALSE(form.isBusy());

    pvx::tools::PingForm second(strings, dialogs, resolver, echo, 0);
    second.address.setText(s("127.0.0.1"));
    second.onPingClicked();
    resolver.resolveAll();
    ASSERT_EQ(echo.pending.size(), 1);
    second.unload();
    EXPECT_TRUE(echo.pending.isEmpty());
    second.onPingClicked();
    EXPECT_TRUE(resolver.pending.isEmpty());
}

TEST(ResolveForm, ShowsTheAddressOrSaysTheNameDoesNotResolve)
{
    ToolsFixture f;
    pvx::tools::ResolveForm form(f.strings, f.dialogs, f.resolver);
    EXPECT_EQ(form.caption(), s("Resolve IP Address from Host Name:"));
    EXPECT_EQ(form.resolveButton.caption(), s("Resolve IP Address"));
    EXPECT_FALSE(form.helpButton.isEnabled());

    form.hostName.setText(s("localhost"));
    form.onResolveClicked();
    EXPECT_FALSE(form.resolveButton.isEnabled());
    EXPECT_TRUE(form.isBusy());
    f.resolver.resolveAll();
    EXPECT_EQ(form.address.text(), s("127.0.0.1"));
    EXPECT_TRUE(form.resolveButton.isEnabled());

    form.hostName.setText(s("nosuchhost"));
    form.onResolveClicked();
    f.resolver.resolveAll();
    EXPECT_EQ(form.address.text(), s("127.0.0.1"));
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_EQ(f.dialogs.messages[0].text, s("Cannot resolve the IP Address for host name: nosuchhost"));

    form.onResolveClicked();
    form.onCancelClicked();
    EXPECT_TRUE(f.resolver.pending.isEmpty());
    EXPECT_EQ(f.dialogs.messages.size(), 1);
}
