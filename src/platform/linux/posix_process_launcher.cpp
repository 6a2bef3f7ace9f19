#include "platform/linux/posix_process_launcher.h"

#include <QProcess>
#include <QStandardPaths>

namespace pvx::platform {

namespace {

bool startQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace

Result<void> PosixProcessLauncher::startDetached(const QString &commandLine)
{
    if (!startQuietly(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine}))
        return makeError(ErrorCode::IoError, commandLine + QStringLiteral(": the shell could not be started"));
    return {};
}

Result<void> PosixProcessLauncher::startProgram(const QString &name)
{
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        return makeError(ErrorCode::NotFound, name + QStringLiteral(": not installed"));
    if (!startQuietly(path, {}))
        return makeError(ErrorCode::IoError, path + QStringLiteral(": could not be started"));
    return {};
}

} // namespace pvx::platform
