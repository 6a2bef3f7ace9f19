#include "gui/main_frame.h"

#include "fakes/fake_unattended.h"
#include "gui/mdi_arrangement.h"
#include "gui/monitor_widget.h"
#include "gui/options_dialog.h"
#include "gui/qt_dialogs.h"
#include "support/shell_fixture.h"
#include "support/text.h"
#include "support/widget_lookup.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

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
    MainFrame frame{*window, sessions, dialogs, {strings, dialogs, files, timers}};
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
    EXPECT_EQ(bar, (QStringList{s("&File"), s("&Window"), s("&Tools"), s("&Help")}));
    EXPECT_EQ(texts(menu(f.frame, "mnuFile")),
              (QStringList{s("&New"), s("&Open"), s("&Close"), s("-"), s("&Save"), s("Save &As..."), s("-"),
                           s("Options..."), s("Password..."), s("-"), s("E&xit")}));
    EXPECT_EQ(texts(menu(f.frame, "mnuWindow")),
              (QStringList{s("&Cascade"), s("Tile &Horizontal"), s("Tile &Vertical"), s("&Arrange All")}));
    EXPECT_EQ(texts(menu(f.frame, "MTools")),
              (QStringList{s("&Ping IP Address..."), s("&Resolve IP Address from Host Name...")}));
    EXPECT_EQ(texts(menu(f.frame, "mnuHelp")), (QStringList{s("&Contents"), s("-"), s("Porvix on the &Web"), s("-"), s("&About...")}));
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

    // A long name is cut in the middle in the menu only; an '&' stays an '&'.
    const QString longName = QString(170, QLatin1Char('a')) + s("R&D") + QString(26, QLatin1Char('z'));
    f.sessionWindow(2).setWindowName(longName);
    emit list.aboutToShow();
    EXPECT_EQ(texts(list).last(), s("&3 ") + QString(29, QLatin1Char('a')) + QChar(0x2026) + s("aR&&D")
                                      + QString(26, QLatin1Char('z')));
    EXPECT_EQ(windows.at(2)->windowTitle(), longName);

    list.actions().at(6)->trigger();
    EXPECT_EQ(f.frame.area().currentSubWindow(), windows.at(1));

    // Closing a child window discards its session; the list follows.
    windows.at(0)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(f.sessions.size(), 2u);
    emit list.aboutToShow();
    EXPECT_EQ(texts(list).mid(5, 1), (QStringList{s("&1 Scales")}));
    EXPECT_TRUE(texts(list).last().startsWith(s("&2 aaa")));
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

TEST(MainFrame, OneMonitorWindowPerSessionThatGoesWithTheSession)
{
    FrameFixture f;
    f.start();
    pvx::session::Session &session = f.sessions.at(0);
    session.window().monitorButton.onClick();
    session.window().monitorButton.onClick();
    const auto monitors = f.frame.findChildren<pvx::gui::MonitorWidget *>();
    ASSERT_EQ(monitors.size(), 1);
    EXPECT_TRUE(monitors[0]->isVisible());
    EXPECT_EQ(monitors[0]->windowTitle(), s("Monitor - ") + session.name());
    session.window().setWindowName(s("Scales"));
    EXPECT_EQ(monitors[0]->windowTitle(), s("Monitor - Scales"));
    EXPECT_TRUE(session.trace().watched());
    const QPointer<pvx::gui::MonitorWidget> monitor = monitors[0];
    f.sessions.close(session);
    EXPECT_TRUE(monitor.isNull());
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

TEST(MainFrame, TiledSessionWindowsKeepEveryLabelWholeAndScrollInASmallFrame)
{
    for (const auto language : {pvx::resources::Language::English, pvx::resources::Language::Japanese}) {
        FrameFixture f(language);
        f.start();
        action(f.frame, "mnuFileNew").trigger();
        action(f.frame, "mnuFileNew").trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.frame.size(), QSize(467, 467)) << "a session window never forces the frame's size";

        action(f.frame, "mnuWindowTileVertical").trigger();
        QCoreApplication::processEvents();
        EXPECT_GT(f.frame.area().horizontalScrollBar()->maximum(), 0) << "the area scrolls instead";
        for (QMdiSubWindow *window : f.frame.area().subWindowList()) {
            for (const QWidget *control : window->widget()->findChildren<QWidget *>()) {
                const bool captioned =
                    qobject_cast<const QLabel *>(control) || qobject_cast<const QAbstractButton *>(control);
                if (!captioned || !control->isVisible() || control->objectName().startsWith(s("StatusBar1")))
                    continue;
                const QSize whole = control->minimumSizeHint();
                EXPECT_TRUE(control->width() >= whole.width() && control->height() >= whole.height())
                    << control->objectName().toStdString() << ' ' << control->width() << '<' << whole.width();
            }
        }

        ASSERT_TRUE(f.window->writeprofilesettings({}));
        EXPECT_EQ(f.saved().readInt(s("Porvix"), s("MainWidth"), 0), 7000) << "the default size comes back as it was";
        EXPECT_EQ(f.saved().readInt(s("Porvix"), s("MainHeight"), 0), 7000);
    }
}

