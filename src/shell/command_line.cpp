#include "shell/command_line.h"

namespace pvx::shell {

namespace {

const QLatin1String kHomeOption("--home");

bool isHelpSwitch(const QString &argument)
{
    const QString word = argument.toLower();
    return word == QLatin1String("-h") || word == QLatin1String("-help") || word == QLatin1String("-?");
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    QStringList rest;
    QStringList singleDash;
    bool options = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!options || !argument.startsWith(QLatin1Char('-'))) {
            rest.append(argument);
            continue;
        }
        if (!argument.startsWith(QLatin1String("--"))) {
            if (isHelpSwitch(argument)) {
                result.help = true;
            } else {
                rest.append(argument);
                singleDash.append(argument);
            }
            continue;
        }
        if (argument == QLatin1String("--")) {
            options = false;
        } else if (argument == QLatin1String("--headless")) {
            result.headless = true;
        } else if (argument == QLatin1String("--help")) {
            result.help = true;
        } else if (argument == QLatin1String("--version")) {
            result.version = true;
        } else if (argument == QLatin1String("--send")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                result.error = QStringLiteral("--send needs a topic and a command");
                return result;
            }
            result.send = true;
            result.sendTopic = arguments.at(++i);
        } else if (argument == QLatin1String("--status")) {
            result.status = true;
        } else if (argument == QLatin1String("--json")) {
            result.json = true;
        } else if (argument == QLatin1String("--monitor")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                result.error = QStringLiteral("--monitor needs a topic");
                return result;
            }
            result.monitor = true;
            result.monitorTopic = arguments.at(++i);
        } else if (argument == QLatin1String("--hex")) {
            result.hex = true;
        } else if (argument == QLatin1String("--text")) {
            result.text = true;
        } else if (argument == kHomeOption) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                result.error = QStringLiteral("--home needs a folder");
                return result;
            }
            result.home = arguments.at(++i);
        } else if (argument.startsWith(kHomeOption + QLatin1Char('='))) {
            result.home = argument.mid(kHomeOption.size() + 1);
            if (result.home.isEmpty()) {
                result.error = QStringLiteral("--home needs a folder");
                return result;
            }
        } else {
            result.error = QStringLiteral("unknown option ") + argument;
            return result;
        }
    }
    result.rest = rest.join(QLatin1Char(' '));
    // Service switches are the only single-dash words a start takes.
    if (!result.send && !singleDash.isEmpty() && !serviceSwitch(result.rest))
        result.unknownSwitch = singleDash.first();
    if (result.send && result.rest.isEmpty())
        result.error = QStringLiteral("--send needs a topic and a command");
    else if (result.send && result.status)
        result.error = QStringLiteral("--send and --status go separately");
    else if (result.json && !result.status)
        result.error = QStringLiteral("--json goes with --status");
    else if (result.status && !result.rest.isEmpty())
        result.error = QStringLiteral("--status takes no argument: ") + result.rest;
    else if (result.monitor && (result.send || result.status))
        result.error = QStringLiteral("--monitor goes without --send and --status");
    else if (result.monitor && !result.rest.isEmpty())
        result.error = QStringLiteral("--monitor takes no argument but its topic: ") + result.rest;
    else if ((result.hex || result.text) && !result.monitor)
        result.error = QStringLiteral("--hex and --text go with --monitor");
    else if (result.hex && result.text)
        result.error = QStringLiteral("--hex and --text go separately");
    return result;
}

QString usageText()
{
    return QStringLiteral(
        "usage: porvix [--headless] [--home DIR] [FILE]\n"
        "       porvix [--home DIR] --send TOPIC COMMAND...\n"
        "       porvix [--home DIR] --status [--json]\n"
        "       porvix [--home DIR] --monitor TOPIC [--hex | --text]\n"
        "       porvix [--home DIR] -I | -IH | -U [S]\n"
        "       porvix -h | --help | --version\n"
        "\n"
        "Joins serial ports to TCP/IP or UDP endpoints.\n"
        "\n"
        "  FILE          the configuration file to load at start (default: default.pvx\n"
        "                in the home; ./-name for a name that begins with -); the\n"
        "                settings are saved to default.pvx at exit\n"
        "  --headless    run without windows until SIGTERM, SIGINT or SIGHUP (the\n"
        "                default when there is no display); says what happens on\n"
        "                standard error\n"
        "  --home DIR    keep default.pvx and errorlog.txt in DIR (default:\n"
        "                $PORVIX_HOME, else $XDG_CONFIG_HOME/porvix); one instance\n"
        "                runs per home, and --send and --status reach the one there\n"
        "  --send TOPIC COMMAND...\n"
        "                send a command to the running instance: TOPIC is System\n"
        "                or a session's connector (COM1); prints the answer and\n"
        "                exits 0 on ACK, 1 on NAK, 2 when no instance answers\n"
        "  --status      print one line per session of the running instance\n"
        "  --json        with --status: print them as one JSON object\n"
        "  --monitor TOPIC\n"
        "                print the trace of the running instance's session TOPIC\n"
        "                (its connector) as it comes, until Ctrl+C or the instance\n"
        "                ends (exit 0); exit 1 when no session has that topic, 2\n"
        "                when no instance answers; the instance cuts off a monitor\n"
        "                that leaves 1 MiB unread\n"
        "  --hex, --text with --monitor: bytes as hexdump -C shows them (the\n"
        "                default), or as text with the rest as \\xNN, one line each\n"
        "  -I, -IH, -U   install the systemd service porvix.service running\n"
        "                --headless on this home (-IH: without waiting for the\n"
        "                network), or remove it; a trailing S keeps successes quiet\n"
        "  -h, --help    show this text\n"
        "  --version     show the version\n");
}

std::optional<ServiceSwitch> serviceSwitch(const QString &rest)
{
    QString text = rest.trimmed().toUpper();
    ServiceSwitch found;
    if (text.endsWith(QLatin1Char('S'))) {
        found.silent = true;
        text.chop(1);
        text = text.trimmed();
    }
    if (text == QLatin1String("-I") || text == QLatin1String("/I"))
        found.kind = ServiceSwitch::Kind::Install;
    else if (text == QLatin1String("-IH") || text == QLatin1String("/IH"))
        found.kind = ServiceSwitch::Kind::InstallHidden;
    else if (text == QLatin1String("-U") || text == QLatin1String("/U"))
        found.kind = ServiceSwitch::Kind::Uninstall;
    else
        return std::nullopt;
    return found;
}

} // namespace pvx::shell
