#pragma once

#include <QString>

#include <functional>

namespace pvx::core {

/// The value of an environment variable by name; an empty text when unset.
/// Passed in, so that the logic never reads the process environment itself.
using EnvironmentLookup = std::function<QString(const char *name)>;

} // namespace pvx::core
