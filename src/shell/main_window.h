#pragma once

#include "about/about_form.h"
#include "core/control.h"
#include "core/environment.h"
#include "core/form.h"
#include "platform/tray_icon.h"
#include "session/program_settings.h"
#include "shell/password_forms.h"
#include "shell/window_placement.h"

#include <functional>
#include <memory>
#include <vector>

namespace pvx::core {
struct PortMap;
}
namespace pvx::platform {
class Autostart;
class Clock;
class Desktop;
class Dialogs;
class FileStore;
class HostResolver;
class IcmpEcho;
class ProcessLauncher;
class Timer;
class TimerFactory;
}
namespace pvx::resources {
class StringTable;
}
namespace pvx::session {
class Session;
}
namespace pvx::tools {
class PingForm;
class ResolveForm;
}

namespace pvx::shell {

class OptionsForm;
class SessionList;

/// The arrangements of the session windows, as the Window menu offers them.
enum class Arrangement {
    Cascade = 0,
    TileHorizontal = 1,
    TileVertical = 2,
    ArrangeIcons = 3,
};

/// The dialogs the main window opens. Each shows its form modally and
/// returns once the form has unloaded; a missing one shows nothing and
/// changes nothing (the headless face has none).
struct ShellForms {
    core::FormRunner<SetPasswordForm> setPassword;
    EnterPasswordRunner enterPassword;
    core::FormRunner<OptionsForm> options;
    core::FormRunner<about::AboutForm> about;
    std::function<void(tools::PingForm &)> ping;
    std::function<void(tools::ResolveForm &)> resolve;
};

/// The main window's model (frmMain): its menus, the start-up, the
/// configuration files and the shutdown. The GUI shows it through a view;
/// the headless face runs it without one. Everything runs on the event-loop
/// thread.
class MainWindow : public core::Form {
    Q_OBJECT
public:
    struct Services {
        const resources::StringTable &strings;
        platform::Dialogs &dialogs;
        platform::FileStore &files;
        platform::Autostart &autostart;
        /// Opens the manual and the web page; none without a desktop.
        platform::Desktop *desktop = nullptr;
        platform::TimerFactory &timers;
        SessionList &sessions;
        session::ProgramSettings &settings;
        /// Assigned at every load; the sessions hold it by reference.
        core::PortMap &ports;
        core::EnvironmentLookup environment;
        unsigned int uid = 0;
        ShellForms forms;
        /// What the Tools menu's windows ping and look up with.
        platform::IcmpEcho &echo;
        platform::HostResolver &resolver;
        /// For the About window: its system-information button and its year.
        platform::ProcessLauncher &launcher;
        const platform::Clock &clock;
    };
    struct Paths {
        /// default.pvx in the home: loaded at start, saved at every close.
        QString defaultFile;
        /// The file the command line names; empty for the default file.
        QString commandLineFile;
        /// What the logon entry runs.
        QString startupCommand;
        /// The manual; empty when it was not found.
        QString helpFile;
    };

    /// The most sessions one configuration loads; a file asking for more
    /// gets these and a message.
    static constexpr int kMaxSessions = 1024;
    /// Where the web item of the Help menu leads.
    static constexpr const char *kWebAddress = about::kWebAddress;

    MainWindow(Services services, Paths paths);
    ~MainWindow() override;

    // The menus; each caption holds its string id until the start-up
    // localises it.
    core::Control fileMenu;
    core::Control fileNewItem;
    core::Control fileOpenItem;
    core::Control fileCloseItem;
    core::Control fileSaveItem;
    core::Control fileSaveAsItem;
    core::Control optionsItem;
    core::Control passwordItem;
    core::Control fileExitItem;
    core::Control windowMenu;
    core::Control cascadeItem;
    core::Control tileHorizontalItem;
    core::Control tileVerticalItem;
    core::Control arrangeIconsItem;
    core::Control toolsMenu;
    core::Control pingToolItem;
    core::Control resolveToolItem;
    core::Control helpMenu;
    core::Control helpContentsItem;
    core::Control helpSearchItem;
    /// Help's item that opens the project's home page.
    core::Control homePageItem;
    core::Control helpAboutItem;
    // The pop-up menu of the notification-area icon.
    core::Control trayOpenItem;
    core::Control trayExitItem;
    core::Control trayAboutItem;

    /// The file last chosen in File Open or Save As.
    QString CurrentFileName;
    /// Per session number (from 1): activate at start-up.
    std::vector<qint16> AutoActivateFlags;
    bool StartupDone = false;
    /// Set when the window is minimised; cleared by a passed password check.
    bool WindowWasMinimized = false;
    /// The notification-area icon exists (then a minimised window hides).
    bool TrayIconAdded = false;
    /// Another program asked the program to exit; the window's timer closes
    /// the window at its next tick. Never cleared.
    bool ExitRequested = false;

    /// Starts the window's timer, whose first tick (after one second) runs
    /// the start-up and shows the window.
    void scheduleStartup();
    /// The window's timer: closes the window once an exit was requested;
    /// else completes the start-up on its first tick.
    void onTimerTick();
    /// The start-up, once: captions, the configuration of the command line
    /// (or the default one), the virtual ports' reset, the sessions stored
    /// as active activated in file order.
    void initializeApplication();

    /// One more session with default settings, captioned "New - RS232 to TCP/IP".
    session::Session &createSession();
    /// Replaces every session by those of `fileName` (empty: the default
    /// file). Never activates a session and never fails: what cannot be read
    /// takes its default. A file that cannot be read is reported, except a
    /// default file that does not exist yet.
    void getprofilesettings(const QString &fileName);
    /// Saves everything to `fileName` (empty: the default file) at once, or
    /// not at all: a failure keeps the old file whole, is reported, and
    /// gives false. The port map goes along as the last file read stated it.
    /// A default file whose sessions are not the open ones is first kept as
    /// default.pvx.bak.
    bool writeprofilesettings(const QString &fileName);

