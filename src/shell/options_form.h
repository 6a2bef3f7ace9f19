#pragma once

#include "core/control.h"
#include "core/modal_form.h"
#include "session/program_settings.h"

#include <QStringList>

namespace pvx::platform {
class Dialogs;
}
namespace pvx::resources {
class StringTable;
}

namespace pvx::shell {

/// "Porvix Options" (frmOptions): the program-wide settings. OK gives back
/// the settings as edited (the password as it was); the caller puts them in
/// place for every session, and they reach the file at the next save.
class OptionsForm : public core::ValueForm<session::ProgramSettings> {
    Q_OBJECT
public:
    /// Loads the window: texts from `strings`, the lists, and the current
    /// settings. A stored flag other than 0 shows as ticked; a stored list
    /// position outside its list shows the default entry.
    OptionsForm(const resources::StringTable &strings, platform::Dialogs &dialogs,
                const session::ProgramSettings &settings);

    core::Control packetSizeLabel;
    core::Control packetSize;
    core::Control logErrorsBox;
    core::Control errorProgramFrame;
    core::Control errorProgramLabel;
    core::Control errorProgram;
    core::Control browseButton;
    core::Control pingFrame;
    core::Control pingEnabledBox;
    core::Control pingFrequencyLabel;
    core::Control pingFrequency;
    core::Control pingTimeoutLabel;
    core::Control pingTimeout;
    core::Control startWithLoginBox;
    core::Control okButton;
    core::Control cancelButton;

    /// Browse: picks the error program; Cancel leaves the command line.
    void onBrowseClicked();
    /// OK: gives back every field and closes the dialog.
    void onOkClicked();
    /// Cancel: closes the dialog; nothing comes back.
    void onCancelClicked();
    void cancel() override { onCancelClicked(); }

private:
    platform::Dialogs &m_dialogs;
    session::ProgramSettings m_settings;
};

/// The packet size a typed text stands for: its leading number (blanks
/// anywhere in it are skipped), rounded with halves to even; anything
/// outside 1..10000 gives 2000.
int packetSizeFromText(const QString &text);

/// The choices of the packet-size, ping-frequency and ping-time-out lists.
QStringList packetSizeList();
QStringList pingFrequencyList();
QStringList pingTimeoutList();

} // namespace pvx::shell
