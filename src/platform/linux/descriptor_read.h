#pragma once

#include <QtGlobal>

namespace pvx::platform {

/// Reads from the non-blocking `descriptor` into `buffer` until `size` bytes
/// are in, it has no more for now, it ends or it fails; returns how many
/// bytes came.
qsizetype readUpTo(int descriptor, char *buffer, qsizetype size);

} // namespace pvx::platform
