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

    core::Control Label2;
    core::Control Combo1;
    core::Control Check1;
    core::Control Frame1;
    core::Control Label1;
    core::Control Text1;
    core::Control Command1;
    core::Control Frame2;
    core::Control Check2;
    core::Control Label3;
    core::Control Combo2;
    core::Control Label4;
    core::Control Combo3;
    core::Control chkLoadWithWindows;
    core::Control Command2;
    core::Control Command3;

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
