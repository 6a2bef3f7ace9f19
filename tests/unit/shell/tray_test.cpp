#include "fakes/fake_unattended.h"
#include "support/shell_fixture.h"
#include "support/text.h"

#include <gtest/gtest.h>

using pvx::platform::TrayIcon;
using pvx::resources::Language;
using pvx::shell::kStateMaximized;
using pvx::shell::kStateMinimized;
using pvx::shell::kStateNormal;
using pvx::shell::MainWindow;
using pvx::testing::s;
using pvx::testing::typing;
using Activation = TrayIcon::Activation;

namespace {

/// The main window over a fake icon and a view that does what the model
/// asks: a change of state runs the resize handling, as the real window's
/// does.
struct TrayFixture : pvx::testing::ShellFixture {
    explicit TrayFixture(Language language = Language::English) : ShellFixture(language)
    {
        window->setTrayIcon(&tray);
        window->setPlacementSource([this] { return pvx::shell::WindowPlacement{0, 0, 7000, 7000, state}; });
        MainWindow *model = window.get();
        QObject::connect(model, &MainWindow::showRequested, [this] { visible = true; });
        QObject::connect(model, &MainWindow::visibilityRequested, [this](bool shown) { visible = shown; });
        QObject::connect(model, &MainWindow::windowStateRequested, [this](int wanted) { setState(wanted); });
        QObject::connect(model, &MainWindow::placementChanged,
                         [this](const pvx::shell::WindowPlacement &placement) { setState(placement.state); });
        QObject::connect(model, &MainWindow::foregroundRequested, [this] { ++foregrounds; });
        QObject::connect(model, &MainWindow::closed, [this] { closed = true; });
    }
    void setState(int wanted)
    {
        if (wanted == state)
            return;
        state = wanted;
        window->onWindowStateChanged();
    }
    /// Started, then minimised by the user: hidden in the notification area.
    void startMinimised()
    {
        start();
        setState(kStateMinimized);
    }

    pvx::fakes::FakeTrayIcon tray;
    int state = kStateNormal;
    bool visible = false;
    int foregrounds = 0;
    bool closed = false;
};

} // namespace

TEST(TrayIcon, MinimisedWindowHidesOnlyWhenTheIconWasAdded)
{
    struct Case {
        bool trayAvailable;
        const char *file;
        bool visibleAfterStart;
        bool visibleWhenMinimised;
    };
    const Case cases[] = {
        {true, "", true, false},
        {false, "", true, true},
        // A window the file left minimised starts as minimising would leave it.
        {true, "[Porvix]\nWindowState=1\n", false, false},
        {false, "[Porvix]\nWindowState=1\n", true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.trayAvailable << " " << c.file);
        TrayFixture f;
        f.tray.available = c.trayAvailable;
        f.writeDefault(c.file);
        f.start();
        EXPECT_EQ(f.tray.adds, 1);
        EXPECT_EQ(f.tray.toolTip, s("Porvix"));
        EXPECT_EQ(f.window->TrayIconAdded, c.trayAvailable);
        EXPECT_EQ(f.visible, c.visibleAfterStart);
        f.setState(kStateMinimized);
        EXPECT_EQ(f.visible, c.visibleWhenMinimised);
        EXPECT_TRUE(f.window->WindowWasMinimized);

        f.window->close();
        EXPECT_EQ(f.tray.removals, c.trayAvailable ? 1 : 0);
    }
}

TEST(TrayIcon, ClicksCountOnlyWhileTheWindowIsMinimised)
{
    enum class Outcome {
        Nothing,
        Opens,
        ShowsMenu,
    };
    struct Case {
        int state;
        bool hidden;
        Activation activation;
        Outcome outcome;
    };
    const Case cases[] = {
        {kStateNormal, false, Activation::DoubleClick, Outcome::Nothing},
        {kStateMaximized, false, Activation::Context, Outcome::Nothing},
        {kStateMinimized, true, Activation::DoubleClick, Outcome::Opens},
        {kStateMinimized, true, Activation::Context, Outcome::ShowsMenu},
        {kStateMinimized, true, Activation::Other, Outcome::Nothing},
        {kStateMinimized, false, Activation::DoubleClick, Outcome::Opens},
        {kStateMinimized, false, Activation::Context, Outcome::ShowsMenu},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.state << " " << c.hidden << " " << static_cast<int>(c.activation));
        TrayFixture f;
        f.start();
        f.setState(c.state);
        f.visible = !c.hidden;
        f.tray.activate(c.activation);
        const bool opened = c.outcome == Outcome::Opens;
        EXPECT_EQ(f.state, opened ? kStateNormal : c.state);
        EXPECT_EQ(f.visible, opened || !c.hidden);
        EXPECT_EQ(f.tray.menus.size(), c.outcome == Outcome::ShowsMenu ? 1 : 0);
        EXPECT_EQ(f.foregrounds, 0);
    }
}

TEST(TrayIcon, OpeningAsksForThePasswordWhenOneIsSet)
{
    struct Case {
        const char *password;
        std::optional<const char *> typed;
        int prompts;
        bool opens;
        int messages;
    };
    const Case cases[] = {
        {"", "ignored", 0, true, 0},
        {"Secret", "Secret", 1, true, 0},
        {"Secret", "secret", 1, false, 1},
        {"Secret", std::nullopt, 1, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.value_or("(cancel)"));
        TrayFixture f;
        f.startMinimised();
        f.settings.Password = s(c.password);
        f.enterPassword = typing(c.typed);
        f.tray.activate(Activation::DoubleClick);
        EXPECT_EQ(f.passwordPrompts, c.prompts);
        EXPECT_EQ(f.dialogs.messages.size(), c.messages);
        EXPECT_EQ(f.state, c.opens ? kStateNormal : kStateMinimized);
        EXPECT_EQ(f.visible, c.opens) << "a failed check leaves it in the notification area";
    }
}

TEST(TrayIcon, PopUpMenu)
{
    const std::pair<Language, QStringList> captions[] = {
        {Language::English, {s("&Open Porvix"), s("E&xit Porvix"), s("-"), s("[&About...]")}},
        {Language::Japanese, {s("Porvix を開く(&O)"), s("Porvix を終了(&x)"), s("-"), s("[バージョン情報(&A)...]")}},
    };
    for (const auto &[language, texts] : captions) {
        TrayFixture f(language);
        f.startMinimised();
        f.tray.activate(Activation::Context);
        EXPECT_EQ(f.tray.menuTexts(), texts);
    }

    TrayFixture f;
    f.startMinimised();
    f.tray.activate(Activation::Context);
    int abouts = 0;
    f.about = [&abouts](pvx::about::AboutForm &) { ++abouts; };
    f.tray.choose(3);
    EXPECT_EQ(abouts, 1);

    // Exit needs the password; a wrong one leaves the program running hidden.
    f.settings.Password = s("pw");
    f.enterPassword = typing("wrong");
    f.tray.choose(1);
    EXPECT_FALSE(f.closed);
    EXPECT_FALSE(f.visible);

    // Open from a menu the window has outlived in the minimised state.
    f.enterPassword = typing("pw");
    f.tray.choose(0);
    EXPECT_EQ(f.state, kStateNormal);
    f.tray.choose(0);
    EXPECT_EQ(f.foregrounds, 1);

    f.tray.choose(1);
    EXPECT_TRUE(f.closed);
    EXPECT_EQ(f.tray.removals, 1);
    EXPECT_TRUE(f.saved().hasSection(s("Session1"))) << "Exit runs the whole shutdown";
}
