#include "gui/main_frame.h"

#include "gui/mdi_arrangement.h"
#include "support/shell_fixture.h"
#include "support/text.h"

#include <QAction>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

using pvx::gui::MainFrame;
using pvx::testing::s;
using pvx::testing::ShellFixture;

namespace {

QAction &action(QWidget &frame, const char *name)
{
    auto *found = frame.findChild<QAction *>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(name);
    return *found;
}

QMenu &menu(QWidget &frame, const char *name)
{
    auto *found = frame.findChild<QMenu *>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(name);
    return *found;
}

QStringList texts(const QMenu &menu)
{
    QStringList result;
    for (const QAction *item : menu.actions()) {
        if (item->isSeparator())
            result.append(s("-"));
        else if (item->isVisible())
            result.append(item->text());
    }
    return result;
}

struct FrameFixture : ShellFixture {
    explicit FrameFixture(pvx::resources::Language language = pvx::resources::Language::English)
        : ShellFixture(language)
    {
    }
    MainFrame frame{*window, sessions, dialogs};
};

} // namespace

TEST(MainFrame, MenusCarryTheirCaptionsAndShortcuts)
{
    FrameFixture f;
    EXPECT_EQ(menu(f.frame, "mnuFile").title(), s("2102")) << "ids until the start-up";
    f.start();
    EXPECT_TRUE(f.frame.isVisible());
    EXPECT_EQ(f.frame.windowTitle(), s("Porvix"));
    QStringList bar;
    for (const QAction *item : f.frame.menuBar()->actions()) {
        if (item->isVisible())
            bar.append(item->text());
    }
    EXPECT_EQ(bar, (QStringList{s("&File"), s("&Window"), s("&Help")}));
    EXPECT_EQ(texts(menu(f.frame, "mnuFile")),
              (QStringList{s("&New"), s("&Open"), s("&Close"), s("-"), s("&Save"), s("Save &As..."), s("-"),
                           s("Options..."), s("Password..."), s("-"), s("E&xit")}));
    EXPECT_EQ(texts(menu(f.frame, "mnuWindow")),
              (QStringList{s("&Cascade"), s("Tile &Horizontal"), s("Tile &Vertical"), s("&Arrange All")}));
    EXPECT_EQ(texts(menu(f.frame, "mnuHelp")), (QStringList{s("&Contents"), s("-"), s("Ormand on the &Web"), s("-")}));
    EXPECT_EQ(action(f.frame, "mnuFileNew").shortcut(), QKeySequence(s("Ctrl+N")));
    EXPECT_EQ(action(f.frame, "mnuFileOpen").shortcut(), QKeySequence(s("Ctrl+O")));
    EXPECT_EQ(action(f.frame, "mnuFileSave").shortcut(), QKeySequence(s("Ctrl+S")));
}

TEST(MainFrame, JapaneseCaptions)
{
    FrameFixture f(pvx::resources::Language::Japanese);
    f.start();
    EXPECT_EQ(menu(f.frame, "mnuFile").title(), s("ファイル(&F)"));
    EXPECT_EQ(action(f.frame, "mnuFileExit").text(), s("終了(&x)"));
}

TEST(MainFrame, WindowListFollowsTheSessions)
{
    FrameFixture f;
    f.start();
    action(f.frame, "mnuFileNew").trigger();
    action(f.frame, "mnuFileNew").trigger();
    ASSERT_EQ(f.sessions.size(), 3u);
    f.sessionWindow(1).setWindowName(s("Scales"));
    const auto windows = f.frame.area().subWindowList(QMdiArea::CreationOrder);
    f.frame.area().setActiveSubWindow(windows.at(2));

    QMenu &list = menu(f.frame, "mnuWindow");
    emit list.aboutToShow();
    QStringList entries = texts(list).mid(4);
    EXPECT_EQ(entries, (QStringList{s("-"), s("&1 New - RS232 to TCP/IP"), s("&2 Scales"), s("&3 New - RS232 to TCP/IP")}));
    EXPECT_TRUE(list.actions().last()->isChecked());

    list.actions().at(6)->trigger();
    EXPECT_EQ(f.frame.area().currentSubWindow(), windows.at(1));

    // Closing a child window discards its session; the list follows.
    windows.at(0)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(f.sessions.size(), 2u);
    emit list.aboutToShow();
    EXPECT_EQ(texts(list).mid(4), (QStringList{s("-"), s("&1 Scales"), s("&2 New - RS232 to TCP/IP")}));
}

