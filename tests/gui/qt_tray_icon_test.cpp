#include "gui/qt_tray_icon.h"

#include "support/text.h"
#include "support/wait_until.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

using pvx::gui::QtTrayIcon;
using pvx::testing::s;

TEST(QtTrayIcon, WithoutANotificationAreaThereIsNoIcon)
{
    QtTrayIcon tray;
    EXPECT_FALSE(tray.add(s("Porvix")));
    tray.remove();
}

TEST(QtTrayIcon, MenuRunsTheChosenItemOnceItHasClosed)
{
    QtTrayIcon tray;
    QStringList chosen;
    // Every item takes the icon away, menu and all, as Exit does.
    const auto item = [&chosen, &tray](const char *text, bool isDefault = false) {
        return QtTrayIcon::MenuItem{s(text), [&chosen, &tray, text] {
                                        chosen.append(s(text));
                                        tray.remove();
                                    },
                                    isDefault};
    };
    tray.showMenu({item("&Open"), item("E&xit"), {}, item("&About...", true)});
    QMenu *menu = tray.menu();
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts.append(action->isSeparator() ? s("-") : action->text());
    EXPECT_EQ(texts, (QStringList{s("&Open"), s("E&xit"), s("-"), s("&About...")}));
    ASSERT_TRUE(menu->defaultAction());
    EXPECT_EQ(menu->defaultAction()->text(), s("&About..."));

    menu->actions().at(1)->trigger();
    EXPECT_TRUE(chosen.isEmpty()) << "not from inside the menu's own click";
    EXPECT_TRUE(waitUntil([&chosen] { return !chosen.isEmpty(); }));
    EXPECT_EQ(chosen, QStringList{s("E&xit")});
    EXPECT_EQ(tray.menu(), nullptr);
}
