#include "platform/linux/posix_process_launcher.h"

#include <QProcess>

namespace pvx::platform {

Result<void> PosixProcessLauncher::startDetached(const QString &commandLine)
{
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), commandLine});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        return makeError(ErrorCode::IoError, commandLine + QStringLiteral(": the shell could not be started"));
    return {};
}

} // namespace pvx::platform
