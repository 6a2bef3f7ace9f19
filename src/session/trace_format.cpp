#include "session/trace_format.h"

#include <QDateTime>

#include <algorithm>

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

// Written character by character into a buffer sized once: a busy trace
// formats megabytes a second.
QByteArray hexLines(const QByteArray &bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    // Two blanks, the offset, a blank, sixteen " xx" with one more blank in
    // the middle, two blanks, "|", the text, "|", the newline.
    constexpr qsizetype kLineLength = 2 + 8 + 1 + kBytesPerLine * 3 + 1 + 2 + 1 + kBytesPerLine + 1 + 1;
    const qsizetype lines = (bytes.size() + kBytesPerLine - 1) / kBytesPerLine;
    QByteArray text(lines * kLineLength, ' ');
    char *out = text.data();
    for (qsizetype offset = 0; offset < bytes.size(); offset += kBytesPerLine) {
        const qsizetype count = std::min<qsizetype>(kBytesPerLine, bytes.size() - offset);
        out += 2;
        for (int shift = 28; shift >= 0; shift -= 4)
            *out++ = kDigits[(offset >> shift) & 0xf];
        out += 1;
        for (int i = 0; i < kBytesPerLine; ++i) {
            // A blank between the two halves, as hexdump -C sets them apart.
            out += i == kBytesPerLine / 2 ? 2 : 1;
            if (i < count) {
                const auto byte = static_cast<unsigned char>(bytes[offset + i]);
                out[0] = kDigits[byte >> 4];
                out[1] = kDigits[byte & 0xf];
            }
            out += 2;
        }
        out += 2;
        *out++ = '|';
        for (qsizetype i = 0; i < count; ++i) {
            const char byte = bytes[offset + i];
            *out++ = printable(byte) ? byte : '.';
        }
        *out++ = '|';
        *out++ = '\n';
    }
    text.truncate(out - text.constData());
    return text;
}

QByteArray escaped(const QByteArray &bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    QByteArray text(bytes.size() * 4, Qt::Uninitialized);
    char *out = text.data();
    for (const char byte : bytes) {
        if (printable(byte) && byte != '\\') {
            *out++ = byte;
            continue;
        }
        const auto value = static_cast<unsigned char>(byte);
        *out++ = '\\';
        *out++ = 'x';
        *out++ = kDigits[value >> 4];
        *out++ = kDigits[value & 0xf];
    }
    text.truncate(out - text.constData());
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
