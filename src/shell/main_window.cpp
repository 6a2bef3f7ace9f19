#include "shell/main_window.h"

#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/file_store.h"
#include "platform/timer.h"
#include "resources/form_strings.h"
#include "resources/string_table.h"
#include "session/session.h"
#include "shell/options_form.h"
#include "shell/session_list.h"

#include <QFileInfo>
#include <QUrl>

namespace pvx::shell {

namespace {

using core::ControlKind;

constexpr int kStartupDelayMs = 1000;
constexpr int kIdleIntervalMs = 60000;

} // namespace

MainWindow::MainWindow(Services services, Paths paths)
    : Form(QStringLiteral("frmMain")),
      fileMenu(ControlKind::MenuItem, QStringLiteral("mnuFile")),
      fileNewItem(ControlKind::MenuItem, QStringLiteral("mnuFileNew")),
      fileOpenItem(ControlKind::MenuItem, QStringLiteral("mnuFileOpen")),
      fileCloseItem(ControlKind::MenuItem, QStringLiteral("mnuFileClose")),
      fileSaveItem(ControlKind::MenuItem, QStringLiteral("mnuFileSave")),
      fileSaveAsItem(ControlKind::MenuItem, QStringLiteral("mnuFileSaveAs")),
      optionsItem(ControlKind::MenuItem, QStringLiteral("mnuOptions")),
      passwordItem(ControlKind::MenuItem, QStringLiteral("mPassword")),
      fileExitItem(ControlKind::MenuItem, QStringLiteral("mnuFileExit")),
      windowMenu(ControlKind::MenuItem, QStringLiteral("mnuWindow")),
      cascadeItem(ControlKind::MenuItem, QStringLiteral("mnuWindowCascade")),
      tileHorizontalItem(ControlKind::MenuItem, QStringLiteral("mnuWindowTileHorizontal")),
      tileVerticalItem(ControlKind::MenuItem, QStringLiteral("mnuWindowTileVertical")),
      arrangeIconsItem(ControlKind::MenuItem, QStringLiteral("mnuWindowArrangeIcons")),
      toolsMenu(ControlKind::MenuItem, QStringLiteral("MTools")),
      pingToolItem(ControlKind::MenuItem, QStringLiteral("mPingTool")),
      resolveToolItem(ControlKind::MenuItem, QStringLiteral("mResolve")),
      helpMenu(ControlKind::MenuItem, QStringLiteral("mnuHelp")),
      helpContentsItem(ControlKind::MenuItem, QStringLiteral("mnuHelpContents")),
      helpSearchItem(ControlKind::MenuItem, QStringLiteral("mnuHelpSearch")),
      homePageItem(ControlKind::MenuItem, QStringLiteral("homePageItem")),
      helpAboutItem(ControlKind::MenuItem, QStringLiteral("mnuHelpAbout")),
      trayOpenItem(ControlKind::MenuItem, QStringLiteral("mnuOpen")),
      trayExitItem(ControlKind::MenuItem, QStringLiteral("mnuExit")),
      trayAboutItem(ControlKind::MenuItem, QStringLiteral("mnuAbout")),
      m_services(std::move(services)),
      m_paths(std::move(paths)),
      m_windowTimer(m_services.timers.create())
{
    setCaption(QStringLiteral("Porvix"));
    registerMenus();
    registerTrayMenu();
    m_windowTimer->setInterval(kStartupDelayMs);
    m_windowTimer->setTimeout([this] { onTimerTick(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::registerMenus()
{
    const std::pair<core::Control *, int> menus[] = {
        {&fileMenu, 2102},         {&fileNewItem, 2103},      {&fileOpenItem, 2104},     {&fileCloseItem, 2101},
        {&fileSaveItem, 2105},     {&fileSaveAsItem, 2106},   {&optionsItem, 2108},      {&passwordItem, 2109},
        {&fileExitItem, 2107},     {&windowMenu, 2110},       {&cascadeItem, 2111},      {&tileHorizontalItem, 2112},
        {&tileVerticalItem, 2113}, {&arrangeIconsItem, 2114}, {&toolsMenu, 2122},        {&pingToolItem, 2123},
        {&resolveToolItem, 2124},  {&helpMenu, 2125},         {&helpContentsItem, 2126}, {&helpSearchItem, 2129},
        {&homePageItem, 2127},     {&helpAboutItem, 2128},
    };
    for (const auto &[control, id] : menus) {
        control->setCaption(QString::number(id));
        addControl(*control);
    }
    helpSearchItem.setVisible(false);
    helpSearchItem.setEnabled(false);

    fileMenu.onClick = [this] { onFileMenuOpened(); };
    fileNewItem.onClick = [this] { onFileNewClicked(); };
    fileOpenItem.onClick = [this] { onFileOpenClicked(); };
    fileCloseItem.onClick = [this] { onFileCloseClicked(); };
    fileSaveItem.onClick = [this] { onFileSaveClicked(); };
    fileSaveAsItem.onClick = [this] { onFileSaveAsClicked(); };
    optionsItem.onClick = [this] { onOptionsClicked(); };
    passwordItem.onClick = [this] { onSetPasswordClicked(); };
    fileExitItem.onClick = [this] { onFileExitClicked(); };
    cascadeItem.onClick = [this] { emit arrangeRequested(Arrangement::Cascade); };
    tileHorizontalItem.onClick = [this] { emit arrangeRequested(Arrangement::TileHorizontal); };
    tileVerticalItem.onClick = [this] { emit arrangeRequested(Arrangement::TileVertical); };
    arrangeIconsItem.onClick = [this] { emit arrangeRequested(Arrangement::ArrangeIcons); };
    pingToolItem.onClick = [this] { onPingToolClicked(); };
    resolveToolItem.onClick = [this] { onResolveToolClicked(); };
    helpContentsItem.onClick = [this] { onHelpContentsClicked(); };
    homePageItem.onClick = [this] { onHomePageClicked(); };
    helpAboutItem.onClick = [this] { onHelpAboutClicked(); };
}

void MainWindow::scheduleStartup()
{
    m_windowTimer->start();
}

void MainWindow::onTimerTick()
{
    // One timer serves two unrelated waits: the start-up delay and the exit
    // delay. A pending exit wins over a start-up that has not run yet.
    if (ExitRequested)
        closeOnExitRequest();
    else if (!StartupDone)
        completeStartup();
}

void MainWindow::closeOnExitRequest()
{
    if (m_closeRoute)
        m_closeRoute();
    else
        close();
}

void MainWindow::completeStartup()
{
    m_windowTimer->setInterval(kIdleIntervalMs);
    initializeApplication();
    // A window the file left minimised starts where minimising puts it.
    if (TrayIconAdded && isMinimized())
        onWindowStateChanged();
    else
        emit showRequested();
    emit started();
}

void MainWindow::initializeApplication()
{
    resources::applyFormStrings(*this, m_services.strings);
    // Saves killed half-way leave temporary copies (holding the password).
    // This instance holds the home's lock, so none belongs to a save still
    // running, however young.
    m_services.files.removeTemporaryFiles(QFileInfo(m_paths.defaultFile).absolutePath());
    AutoActivateFlags.assign(2, 0);
    addTrayIcon();
    getprofilesettings(m_paths.commandLineFile);
    emit startupLoaded(m_paths.commandLineFile.isEmpty() ? m_paths.defaultFile : m_paths.commandLineFile);

    // This instance holds the home's lock, so no other instance runs on it:
    // links left behind by earlier runs are stale.
    SessionList &sessions = m_services.sessions;
    if (sessions.size() > 0)
        sessions.at(0).removeStaleVirtualPorts();

    for (std::size_t n = 1; n <= sessions.size(); ++n) {
        if (n < AutoActivateFlags.size() && AutoActivateFlags[n] == 1) {
            sessions.at(n - 1).toggleActive();
            AutoActivateFlags[n] = 0;
        }
    }
    StartupDone = true;
}

session::Session &MainWindow::createSession()
{
    return m_services.sessions.create();
}

WindowPlacement MainWindow::currentPlacement() const
{
    return m_placementSource ? m_placementSource() : m_placement;
}

void MainWindow::report(const QString &text)
{
    m_services.dialogs.messageBox(text, {}, platform::MessageButtons::Ok, platform::MessageIcon::Critical);
}

void MainWindow::onOptionsClicked()
{
    OptionsForm form(m_services.strings, m_services.dialogs, m_services.settings);
    if (const auto edited = core::showModal(m_services.forms.options, form)) {
        m_services.settings = *edited;
        // Pings switched on must start counting in sessions the tick lets sleep.
        for (const auto &session : m_services.sessions.sessions())
            session->wakePump();
    }
}

void MainWindow::onSetPasswordClicked()
{
    SetPasswordForm form(m_services.strings, m_services.dialogs, m_services.settings.Password);
    if (const auto password = core::showModal(m_services.forms.setPassword, form))
        m_services.settings.Password = *password;
}

void MainWindow::onFileExitClicked()
{
    close();
}

void MainWindow::onTrayExitClicked()
{
    if (checkPassword(m_services.settings.Password, m_services.forms.enterPassword, m_services.dialogs,
                      m_services.strings))
        onFileExitClicked();
}

void MainWindow::onHelpContentsClicked()
{
    if (m_paths.helpFile.isEmpty()) {
        report(QStringLiteral("The manual (manual.html) was not found beside the program."));
        return;
    }
    if (!m_services.desktop || !m_services.desktop->openUrl(QUrl::fromLocalFile(m_paths.helpFile).toString()))
        report(QStringLiteral("Cannot open the manual ") + m_paths.helpFile + QLatin1Char('.'));
}

void MainWindow::onHelpAboutClicked()
{
    about::AboutForm form({m_services.strings, m_services.dialogs, m_services.desktop, m_services.launcher,
                           m_services.clock});
    if (m_services.forms.about)
        m_services.forms.about(form);
}

void MainWindow::onHomePageClicked()
{
    if (m_services.desktop)
        (void)m_services.desktop->openUrl(QLatin1String(kWebAddress));
}

void MainWindow::onWindowStateChanged()
{
    if (currentPlacement().state == kStateMinimized) {
        WindowWasMinimized = true;
        if (TrayIconAdded)
            emit visibilityRequested(false);
        return;
    }
    if (m_resizeGuard)
        return;
    m_resizeGuard = true;
    if (WindowWasMinimized) {
        if (m_services.settings.Password.isEmpty()) {
            m_resizeGuard = false;
            return;
        }
        emit visibilityRequested(false);
        const bool passed = checkPassword(m_services.settings.Password, m_services.forms.enterPassword,
                                          m_services.dialogs, m_services.strings);
        emit windowStateRequested(passed ? kStateNormal : kStateMinimized);
        WindowWasMinimized = !passed;
        emit visibilityRequested(true);
    }
    if (TrayIconAdded && currentPlacement().state == kStateMinimized)
        emit visibilityRequested(false);
    m_resizeGuard = false;
}

void MainWindow::close()
{
    if (m_closing)
        return;
    m_closing = true;
    emit closing();
    m_windowTimer->stop();
    // Dialogs first: a close may arrive while one is open, and nothing may
    // be left waiting on a session that is about to go.
    m_services.dialogs.closeAll();
    // Saved before any session closes, so each records whether it was active.
    // A close before the start-up has loaded anything (a signal in the first
    // second) must not overwrite the file with an empty configuration.
    if (StartupDone)
        (void)writeprofilesettings({});
    m_services.sessions.closeAll();
    removeTrayIcon();
    emit closed();
}

} // namespace pvx::shell
