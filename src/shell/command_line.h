#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pvx::shell {

/// What the program was asked to do on its command line.
struct CommandLine {
    bool headless = false;
    bool help = false;
    bool version = false;
    /// --send TOPIC: the command is `rest`.
    bool send = false;
    QString sendTopic;
    bool status = false;
    /// --json, only with --status.
    bool json = false;
    /// --monitor TOPIC: prints that session's trace as it comes.
    bool monitor = false;
    QString monitorTopic;
    /// --hex or --text, only with --monitor (hex when neither is given).
    bool hex = false;
    bool text = false;
    /// The value of --home; empty when not given.
    QString home;
    /// Every argument that is not an option, joined by single spaces: the
    /// configuration file to load, a service switch, or the command --send
    /// sends.
    QString rest;
    /// Why the arguments cannot be used; empty when they can.
    QString error;
    /// The first word beginning with a single "-" that is neither -h, -help,
    /// -? nor part of a service switch: an unknown option, unless the GUI
    /// toolkit takes it as its own (-style, -platform ...). Empty when none;
    /// words after "--" and the words of --send's command never count.
    QString unknownSwitch;
};

/// Reads the arguments (without the program name). Options begin with "--":
/// --headless, --home DIR (or --home=DIR), --help, --version, --send TOPIC,
/// --status, --json, --monitor TOPIC, --hex, --text; "--" ends the options.
/// -h, -help and -? (in any letter case) are --help. --send needs a topic and
/// at least one command word; --status and --monitor take no other argument,
/// and --monitor one of --hex and --text at most. An unknown option is an error rather
/// than a file name, so that a mistyped option never loads (and at exit
/// overwrites) the wrong settings; a file whose name begins with "-" is
/// given as ./-name.
CommandLine parseCommandLine(const QStringList &arguments);

/// The usage text printed by --help and after an error.
QString usageText();

/// A service installation switch: "-I", "/I" (install), "-IH", "/IH"
/// (install hidden), "-U", "/U" (uninstall), each optionally followed by
/// "S" (silent), in any letter case and with blanks around it.
struct ServiceSwitch {
    enum class Kind {
        Install,
        InstallHidden,
        Uninstall,
    };
    Kind kind = Kind::Install;
    bool silent = false;
};

/// The service switch that `rest` holds, or nothing when it is something
/// else (a configuration file name).
std::optional<ServiceSwitch> serviceSwitch(const QString &rest);

} // namespace pvx::shell
