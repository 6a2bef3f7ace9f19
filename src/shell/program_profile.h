#pragma once

#include "session/program_settings.h"
#include "shell/window_placement.h"

#include <QString>

namespace pvx::core {
class IniDocument;
}

namespace pvx::shell {

/// The program-wide section of a configuration file.
QString programSection();

/// NumSessions as stored (0 when missing).
int readNumSessions(const core::IniDocument &document);

/// Applies the stored main-window position, size and state to `placement`,
/// value by value; a value that a window cannot take (a negative size, a
/// state other than 0, 1 or 2) is skipped and the current one stays.
void readPlacement(const core::IniDocument &document, WindowPlacement &placement);

/// Every program-wide setting, with its default where the key is missing.
/// No range checks: the settings hold what the file says.
session::ProgramSettings readProgramSettings(const core::IniDocument &document);

/// Writes the program-wide section in its order: the position and size
/// (only when `placement` is not minimised, so that a minimised window keeps
/// the last ones), NumSessions, WindowState and the settings.
void writeProgramSection(core::IniDocument &document, const WindowPlacement &placement, int numSessions,
                         const session::ProgramSettings &settings);

} // namespace pvx::shell
