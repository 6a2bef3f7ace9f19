// Every test process runs in a fresh temporary folder that stands in for the
// user's home, the XDG folders, the Porvix home and the service unit folder,
// so that no test touches a real home, autostart folder or unit folder.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/pvx-test-XXXXXX"));
    if (!root.isValid())
        return 2;
    const auto make = [&](const char *variable, const char *folder) {
        const QString path = root.path() + QLatin1Char('/') + QLatin1String(folder);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ::setenv(variable, QFile::encodeName(path).constData(), 1);
    };
    make("HOME", "home");
    make("XDG_CONFIG_HOME", "home/.config");
    make("XDG_RUNTIME_DIR", "runtime");
    make("PORVIX_HOME", "porvix-home");
    // Run as root, a service install would otherwise write to the machine's own unit folder.
    make("PORVIX_UNIT_DIR", "units");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "C.UTF-8", 1);

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
