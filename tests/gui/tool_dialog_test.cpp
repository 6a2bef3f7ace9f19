// The ping and resolver views over fake look-ups and echoes: they show what
// the model fills in, wait with a busy pointer, and close at once.
#include "gui/tool_dialog.h"
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include "support/text.h"
#include "support/tools_fixture.h"
#include "support/widget_lookup.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using pvx::testing::child;
using pvx::testing::s;

TEST(PingDialog, ShowsTheRepliesFieldsAndClosesWhileWaiting)
{
    pvx::testing::ToolsFixture f;
    pvx::tools::PingForm form(f.strings, f.dialogs, f.resolver, f.echo, 0);
    pvx::gui::PingDialog dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), s("Ping IP Address"));
    EXPECT_EQ(child<QGroupBox>(dialog, "Frame1").title(), s("Ping Results:"));
    EXPECT_EQ(child<QLabel>(dialog, "Label13").text(), s("Round Trip Time:"));
    EXPECT_EQ(child<QLineEdit>(dialog, "Text2").text(), s("Testing 123"));
    EXPECT_EQ(child<QLineEdit>(dialog, "Text1").toolTip(),
              s("Enter the IP Address of the computer that you want to ping."));
    EXPECT_EQ(child<QPushButton>(dialog, "Command3").text(), s("&Cancel"));
    QLineEdit &status = child<QLineEdit>(dialog, "Text40");
    EXPECT_TRUE(status.isReadOnly());

    QPushButton &ping = child<QPushButton>(dialog, "Command1");
    EXPECT_TRUE(ping.isDefault());
    form.address.setText(s("localhost"));
    ping.click();
    EXPECT_FALSE(ping.isEnabled());
    EXPECT_EQ(dialog.cursor().shape(), Qt::WaitCursor);
    f.resolver.resolveAll();
    f.answerEcho("Testing 123");
    EXPECT_TRUE(ping.isEnabled());
    EXPECT_NE(dialog.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(status.text(), s("0   [IP Success]"));
    EXPECT_EQ(child<QLineEdit>(dialog, "Text41").text(), s("16777343"));
    EXPECT_EQ(child<QLineEdit>(dialog, "Text43").text(), s("11 bytes"));
    EXPECT_EQ(child<QLineEdit>(dialog, "Text44").text(), s("Testing 123"));

    // The close box while the echo waits: closed at once, the echo dropped.
    ping.click();
    f.resolver.resolveAll();
    ASSERT_EQ(f.echo.pending.size(), 1);
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(form.isLoaded());
    EXPECT_TRUE(f.echo.pending.isEmpty());
}

TEST(ResolveDialog, ShowsTheAddressAndHasNoHelpToGive)
{
    pvx::testing::ToolsFixture f;
    pvx::tools::ResolveForm form(f.strings, f.dialogs, f.resolver);
    pvx::gui::ResolveDialog dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), s("Resolve IP Address from Host Name:"));
    EXPECT_FALSE(child<QPushButton>(dialog, "Command3").isEnabled());
    EXPECT_TRUE(child<QLineEdit>(dialog, "txtIPAddress").isReadOnly());

    form.hostName.setText(s("localhost"));
    EXPECT_EQ(child<QLineEdit>(dialog, "txtHostName").text(), s("localhost"));
    child<QPushButton>(dialog, "Command1").click();
    f.resolver.resolveAll();
    EXPECT_EQ(child<QLineEdit>(dialog, "txtIPAddress").text(), s("127.0.0.1"));

    child<QPushButton>(dialog, "Command4").click();
    EXPECT_FALSE(dialog.isVisible());
}
