// The configuration files: loading, saving and the File menu built on them.
#include "shell/main_window.h"

#include "core/ini_document.h"
#include "core/port_map.h"
#include "platform/dialogs.h"
#include "platform/file_store.h"
#include "session/session.h"
#include "shell/program_profile.h"
#include "shell/session_list.h"
#include "shell/session_profile.h"
#include "shell/startup_entry.h"

#include <QDir>
#include <QFileInfo>

namespace pvx::shell {

namespace {

platform::FileDialogOptions configurationDialog()
{
    platform::FileDialogOptions options;
    options.filter = QStringLiteral("Porvix Files (*.PVX)|*.pvx|All Files (*.*)|*.*");
    options.defaultExtension = QStringLiteral("pvx");
    return options;
}

} // namespace

void MainWindow::getprofilesettings(const QString &fileName)
{
    const QString path = fileName.isEmpty() ? m_paths.defaultFile : fileName;
    SessionList &sessions = m_services.sessions;
    sessions.closeAll();

    // A file that is missing or cannot be read reads as every default. Only a
    // missing default file goes unmentioned: that is a first start.
    const auto bytes = m_services.files.readAll(path);
    const bool defaultFile = isDefaultFile(path);
    if (!bytes && !(defaultFile && bytes.error().code == platform::ErrorCode::NotFound))
        report(QStringLiteral("The configuration file was not loaded: ") + bytes.error().detail);
    m_lastLoadRead = bytes.ok();
    m_sessionsFromDefaultFile = defaultFile && bytes.ok();
    // The default file loaded: a backup taken before it may now give way.
    if (m_sessionsFromDefaultFile)
        (void)m_services.files.remove(backupHoldFile());
    const core::IniDocument document = bytes ? core::IniDocument::parse(*bytes) : core::IniDocument();
    m_services.ports = core::readPortMap(document, m_services.environment, m_services.uid);

    int count = readNumSessions(document);
    // A value the window cannot take leaves the window as it stands now.
    WindowPlacement placement = currentPlacement();
    readPlacement(document, placement);
    m_placement = placement;
    emit placementChanged(m_placement);
    m_services.settings = readProgramSettings(document);
    if (bytes && !m_services.settings.Password.isEmpty())
        warnWhenOthersCanRead(path);

    if (count <= 0) {
        createSession();
        return;
    }
    if (count > kMaxSessions) {
        report(path + QStringLiteral(" asks for ") + QString::number(count) + QStringLiteral(" sessions; only the first ")
               + QString::number(kMaxSessions) + QStringLiteral(" are loaded."));
        count = kMaxSessions;
    }
    AutoActivateFlags.assign(static_cast<std::size_t>(count) + 2, 0);
    for (int n = 1; n <= count; ++n) {
        session::Session &session = createSession();
        if (readSessionSection(document, n, session.window()) == 1)
            AutoActivateFlags[static_cast<std::size_t>(n)] = 1;
    }
}

bool MainWindow::writeprofilesettings(const QString &fileName)
{
    const QString path = fileName.isEmpty() ? m_paths.defaultFile : fileName;
    // The new text starts from the file as it stands, so that everything the
    // program does not write (the port map, older sessions, comments) stays.
    core::IniDocument document;
    const auto existing = m_services.files.readAll(path);
    if (existing) {
        document = core::IniDocument::parse(*existing);
    } else if (existing.error().code != platform::ErrorCode::NotFound) {
        report(QStringLiteral("The settings were not saved: ") + existing.error().detail);
        return false;
    }
    if (existing && isDefaultFile(path) && !backUpDefaultFile(*existing))
        return false;

    SessionList &sessions = m_services.sessions;
    writeProgramSection(document, currentPlacement(), static_cast<int>(sessions.size()), m_services.settings);
    // A load that read nothing stated no ports: the file keeps its own.
    if (m_lastLoadRead)
        core::writePortMap(document, m_services.ports);
    setStartupEntry(m_services.autostart, m_services.settings.LoadWithWindows == 1, m_paths.startupCommand);
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const session::Session &session = sessions.at(i);
        writeSessionSection(document, static_cast<int>(i) + 1, session.window(), session.isActive());
    }

    const auto written = m_services.files.writeAtomically(path, document.toBytes());
    if (!written) {
        report(QStringLiteral("The settings were not saved: ") + written.error().detail);
        return false;
    }
    if (isDefaultFile(path))
        m_sessionsFromDefaultFile = true;
    emit saved(path);
    return true;
}

bool MainWindow::isDefaultFile(const QString &path) const
{
    return QDir::cleanPath(path) == QDir::cleanPath(m_paths.defaultFile);
}

bool MainWindow::backUpDefaultFile(const QByteArray &previous)
{
    if (m_sessionsFromDefaultFile)
        return true;
    // A backup is held until the default file has been loaded again, so that
    // runs that keep failing to load cannot overwrite it with their own saves.
    const QString backup = m_paths.defaultFile + QStringLiteral(".bak");
    const auto exists = [this](const QString &path) {
        const auto read = m_services.files.readAll(path);
        return read || read.error().code != platform::ErrorCode::NotFound;
    };
    if (exists(backup) && exists(backupHoldFile()))
        return true;
    auto kept = m_services.files.writeAtomically(backup, previous);
    if (kept)
        kept = m_services.files.createEmpty(backupHoldFile());
    if (!kept) {
        report(QStringLiteral("The settings were not saved: the previous file could not be kept: ")
               + kept.error().detail);
        return false;
    }
    return true;
}

void MainWindow::warnWhenOthersCanRead(const QString &path)
{
    const auto mode = m_services.files.permissions(path);
    constexpr int kReadableByOthers = 0044;
    if (!mode || (*mode & kReadableByOthers) == 0)
        return;
    // Every save writes the file readable by the user alone.
    m_services.dialogs.notice(QStringLiteral("readable-password"),
                              path + QStringLiteral(" holds the access password and other users can read it (mode ")
                                  + QStringLiteral("%1").arg(*mode, 4, 8, QLatin1Char('0'))
                                  + QStringLiteral("); Porvix saves it readable by you alone."),
                              {});
}

QString MainWindow::backupHoldFile() const
{
    const QFileInfo defaultFile(m_paths.defaultFile);
    return defaultFile.absolutePath() + QStringLiteral("/.") + defaultFile.fileName() + QStringLiteral(".bak.held");
}

void MainWindow::onFileMenuOpened()
{
    fileCloseItem.setEnabled(false);
    if (m_services.sessions.size() > 0)
        fileCloseItem.setEnabled(true);
}

void MainWindow::onFileNewClicked()
{
    createSession();
}

void MainWindow::onFileOpenClicked()
{
    const QString chosen = m_services.dialogs.openFileName(configurationDialog());
    if (chosen.isEmpty())
        return;
    CurrentFileName = chosen;
    getprofilesettings(CurrentFileName);
}

void MainWindow::onFileCloseClicked()
{
    if (session::Session *active = m_activeSession ? m_activeSession() : nullptr)
        m_services.sessions.close(*active);
}

void MainWindow::onFileSaveClicked()
{
    if (CurrentFileName.isEmpty()) {
        onFileSaveAsClicked();
        return;
    }
    (void)writeprofilesettings(CurrentFileName);
}

void MainWindow::onFileSaveAsClicked()
{
    const QString chosen = m_services.dialogs.saveFileName(configurationDialog());
    if (chosen.isEmpty())
        return;
    CurrentFileName = chosen;
    (void)writeprofilesettings(CurrentFileName);
}

} // namespace pvx::shell
