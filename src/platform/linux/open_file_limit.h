#pragma once

namespace pvx::platform {

/// Raises the process's soft limit of open descriptors to its hard limit:
/// every client connection takes two, and the soft default (often 1024) is
/// far below what a busy server needs. Failure leaves the limit as it was.
void raiseOpenFileLimit();

} // namespace pvx::platform
