#pragma once

#include "core/control.h"
#include "core/modal_form.h"

namespace pvx::platform {
class Clock;
class Desktop;
class Dialogs;
class ProcessLauncher;
}
namespace pvx::resources {
class StringTable;
}

namespace pvx::about {

/// The project's home page.
inline constexpr const char *kWebAddress = "https://porvix.example.org/";

/// The first year of the copyright notice.
inline constexpr int kFirstYear = 2024;

/// System-information programs the About window offers, in the order it
/// tries them.
inline constexpr const char *kSystemInformationPrograms[] = {"hardinfo2", "hardinfo"};

/// "About Porvix" (frmAbout): title, version, description, the web address,
/// the notice, OK and "System Info...". It keeps nothing; OK, Esc and the
/// close box all just close it.
class AboutForm : public core::ModalForm {
    Q_OBJECT
public:
    struct Services {
        const resources::StringTable &strings;
        platform::Dialogs &dialogs;
        /// Opens the web page; none without a desktop.
        platform::Desktop *desktop = nullptr;
        platform::ProcessLauncher &launcher;
        /// The current year ends the copyright notice.
        const platform::Clock &clock;
    };

    /// Loads the window: texts from the string table, the title, the version
    /// of this build, the description with its years and the web address.
    explicit AboutForm(Services services);

    core::Control titleLabel;
    core::Control versionLabel;
    core::Control descriptionLabel;
    core::Control webAddressLabel;
    core::Control disclaimerLabel;
    core::Control okButton;
    core::Control systemInfoButton;

    void onOkClicked() { unload(); }
    void cancel() override { onOkClicked(); }
    /// Opens the web address; a desktop that cannot is not reported.
    void onWebAddressClicked();
    /// Starts the first system-information program installed; without one,
    /// or when it does not start, says "System Information Is Unavailable At
    /// This Time".
    void startSystemInfo();

private:
    Services m_services;
};

} // namespace pvx::about