TEST(MainFrame, SessionWindowsAtTheFirstStartLeaveEachOtherUncovered)
{
    using pvx::resources::Language;
    // 18000 x 10500 twips are 1200 x 700 pixels; the default frame is smaller
    // than one session window.
    const char *wide = "MainWidth=18000\nMainHeight=10500\n";
    const struct {
        Language language;
        const char *frame;
    } cases[] = {{Language::English, wide}, {Language::Japanese, wide}, {Language::English, ""}, {Language::Japanese, ""}};
    for (const auto &c : cases) {
        FrameFixture f(c.language);
        f.writeDefault((std::string("[Porvix]\nNumSessions=2\n") + c.frame +
                        "[Session1]\nConnector=5\nCreateVirtualPort=1\nTCPOption=1\nAutoActivate=1\n"
                        "[Session2]\nConnector=3\nIPAddress=192.0.2.20\n")
                           .c_str());
        f.start();
        const auto windows = f.frame.area().subWindowList(QMdiArea::CreationOrder);
        ASSERT_EQ(windows.size(), 2);
        const auto &deactivate = pvx::testing::child<QAbstractButton>(*windows.at(0), "Command1");
        ASSERT_EQ(deactivate.text(), f.strings.text(5118));
        const QRect button(deactivate.mapTo(f.frame.area().viewport(), QPoint(0, 0)), deactivate.size());
        const QRect second = windows.at(1)->geometry();
        const auto where = testing::Message() << static_cast<int>(c.language) << ' ' << c.frame;
        EXPECT_FALSE(second.intersects(button)) << where;
        EXPECT_FALSE(second.intersects(windows.at(0)->geometry())) << where;
        EXPECT_TRUE(f.frame.area().viewport()->rect().contains(second.topLeft())) << where << " scrolled to";
    }
}

TEST(MainFrame, JapaneseWindowsDrawInTheApplicationFont)
{
    FrameFixture f(pvx::resources::Language::Japanese);
    f.start();
    pvx::shell::OptionsForm form(f.strings, f.dialogs, f.settings);
    pvx::gui::OptionsDialog options(form);
    for (QWidget *window : std::initializer_list<QWidget *>{&f.frame, &options}) {
        for (const QWidget *widget : window->findChildren<QWidget *>()) {
            EXPECT_FALSE(widget->testAttribute(Qt::WA_SetFont))
                << widget->objectName().toStdString() << ' ' << widget->font().family().toStdString();
        }
    }
}