TEST(MainFrame, FileCloseClosesTheActiveSessionAndIsDisabledWithoutOne)
{
    FrameFixture f;
    f.start();
    action(f.frame, "mnuFileNew").trigger();
    const auto windows = f.frame.area().subWindowList(QMdiArea::CreationOrder);
    f.frame.area().setActiveSubWindow(windows.at(0));
    pvx::session::Session *second = &f.sessions.at(1);

    action(f.frame, "mnuFileClose").trigger();
    ASSERT_EQ(f.sessions.size(), 1u);
    EXPECT_EQ(&f.sessions.at(0), second);
    EXPECT_EQ(f.frame.area().subWindowList().size(), 1);

    f.frame.area().setActiveSubWindow(f.frame.area().subWindowList().first());
    action(f.frame, "mnuFileClose").trigger();
    EXPECT_EQ(f.sessions.size(), 0u);
    emit menu(f.frame, "mnuFile").aboutToShow();
    EXPECT_FALSE(action(f.frame, "mnuFileClose").isEnabled());
    action(f.frame, "mnuFileNew").trigger();
    emit menu(f.frame, "mnuFile").aboutToShow();
    EXPECT_TRUE(action(f.frame, "mnuFileClose").isEnabled());
}

TEST(MainFrame, PlacementFromTheFileAndBackInTwips)
{
    FrameFixture f;
    f.writeDefault("[Porvix]\nMainLeft=1500\nMainTop=3000\nMainWidth=12000\nMainHeight=10500\n");
    f.start();
    EXPECT_EQ(f.frame.pos(), QPoint(100, 200));
    EXPECT_EQ(f.frame.size(), QSize(800, 700));
    EXPECT_EQ(f.window->currentPlacement(), (pvx::shell::WindowPlacement{1500, 3000, 12000, 10500, 0}));

    f.frame.resize(900, 750);
    ASSERT_TRUE(f.window->writeprofilesettings({}));
    EXPECT_EQ(f.saved().readInt(s("Porvix"), s("MainWidth"), 0), 13500);
    EXPECT_EQ(f.saved().readInt(s("Porvix"), s("MainHeight"), 0), 11250);
}

TEST(MainFrame, ExitSavesClosesTheSessionsAndHides)
{
    FrameFixture f;
    f.start();
    action(f.frame, "mnuFileNew").trigger();
    int closed = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, [&closed] { ++closed; });
    action(f.frame, "mnuFileExit").trigger();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(f.frame.isVisible());
    EXPECT_TRUE(f.frame.area().subWindowList().isEmpty());
    EXPECT_EQ(f.saved().readInt(s("Porvix"), s("NumSessions"), 0), 2);

    f.frame.close();
    EXPECT_EQ(closed, 1) << "the shutdown runs once";
}

TEST(MainFrame, TheCloseBoxShutsDownLikeExit)
{
    FrameFixture f;
    f.start();
    int closed = 0;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, [&closed] { ++closed; });
    EXPECT_TRUE(f.frame.close());
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(f.files.files.contains(QLatin1String(ShellFixture::kDefaultFile)));
}

TEST(MainFrame, TilingPutsTheWindowsSideBySide)
{
    FrameFixture f;
    f.start();
    action(f.frame, "mnuFileNew").trigger();
    f.frame.resize(800, 600);
    action(f.frame, "mnuWindowTileVertical").trigger();
    const auto windows = f.frame.area().subWindowList(QMdiArea::CreationOrder);
    const QRect area = f.frame.area().viewport()->rect();
    EXPECT_EQ(windows.at(0)->geometry(), QRect(0, 0, area.width() / 2, area.height()));
    EXPECT_EQ(windows.at(1)->geometry().left(), area.width() / 2);

    action(f.frame, "mnuWindowTileHorizontal").trigger();
    EXPECT_EQ(windows.at(0)->geometry(), QRect(0, 0, area.width(), area.height() / 2));
    EXPECT_EQ(windows.at(1)->geometry().top(), area.height() / 2);
}

TEST(MdiArrangement, TilesCoverTheAreaWithoutOverlap)
{
    const QRect area(0, 0, 1001, 703);
    for (const auto orientation : {Qt::Horizontal, Qt::Vertical}) {
        for (int count : {1, 2, 3, 4, 5, 7, 10, 17}) {
            const QList<QRect> rects = pvx::gui::tileRects(area, count, orientation);
            ASSERT_EQ(rects.size(), count);
            long long covered = 0;
            for (qsizetype i = 0; i < rects.size(); ++i) {
                EXPECT_TRUE(area.contains(rects.at(i))) << count;
                covered += static_cast<long long>(rects.at(i).width()) * rects.at(i).height();
                for (qsizetype j = i + 1; j < rects.size(); ++j)
                    EXPECT_FALSE(rects.at(i).intersects(rects.at(j))) << count << ' ' << i << ' ' << j;
            }
            EXPECT_EQ(covered, static_cast<long long>(area.width()) * area.height()) << count;
        }
    }
    const QList<QRect> three = pvx::gui::tileRects(area, 3, Qt::Horizontal);
    EXPECT_EQ(three.at(0).width(), area.width()) << "up to three windows are full-width strips";
    EXPECT_TRUE(pvx::gui::tileRects(area, 0, Qt::Horizontal).isEmpty());
}

TEST(MdiArrangement, IconsFillRowsFromTheBottom)
{
    const QList<QPoint> corners = pvx::gui::iconPositions(QRect(0, 0, 250, 300), QSize(100, 30), 3);
    EXPECT_EQ(corners, (QList<QPoint>{QPoint(0, 270), QPoint(100, 270), QPoint(0, 240)}));
}
