#include "core/numeric_text.h"

#include <cmath>
#include <limits>

namespace pvx::core {

double numericValue(const QString &text)
{
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size && (text.at(pos) == QLatin1Char(' ') || text.at(pos) == QLatin1Char('\t')))
        ++pos;
    const qsizetype start = pos;
    if (pos < size && (text.at(pos) == QLatin1Char('-') || text.at(pos) == QLatin1Char('+')))
        ++pos;
    bool digits = false;
    bool point = false;
    for (; pos < size; ++pos) {
        const QChar c = text.at(pos);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double value = text.mid(start, pos - start).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

int roundHalfEven(double value)
{
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);  // the default mode rounds halves to even
    if (rounded <= lowest)
        return std::numeric_limits<int>::min();
    if (rounded >= highest)
        return std::numeric_limits<int>::max();
    return static_cast<int>(rounded);
}

} // namespace pvx::core
