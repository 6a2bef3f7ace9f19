#pragma once

#include "platform/autostart.h"

namespace pvx::platform {

class FileStore;

/// The logon entry as an XDG autostart desktop entry "porvix.desktop" in the
/// folder "autostart" of the user's configuration folder.
class XdgAutostart final : public Autostart {
public:
    /// `configHome` is $XDG_CONFIG_HOME, or ~/.config when that is unset.
    XdgAutostart(FileStore &files, const QString &configHome);

    /// Writes the entry at once (a reader never sees half of it). The
    /// command line is quoted as a shell would take it; '%' and the
    /// characters a desktop entry escapes are escaped here.
    Result<void> enable(const QString &commandLine) override;
    Result<void> disable() override;
    bool isEnabled() const override;

    const QString &entryPath() const { return m_entryPath; }

private:
    FileStore &m_files;
    QString m_folder;
    QString m_entryPath;
};

} // namespace pvx::platform
