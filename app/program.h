#pragma once

#include "core/port_map.h"
#include "platform/linux/idle_memory_release.h"
#include "platform/linux/inotify_device_watch.h"
#include "platform/linux/inotify_watcher.h"
#include "platform/linux/local_command_channel.h"
#include "platform/linux/posix_file_store.h"
#include "platform/linux/posix_icmp_echo.h"
#include "platform/linux/posix_process_launcher.h"
#include "platform/linux/posix_trace_file_opener.h"
#include "platform/linux/qt_host_resolver.h"
#include "platform/linux/qt_network_info.h"
#include "platform/linux/qt_socket_factory.h"
#include "platform/linux/qt_timer.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/systemd_service.h"
#include "platform/linux/xdg_autostart.h"
#include "resources/string_table.h"
#include "session/error_log.h"
#include "session/flow_limits.h"
#include "session/link_watchdog.h"
#include "session/program_settings.h"
#include "session/pump_tick.h"
#include "shell/command_router.h"
#include "shell/main_window.h"
#include "shell/session_list.h"

namespace pvx::app {

/// The service that runs `programFile` on `home`.
platform::SystemdService serviceOn(platform::FileStore &files, const QString &home, const QString &programFile);

/// Everything both faces share, built in dependency order: the platform
/// objects, the sessions, the main window's model, the command channel and
/// the service manager's notices.
struct Program {
    /// `programFile` is the porvix users run: what the service unit and the
    /// logon entry name, and where the manual is looked for.
    Program(const QString &home, const QString &commandLineFile, const QString &programFile, platform::Dialogs &dialogs,
            platform::Desktop *desktop, shell::ShellForms forms, session::OptionDialogs optionDialogs);

    /// Its home's files are the user's own: links there only as the user made them.
    platform::PosixFileStore files;
    platform::PosixProcessLauncher launcher;
    platform::SystemClock clock;
    platform::QtNetworkInfo network;
    /// Before everything whose end it hears of.
    platform::IdleMemoryRelease memoryRelease;
    platform::QtSocketFactory sockets;
    platform::QtTimerFactory timers;
    session::PumpTick pump{timers, session::kPumpIntervalMs};
    session::TurnShare turns{timers};
    platform::InotifyWatcher watcher;
    platform::InotifyDeviceWatch deviceWatch{watcher};
    platform::PosixTraceFileOpener traceFiles;
    platform::PosixIcmpEcho echo;
    session::PingService pings{echo};
    platform::QtHostResolver resolver;
    platform::XdgAutostart autostart;
    resources::StringTable strings;
    session::ProgramSettings settings;
    core::PortMap ports;
    session::ErrorLog log;
    shell::SessionList sessions;
    shell::MainWindow window;
    shell::CommandRouter router{window, sessions};
    platform::LocalCommandChannel channel;
    platform::SystemdService service;
};

} // namespace pvx::app