TEST(MainFrame, AltFOpensFileFirstAndFlowControlOnTheNextPress)
{
    for (const auto language : {pvx::resources::Language::English, pvx::resources::Language::Japanese}) {
        FrameFixture f(language);
        f.start();
        f.frame.activateWindow();
        QCoreApplication::processEvents();
        auto &connector = pvx::testing::child<QComboBox>(f.frame, "Combo2");
        auto &flowControl = pvx::testing::child<QComboBox>(f.frame, "Combo14");
        QMenu &file = menu(f.frame, "mnuFile");
        const auto altF = [] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_F, Qt::AltModifier, s("f"));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
            QCoreApplication::processEvents();
        };

        connector.setFocus();
        for (int round = 0; round < 2; ++round) {
            altF();
            EXPECT_TRUE(file.isVisible()) << round;
            file.close();
            QCoreApplication::processEvents();
            altF();
            EXPECT_EQ(QApplication::focusWidget(), &flowControl) << round;
        }
        altF();
        file.close();
        connector.setFocus();
        altF();
        EXPECT_TRUE(file.isVisible()) << "after the user moved on, the menu comes first again";
    }
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

TEST(MainFrame, AnExitRequestedWhileADialogIsOpenClosesItFirstAndSaves)
{
    ShellFixture f;
    pvx::gui::QtDialogs dialogs;
    MainFrame frame{*f.window, f.sessions, dialogs, {f.strings, dialogs, f.files, f.timers}};
    f.start();
    bool requestedInsideTheDialog = false;
    std::size_t sessionsAfterTheDialog = 0;
    f.options = [&](pvx::shell::OptionsForm &form) {
        pvx::gui::OptionsDialog(form, &frame).exec();
        sessionsAfterTheDialog = f.sessions.size();
    };
    QEventLoop loop;
    QObject::connect(f.window.get(), &pvx::shell::MainWindow::closed, &loop, &QEventLoop::quit);
    QTimer::singleShot(0, &frame, [&] { action(frame, "mnuOptions").trigger(); });
    QTimer::singleShot(100, &frame, [&] {
        requestedInsideTheDialog = QApplication::activeModalWidget() != nullptr;
        ASSERT_TRUE(f.window->runCommand(s("[APPEXIT]")));
        f.timer1().fire();
    });
    bool dialogLeftOpen = false;
    QTimer::singleShot(5000, &loop, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            dialogLeftOpen = true;
            modal->close();
        }
        loop.quit();
    });
    loop.exec();

    EXPECT_TRUE(requestedInsideTheDialog);
    EXPECT_FALSE(dialogLeftOpen);
    EXPECT_TRUE(f.window->isClosing());
    EXPECT_EQ(sessionsAfterTheDialog, 1u) << "the sessions outlive the dialog's handler";
    EXPECT_EQ(f.sessions.size(), 0u);
    EXPECT_EQ(f.saved().readInt(s("Porvix"), s("NumSessions"), 0), 1);
}

TEST(MainFrame, TilingPutsTheWindowsSideBySide)
{
    FrameFixture f;
    f.start();
    action(f.frame, "mnuFileNew").trigger();
    f.frame.resize(1400, 1100);
    action(f.frame, "mnuWindowTileVertical").trigger();
    const auto windows = f.frame.area().subWindowList(QMdiArea::CreationOrder);
    const QRect area = f.frame.area().viewport()->rect();
    EXPECT_EQ(windows.at(0)->geometry(), QRect(0, 0, area.width() / 2, area.height()));
    EXPECT_EQ(windows.at(1)->geometry().left(), area.width() / 2);

    action(f.frame, "mnuWindowTileHorizontal").trigger();
    EXPECT_EQ(windows.at(0)->geometry(), QRect(0, 0, area.width(), area.height() / 2));
    EXPECT_EQ(windows.at(1)->geometry().top(), area.height() / 2);
}

