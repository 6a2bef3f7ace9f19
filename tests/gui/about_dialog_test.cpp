#include "gui/about_dialog.h"

#include "about/about_form.h"
#include "support/key_press.h"
#include "support/shell_fixture.h"
#include "support/text.h"
#include "support/widget_lookup.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

using pvx::testing::child;
using pvx::testing::s;

TEST(AboutDialog, ShowsTheTextsAndItsLinkAndButtonsWork)
{
    pvx::testing::ShellFixture f;
    pvx::about::AboutForm form({f.strings, f.dialogs, &f.desktop, f.launcher, f.clock});
    pvx::gui::AboutDialog dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), s("About Porvix"));
    EXPECT_EQ(child<QLabel>(dialog, "lblTitle").text(), s("Porvix - RS232 to TCP/IP Converter"));
    EXPECT_EQ(child<QLabel>(dialog, "lblVersion").text(), s("V. " PVX_VERSION));
    QLabel &link = child<QLabel>(dialog, "Label4");
    EXPECT_TRUE(link.font().underline());

    const QPointF inside(2, 2);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, link.mapToGlobal(inside), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&link, &release);
    EXPECT_EQ(f.desktop.opened, QStringList{s("https://porvix.example.org/")});

    child<QPushButton>(dialog, "cmdSysInfo").click();
    ASSERT_EQ(f.dialogs.messages.size(), 1);
    EXPECT_TRUE(dialog.isVisible());

    pvx::testing::pressEscape(dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(form.isLoaded());
}
