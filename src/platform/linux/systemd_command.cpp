#include "platform/linux/systemd_command.h"

#include <QProcess>

namespace pvx::platform {

Result<void> runSystemctl(const QStringList &arguments, std::chrono::milliseconds timeout)
{
    const QString what = QStringLiteral("systemctl ") + arguments.join(QLatin1Char(' '));
    const int waitMs = static_cast<int>(timeout.count());
    QProcess process;
    process.setProgram(QStringLiteral("systemctl"));
    process.setArguments(arguments);
    // Nobody answers a password prompt here.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted(waitMs))
        return makeError(ErrorCode::NotFound, what + QStringLiteral(": ") + process.errorString());
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(waitMs);
        return makeError(ErrorCode::TimedOut,
                         what + QStringLiteral(": no answer within %1 s").arg(timeout.count() / 1000));
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
    return makeError(ErrorCode::IoError,
                     what + QStringLiteral(": ")
                         + (said.isEmpty() ? QStringLiteral("failed with status %1").arg(process.exitCode()) : said));
}

} // namespace pvx::platform
