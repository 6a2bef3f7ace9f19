#include "session/trace_file_watch.h"

#include "session/trace_format.h"

namespace pvx::session {

namespace {

// A settings file keeps no longer text.
constexpr qsizetype kMaxStoredText = 199;

} // namespace

TraceFileWatch::TraceFileWatch(TraceHub &hub, platform::TraceFileOpener &opener) : m_hub(hub), m_opener(opener) {}

platform::Result<void> TraceFileWatch::start(const QString &path, bool withBytes, const QString &sessionName,
                                             std::function<void(const QString &message)> warning)
{
    const auto gapLine = [sessionName](qint64 bytes, qint64 records) {
        TraceRecord gap;
        gap.when = std::chrono::system_clock::now();
        gap.session = sessionName;
        gap.event = QString::number(bytes) + QStringLiteral(" bytes not traced (records: ") + QString::number(records)
                    + QLatin1Char(')');
        return formatTraceRecord(gap, TraceStyle::Hex);
    };
    auto opened = m_opener.open(path, {.gapLine = gapLine, .warning = std::move(warning)});
    if (!opened)
        return opened.error();
    stop();
    m_file = std::move(*opened);
    platform::TraceFile *file = m_file.get();
    m_watchId = m_hub.watch(
        [file](const TraceRecord &record) {
            // Made on the writer's thread: the copy shares the record's texts and bytes.
            file->offer([record] { return formatTraceRecord(record, TraceStyle::Hex); }, record.bytes.size());
        },
        withBytes);
    return {};
}

void TraceFileWatch::stop()
{
    if (!m_file)
        return;
    m_hub.unwatch(m_watchId);
    m_file.reset();
}

std::optional<QString> commandedTraceFile(QString argument, const QString &current, const QString &connector)
{
    if (argument.endsWith(QLatin1Char(']')))
        argument.chop(1);
    argument = argument.trimmed();
    if (argument.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0)
        return QString();
    if (argument.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0)
        return current.isEmpty() ? QStringLiteral("trace-") + connector + QStringLiteral(".txt") : current;
    if (argument.isEmpty() || argument.size() > kMaxStoredText || argument.contains(QLatin1Char('\n'))
        || argument.contains(QLatin1Char('\r')))
        return std::nullopt;
    return argument;
}

} // namespace pvx::session