TEST(MdiArrangement, TilesCoverTheAreaWithoutOverlapAndNeverGoBelowTheMinimum)
{
    const QRect area(0, 0, 1001, 703);
    for (const QSize minimum : {QSize(), QSize(527, 467)}) {
        for (const auto orientation : {Qt::Horizontal, Qt::Vertical}) {
            for (int count : {1, 2, 3, 4, 5, 7, 10, 17}) {
                const QList<QRect> rects = pvx::gui::tileRects(area, count, orientation, minimum);
                ASSERT_EQ(rects.size(), count);
                QRect covering;
                long long covered = 0;
                for (qsizetype i = 0; i < rects.size(); ++i) {
                    covering |= rects.at(i);
                    covered += static_cast<long long>(rects.at(i).width()) * rects.at(i).height();
                    EXPECT_TRUE(rects.at(i).width() >= minimum.width() && rects.at(i).height() >= minimum.height())
                        << count;
                    for (qsizetype j = i + 1; j < rects.size(); ++j)
                        EXPECT_FALSE(rects.at(i).intersects(rects.at(j))) << count << ' ' << i << ' ' << j;
                }
                EXPECT_TRUE(covering.contains(area)) << count;
                EXPECT_EQ(covered, static_cast<long long>(covering.width()) * covering.height()) << count;
                if (minimum.isEmpty()) {
                    EXPECT_EQ(covering, area) << "windows that fit stay inside the area";
                }
            }
        }
    }
    const QList<QRect> three = pvx::gui::tileRects(area, 3, Qt::Horizontal);
    EXPECT_EQ(three.at(0).width(), area.width()) << "up to three windows are full-width strips";
    EXPECT_TRUE(pvx::gui::tileRects(area, 0, Qt::Horizontal).isEmpty());
}

TEST(MdiArrangement, NewWindowsGoWhereTheyCoverNoOtherAndScrollOnlyWithoutRoom)
{
    const QRect view(0, 0, 1000, 600);
    const QSize size(400, 300);
    const struct {
        const char *what;
        QList<QRect> taken;
        QPoint expected;
    } cases[] = {
        {"empty", {}, QPoint(0, 0)},
        {"beside the first", {QRect(0, 0, 450, 320)}, QPoint(450, 0)},
        {"below when the row is full", {QRect(0, 0, 450, 320), QRect(450, 0, 450, 200)}, QPoint(450, 200)},
        {"into a gap", {QRect(0, 0, 300, 600), QRect(700, 0, 300, 600)}, QPoint(300, 0)},
        {"no room: beside, the smaller whole", {QRect(0, 0, 700, 500)}, QPoint(700, 0)},
        {"no room: below, the smaller whole", {QRect(0, 0, 950, 400)}, QPoint(0, 400)},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pvx::gui::freePlace(view, size, c.taken), c.expected) << c.what;
}

TEST(MdiArrangement, IconsFillRowsFromTheBottom)
{
    const QList<QPoint> corners = pvx::gui::iconPositions(QRect(0, 0, 250, 300), QSize(100, 30), 3);
    EXPECT_EQ(corners, (QList<QPoint>{QPoint(0, 270), QPoint(100, 270), QPoint(0, 240)}));
}

TEST(MainFrame, MinimisedIntoTheTrayAndBackBehindThePassword)
{
    FrameFixture f;
    pvx::fakes::FakeTrayIcon tray;
    f.window->setTrayIcon(&tray);
    f.start();
    f.settings.Password = s("pw");
    for (const char *typed : {"wrong", "pw"}) {
        f.frame.setWindowState(Qt::WindowMinimized);
        EXPECT_FALSE(f.frame.isVisible()) << typed;
        f.enterPassword = pvx::testing::typing(typed);
        tray.activate(pvx::platform::TrayIcon::Activation::DoubleClick);
    }
    EXPECT_EQ(f.passwordPrompts, 2);
    EXPECT_TRUE(f.frame.isVisible());
    EXPECT_FALSE(f.frame.isMinimized());
}