    /// The File menu opens: Close is enabled only while a session is open.
    void onFileMenuOpened();
    void onFileNewClicked();
    void onFileOpenClicked();
    void onFileCloseClicked();
    void onFileSaveClicked();
    void onFileSaveAsClicked();
    void onOptionsClicked();
    void onSetPasswordClicked();
    void onFileExitClicked();
    /// Tools: the ping and resolver windows, shown modally.
    void onPingToolClicked();
    void onResolveToolClicked();
    void onHelpContentsClicked();
    /// Opens the project's home page; nothing happens without a desktop.
    void onHomePageClicked();
    /// Help About: the About window.
    void onHelpAboutClicked();
    /// Exit from the notification-area menu: File Exit behind the password.
    void onTrayExitClicked();
    /// Open from the notification-area menu (and a double click on the
    /// icon): a minimised window comes back, behind the password when one
    /// is set; any other comes to the front.
    void onTrayOpenClicked();
    /// About from the notification-area menu: Help About.
    void onTrayAboutClicked();
    /// The user acted on the notification-area icon. Only a minimised
    /// window (hidden or not) listens: a double click opens it, the context
    /// click shows the pop-up menu.
    void trayIconActivated(platform::TrayIcon::Activation activation);

    /// A command on the program's own topic: "[APPEXIT]" (any letter case,
    /// blanks around it ignored) is accepted, and the window closes at the
    /// timer's tick 500 ms later; a second one starts the wait again. Anything
    /// else is refused. True when accepted.
    bool runCommand(const QString &command);

    /// The window's size or state changed: a minimised window is noted, and
    /// restoring it asks for the password when one is set.
    void onWindowStateChanged();

    /// The close request: saves everything to the default file (once the
    /// start-up has run), then discards every session, then raises closed().
    /// Never refused; runs once.
    void close();
    bool isClosing() const { return m_closing; }

    /// The placement as last read from a file or, once a view reports it,
    /// as the window stands.
    WindowPlacement currentPlacement() const;
    /// The view reports the window's real placement through this.
    void setPlacementSource(std::function<WindowPlacement()> source) { m_placementSource = std::move(source); }
    /// The notification-area icon the start-up adds; none (the headless
    /// face) means no icon. Set before scheduleStartup; it outlives the window.
    void setTrayIcon(platform::TrayIcon *tray) { m_tray = tray; }
    /// The view closes the window its own way through this when the timer
    /// sees an exit request (a dialog may be open then); without a view the
    /// tick closes at once.
    void setCloseRoute(std::function<void()> route) { m_closeRoute = std::move(route); }
    /// The view reports the session whose window is active through this.
    void setActiveSessionSource(std::function<session::Session *()> source) { m_activeSession = std::move(source); }

signals:
    /// A file set the placement: the view moves, sizes and shows the window
    /// accordingly.
    void placementChanged(const pvx::shell::WindowPlacement &placement);
    /// The start-up is done: the view shows the window.
    void showRequested();
    /// The start-up has run (sessions loaded and auto-activated): the
    /// program now answers commands and tells the service manager it is up.
    void started();
    void visibilityRequested(bool visible);
    void windowStateRequested(int state);
    /// The window is to come to the front of the desktop.
    void foregroundRequested();
    void arrangeRequested(pvx::shell::Arrangement arrangement);
    /// The start-up has loaded `file` and is about to activate its sessions.
    void startupLoaded(const QString &file);
    /// A save wrote everything to `path`.
    void saved(const QString &path);
    /// The shutdown begins: nothing is saved or closed yet.
    void closing();
    /// The shutdown is done; the program ends.
    void closed();

private:
    /// Closes the window for another program's exit request, through the
    /// view's close route when there is one.
    void closeOnExitRequest();
    /// Runs the start-up, slows the timer to its idle pace, and shows the
    /// window (or leaves a window stored minimised where minimising puts it).
    void completeStartup();
    void registerMenus();
    void registerTrayMenu();
    /// Start-up: the icon goes into the notification area when there is one.
    void addTrayIcon();
    /// Shutdown: the icon goes when it was added.
    void removeTrayIcon();
    bool isMinimized() const;
    void report(const QString &text);
    bool isDefaultFile(const QString &path) const;
    /// Keeps `previous`, the default file about to be replaced, as its
    /// backup when that is due; false (reported) when it could not be kept.
    bool backUpDefaultFile(const QByteArray &previous);
    /// Marks a backup that later saves must not replace until the default
    /// file has been loaded again; it outlives the run.
    QString backupHoldFile() const;
    /// Says when the file at `path`, which holds the access password, can be
    /// read by group or others.
    void warnWhenOthersCanRead(const QString &path);

    Services m_services;
    Paths m_paths;
    std::unique_ptr<platform::Timer> m_windowTimer;
    WindowPlacement m_placement;
    std::function<WindowPlacement()> m_placementSource;
    std::function<session::Session *()> m_activeSession;
    platform::TrayIcon *m_tray = nullptr;
    std::function<void()> m_closeRoute;
    bool m_resizeGuard = false;
    bool m_closing = false;
    /// The last load read its file (so the file stated the port map).
    bool m_lastLoadRead = false;
    /// The open sessions were loaded from, or since saved to, the default file.
    bool m_sessionsFromDefaultFile = false;
};

} // namespace pvx::shell
