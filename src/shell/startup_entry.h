#pragma once

#include <QString>

namespace pvx::platform {
class Autostart;
}

namespace pvx::shell {

/// `text` in double quotes, with '"', '`', '$' and '\' escaped by a
/// backslash: one argument, both to a POSIX shell and in a desktop entry.
QString quotedArgument(const QString &text);

/// The command that starts the program at logon: the quoted program path,
/// followed by --home and the quoted home when `home` is not `defaultHome`
/// (the logon session may not know the variable that chose it).
QString startupCommandLine(const QString &programPath, const QString &home, const QString &defaultHome);

/// Writes the logon entry for `commandLine` when `add`, else removes it.
/// Failures are ignored: the entry is written again at the next save.
void setStartupEntry(platform::Autostart &autostart, bool add, const QString &commandLine);

} // namespace pvx::shell
