#pragma once

#include <QString>

namespace pvx::testing {

/// A QString from UTF-8 source text.
inline QString s(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace pvx::testing
