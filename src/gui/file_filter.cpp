#include "gui/file_filter.h"

#include <QRegularExpression>

namespace pvx::gui {

namespace {

QStringList patternsOf(const QString &text)
{
    QStringList patterns;
    for (const QString &part : text.split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts))
        patterns.append(part.toCaseFolded());
    return patterns;
}

} // namespace

QStringList qtFileFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QStringList patterns = patternsOf(parts.at(i + 1));
        if (patterns.isEmpty())
            continue;
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (description.endsWith(QLatin1Char(')')) && open >= 0
            && patternsOf(description.mid(open + 1, description.size() - open - 2)) == patterns) {
            result.append(description);
            continue;
        }
        QStringList written;
        for (const QString &pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            written.append(pattern.trimmed());
        result.append(description + QStringLiteral(" (") + written.join(QLatin1Char(' ')) + QLatin1Char(')'));
    }
    return result;
}

} // namespace pvx::gui
