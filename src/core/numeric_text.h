#pragma once

#include <QString>

namespace pvx::core {

/// The leading decimal number of a text: blanks before it are skipped, a
/// sign and one decimal point are allowed, and a text that does not start
/// with a number gives 0 ("250ms" gives 250, "abc" and "" give 0).
double numericValue(const QString &text);

/// Rounds to the nearest whole number, halves to the even neighbour, and
/// clamps to the range of int.
int roundHalfEven(double value);

} // namespace pvx::core
