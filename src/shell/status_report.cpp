#include "shell/status_report.h"

#include "core/endpoint_text.h"
#include "shell/session_list.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pvx::shell {

namespace {

QString roleName(const session::SessionStatus &status)
{
    if (status.udp)
        return QStringLiteral("udp");
    return status.role == session::Role::Server ? QStringLiteral("server") : QStringLiteral("client");
}

/// Where the session listens or what it reaches. A server without a local
/// address listens on every address of both families.
QString addressOf(const session::SessionStatus &status)
{
    if (status.role == session::Role::Server && status.address.trimmed().isEmpty())
        return QStringLiteral("::");
    return status.address;
}

/// A name or a failure's description may hold tabs or line breaks; a reply
/// line may not.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

std::vector<session::SessionStatus> sessionStatuses(const SessionList &sessions)
{
    std::vector<session::SessionStatus> statuses;
    statuses.reserve(sessions.size());
    for (const auto &session : sessions.sessions())
        statuses.push_back(session->status());
    return statuses;
}

QStringList statusLines(const std::vector<session::SessionStatus> &statuses)
{
    // Joined piece by piece: a name may hold anything, "%1" included.
    const auto moved = [](qint64 bytes, qint64 held) {
        return QString::number(bytes) + QStringLiteral(" bytes, ") + QString::number(held) + QStringLiteral(" held");
    };
    QStringList lines;
    for (const session::SessionStatus &status : statuses) {
        const QStringList parts{
            status.name,
            roleName(status) + QLatin1Char(' ') + core::endpointText(addressOf(status), status.port),
            status.serial,
            status.network,
            QString::number(status.clients) + (status.clients == 1 ? QStringLiteral(" client") : QStringLiteral(" clients")),
            QStringLiteral("to network ") + moved(status.moved.toNetwork, status.heldToNetwork),
            QStringLiteral("to serial ") + moved(status.moved.toSerial, status.heldToSerial),
        };
        QString line = parts.join(QStringLiteral(" | "));
        if (status.modem)
            line += QStringLiteral(" | modem ") + *status.modem;
        // Only where a list or TLS turns peers away.
        if (status.refused != 0)
            line += QStringLiteral(" | refused ") + QString::number(status.refused);
        lines.append(oneLine(line));
    }
    return lines;
}

QString statusJson(const std::vector<session::SessionStatus> &statuses)
{
    QJsonArray sessions;
    for (const session::SessionStatus &status : statuses) {
        QJsonObject session{
            {QStringLiteral("name"), status.name},
            {QStringLiteral("connector"), status.connector},
            {QStringLiteral("role"), roleName(status)},
            {QStringLiteral("address"), addressOf(status)},
            {QStringLiteral("port"), status.port},
            {QStringLiteral("serial"), status.serial},
            {QStringLiteral("network"), status.network},
            {QStringLiteral("clients"), status.clients},
            {QStringLiteral("bytesToNetwork"), status.moved.toNetwork},
            {QStringLiteral("bytesToSerial"), status.moved.toSerial},
            {QStringLiteral("heldToNetwork"), status.heldToNetwork},
            {QStringLiteral("heldToSerial"), status.heldToSerial},
        };
        if (status.modem)
            session.insert(QStringLiteral("modem"), *status.modem);
        if (status.refused != 0)
            session.insert(QStringLiteral("refused"), status.refused);
        sessions.append(session);
    }
    const QJsonObject report{{QStringLiteral("sessions"), sessions}};
    return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact));
}

} // namespace pvx::shell
