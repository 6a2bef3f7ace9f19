#pragma once

#include "fakes/fake_file_store.h"
#include "fakes/fake_services.h"
#include "session/error_log.h"
#include "session/program_settings.h"

namespace pvx::testing {

/// Program settings and an error log writing into fakes the test can read.
struct FakeLogServices {
    session::ProgramSettings settings;
    fakes::FakeFileStore files;
    fakes::FakeProcessLauncher launcher;
    fakes::FakeClock clock;
    session::ErrorLog log{files, launcher, clock, settings, QStringLiteral("/home/errorlog.txt")};
};

} // namespace pvx::testing
