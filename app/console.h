#pragma once

#include <QString>

#include <cstdio>

namespace pvx::app {

/// The value of an environment variable; empty when it is not set.
QString environment(const char *name);
/// Writes `text` to `stream` in the locale's encoding.
void print(std::FILE *stream, const QString &text);

} // namespace pvx::app
