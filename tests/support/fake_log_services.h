#pragma once

#include "fakes/fake_file_store.h"
#include "fakes/fake_network_tools.h"
#include "fakes/fake_services.h"
#include "fakes/fake_trace_file.h"
#include "session/error_log.h"
#include "session/link_watchdog.h"
#include "session/program_settings.h"

namespace pvx::testing {

/// Program settings, an error log writing into fakes the test can read, and
/// the echo the sessions ping with, answered by the test, and trace files in
/// memory.
struct FakeLogServices {
    session::ProgramSettings settings;
    fakes::FakeFileStore files;
    fakes::FakeProcessLauncher launcher;
    fakes::FakeClock clock;
    session::ErrorLog log{files, launcher, clock, settings, QStringLiteral("/home/errorlog.txt")};
    fakes::FakeIcmpEcho echo;
    session::PingService pings{echo};
    fakes::FakeTraceFileOpener traceFiles;
};

} // namespace pvx::testing
