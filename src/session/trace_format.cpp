#include "session/trace_format.h"

#include <QDateTime>

namespace pvx::session {

namespace {

constexpr int kBytesPerLine = 16;

bool printable(char byte)
{
    return byte >= 0x20 && byte < 0x7f;
}

QByteArray header(const TraceRecord &record)
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<microseconds>(record.when.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(sinceEpoch / 1000);
    QByteArray line = local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1()
                      + QByteArray::number(sinceEpoch % 1000).rightJustified(3, '0') + " ["
                      + record.session.toUtf8() + "] ";
    switch (record.kind) {
    case TraceRecord::Kind::ToNetwork:
        return line + "serial->network " + QByteArray::number(record.byteCount) + " bytes to " + record.peer.toUtf8();
    case TraceRecord::Kind::ToSerial:
        return line + "network->serial " + QByteArray::number(record.byteCount) + " bytes from " + record.peer.toUtf8();
    case TraceRecord::Kind::Event:
        break;
    }
    line += "event " + record.event.toUtf8();
    if (!record.peer.isEmpty())
        line += ": " + record.peer.toUtf8();
    return line;
}

QByteArray hexLines(const QByteArray &bytes)
{
    QByteArray lines;
    for (qsizetype offset = 0; offset < bytes.size(); offset += kBytesPerLine) {
        const QByteArray row = bytes.mid(offset, kBytesPerLine);
        QByteArray line = "  " + QByteArray::number(offset, 16).rightJustified(8, '0') + ' ';
        for (int i = 0; i < kBytesPerLine; ++i) {
            // A blank between the two halves, as hexdump -C sets them apart.
            line += i == kBytesPerLine / 2 ? "  " : " ";
            line += i < row.size() ? QByteArray::number(static_cast<unsigned char>(row[i]), 16).rightJustified(2, '0')
                                   : QByteArray("  ");
        }
        line += "  |";
        for (const char byte : row)
            line += printable(byte) ? byte : '.';
        lines += line + "|\n";
    }
    return lines;
}

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        if (printable(byte) && byte != '\\')
            text += byte;
        else
            text += "\\x" + QByteArray::number(static_cast<unsigned char>(byte), 16).rightJustified(2, '0');
    }
    return text;
}

} // namespace

QByteArray formatTraceRecord(const TraceRecord &record, TraceStyle style)
{
    QByteArray text = header(record);
    if (record.bytes.isEmpty())
        return text + '\n';
    if (style == TraceStyle::Text)
        return text + ": " + escaped(record.bytes) + '\n';
    return text + '\n' + hexLines(record.bytes);
}

} // namespace pvx::session
