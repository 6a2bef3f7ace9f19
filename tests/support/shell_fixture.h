#pragma once

#include "core/ini_document.h"
#include "core/port_map.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_device_watch.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network_info.h"
#include "fakes/fake_network_tools.h"
#include "fakes/fake_serial_port.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "fakes/fake_virtual_port.h"
#include "resources/string_table.h"
#include "shell/main_window.h"
#include "shell/options_form.h"
#include "session/flow_limits.h"
#include "shell/session_list.h"
#include "support/fake_log_services.h"
#include "tools/ping_form.h"
#include "tools/resolve_form.h"

#include <QHash>

#include <memory>
#include <optional>

namespace pvx::testing {

/// An enter-password dialog answered with `text`, or cancelled for nullopt.
inline std::function<void(shell::EnterPasswordForm &)> typing(std::optional<const char *> text)
{
    return [text](shell::EnterPasswordForm &form) {
        if (!text) {
            form.cancelButton.onClick();
            return;
        }
        form.password.setText(QString::fromUtf8(*text));
        form.okButton.onClick();
    };
}

/// The main window's model over fakes: files in memory, fake devices for
/// every session, scripted dialogs. The dialogs the model opens run the
/// test's callbacks.
struct ShellFixture : FakeLogServices {
    static constexpr const char *kDefaultFile = "/home/porvix/default.pvx";

    /// `commandLineFile`: the file the command line names, if any.
    explicit ShellFixture(resources::Language language = resources::Language::English,
                          const QString &commandLineFile = {})
        : strings(language)
    {
        window = std::make_unique<shell::MainWindow>(
            shell::MainWindow::Services{strings,
                                        dialogs,
                                        files,
                                        autostart,
                                        &desktop,
                                        mainTimers,
                                        sessions,
                                        settings,
                                        ports,
                                        [this](const char *name) { return environment.value(QLatin1String(name)); },
                                        1000,
                                        {[this](shell::SetPasswordForm &form) {
                                             if (setPassword)
                                                 setPassword(form);
                                         },
                                         [this](shell::EnterPasswordForm &form) {
                                             ++passwordPrompts;
                                             if (enterPassword)
                                                 enterPassword(form);
                                         },
                                         [this](shell::OptionsForm &form) {
                                             if (options)
                                                 options(form);
                                         },
                                         [this](about::AboutForm &form) {
                                             if (about)
                                                 about(form);
                                         },
                                         [this](tools::PingForm &form) {
                                             if (pingTool)
                                                 pingTool(form);
                                         },
                                         [this](tools::ResolveForm &form) {
                                             if (resolveTool)
                                                 resolveTool(form);
                                         }},
                                        echo,
                                        resolver,
                                        launcher,
                                        clock},
            shell::MainWindow::Paths{QLatin1String(kDefaultFile), commandLineFile, QStringLiteral("\"/opt/porvix/porvix\""),
                                     QStringLiteral("/opt/porvix/manual.html")});
    }

    /// The main window's timer (start-up and exit delays).
    fakes::FakeTimer &timer1() { return *mainTimers.created.at(0); }
    /// Runs the start-up as the first tick of the window's timer does.
    void start()
    {
        window->scheduleStartup();
        timer1().fire();
    }
    void writeFile(const QString &path, const char *text) { files.files[path] = QByteArray(text); }
    void writeDefault(const char *text) { writeFile(QLatin1String(kDefaultFile), text); }
    core::IniDocument saved(const QString &path = QLatin1String(kDefaultFile)) const
    {
        return parsed(files.files, path);
    }
    static core::IniDocument parsed(const QMap<QString, QByteArray> &files,
                                          const QString &path = QLatin1String(kDefaultFile))
    {
        return core::IniDocument::parse(files.value(path));
    }
    session::SessionWindow &sessionWindow(std::size_t index) { return sessions.at(index).window(); }
    fakes::FakeVirtualPort &virtualPort(std::size_t index)
    {
        return *virtualPorts.at(index);
    }

    resources::StringTable strings;
    fakes::FakeDialogs dialogs;
    fakes::FakeNetworkInfo network;
    session::OptionDialogs optionDialogs;
    fakes::FakeSocketFactory sockets;
    fakes::FakeTimerFactory timers;
    fakes::FakeTimerFactory mainTimers;
    session::PumpTick pump{timers, session::kPumpIntervalMs};
    session::TurnShare turns{timers};
    core::PortMap ports;
    fakes::FakeDeviceWatch deviceWatch;
    fakes::FakeAutostart autostart;
    fakes::FakeDesktop desktop;
    fakes::FakeHostResolver resolver;
    QHash<QString, QString> environment{{QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/1000")}};
    std::function<void(shell::SetPasswordForm &)> setPassword;
    std::function<void(shell::EnterPasswordForm &)> enterPassword;
    std::function<void(shell::OptionsForm &)> options;
    std::function<void(tools::PingForm &)> pingTool;
    std::function<void(tools::ResolveForm &)> resolveTool;
    std::function<void(about::AboutForm &)> about;
    int passwordPrompts = 0;
    /// The virtual port of each session made, in order.
    std::vector<fakes::FakeVirtualPort *> virtualPorts;
    shell::SessionList sessions{
        session::SessionServices{{strings, dialogs, network, optionDialogs},
                                 sockets, timers, ports, settings, log, pings, pump, turns, deviceWatch, traceFiles},
        [this] {
            auto virtualPort = std::make_unique<fakes::FakeVirtualPort>();
            virtualPorts.push_back(virtualPort.get());
            return session::SessionDevices{std::make_unique<fakes::FakeSerialPort>(), std::move(virtualPort)};
        }};
    std::unique_ptr<shell::MainWindow> window;
};

} // namespace pvx::testing
