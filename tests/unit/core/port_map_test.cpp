#include "core/port_map.h"

#include "core/ini_document.h"

#include <QHash>

#include <gtest/gtest.h>

using pvx::core::IniDocument;
using pvx::core::readPortMap;

namespace {

pvx::core::EnvironmentLookup runtimeDir(const char *value)
{
    return [value](const char *name) {
        return qstrcmp(name, "XDG_RUNTIME_DIR") == 0 ? QString::fromLatin1(value) : QString();
    };
}

} // namespace

TEST(PortMap, ConnectorsDefaultToTheStandardSerialDevices)
{
    const pvx::core::PortMap map = readPortMap(IniDocument(), runtimeDir("/run/user/1000"), 1000);
    EXPECT_EQ(map.deviceFor(1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(map.deviceFor(17), QStringLiteral("/dev/ttyS16"));
    EXPECT_EQ(map.deviceFor(0), QString());
    EXPECT_EQ(map.deviceFor(-3), QString());
}

TEST(PortMap, PortsSectionNamesTheDevices)
{
    const IniDocument doc = IniDocument::parse("[ports]\n"
                                               "com3 = /dev/ttyUSB0\n"
                                               "COM12=\"/dev/serial/by-id/usb-x if00\"\n"
                                               "COM3=/dev/duplicate\n"
                                               "COM4=\n"
                                               "COM0=/dev/zero-connector\n"
                                               "COM05=/dev/leading-zero\n"
                                               "COM6x=/dev/junk\n"
                                               "COM=/dev/none\n"
                                               "COM99999999999=/dev/overflow\n");
    const pvx::core::PortMap map = readPortMap(doc, runtimeDir(""), 0);
    EXPECT_EQ(map.deviceFor(3), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(map.deviceFor(12), QStringLiteral("/dev/serial/by-id/usb-x if00"));
    EXPECT_EQ(map.deviceFor(4), QStringLiteral("/dev/ttyS3"));
    EXPECT_EQ(map.deviceFor(5), QStringLiteral("/dev/ttyS4"));
    EXPECT_EQ(map.deviceFor(6), QStringLiteral("/dev/ttyS5"));
    EXPECT_EQ(map.devices.size(), 2);
}

TEST(PortMap, VirtualPortFolderFromFileRuntimeDirOrTmp)
{
    const IniDocument configured = IniDocument::parse("[Porvix]\nVirtualPortDir=/var/lib/porvix/ports\n");
    EXPECT_EQ(readPortMap(configured, runtimeDir("/run/user/5"), 5).virtualPortDirectory,
              QStringLiteral("/var/lib/porvix/ports"));
    EXPECT_EQ(readPortMap(IniDocument(), runtimeDir("/run/user/5/"), 5).virtualPortDirectory,
              QStringLiteral("/run/user/5/porvix"));
    EXPECT_EQ(readPortMap(IniDocument(), runtimeDir(""), 1000).virtualPortDirectory,
              QStringLiteral("/tmp/porvix-1000"));
    EXPECT_EQ(readPortMap(IniDocument(), runtimeDir("not/absolute"), 0).virtualPortDirectory,
              QStringLiteral("/tmp/porvix-0"));
}

TEST(PortMap, ASavedFileNamesTheSamePortsAsTheLoadedOne)
{
    const struct {
        const char *loaded;
        const char *target;
        const char *targetAfter; // the target's lines after the save
    } cases[] = {
        {"[Porvix]\nVirtualPortDir=/srv/vp\n[Ports]\nCOM12=/dev/b\nCOM3=/dev/serial/by-id/usb-x if00\n", "",
         "[Ports]|COM3=/dev/serial/by-id/usb-x if00|COM12=/dev/b|[Porvix]|VirtualPortDir=/srv/vp"},
        {"[Ports]\nCOM3=/dev/new\nCOM4=\n",
         "[Porvix]\nVirtualPortDir=/old\n[Ports]\ncom3=/dev/old\nCOM5=/dev/gone\nCOM05=/dev/not-a-key\n",
         "[Porvix]|VirtualPortDir=|[Ports]|com3=/dev/new|COM5=|COM05=/dev/not-a-key"},
        {"", "[Porvix]\nNumSessions=1\n", "[Porvix]|NumSessions=1"},
    };
    for (const auto &c : cases) {
        const IniDocument loaded = IniDocument::parse(c.loaded);
        IniDocument target = IniDocument::parse(c.target);
        pvx::core::writePortMap(target, readPortMap(loaded, runtimeDir("/run/user/1000"), 1000));

        const QStringList lines = QString::fromUtf8(target.toBytes()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        EXPECT_EQ(lines.join(QLatin1Char('|')), QString::fromUtf8(c.targetAfter)) << c.loaded;

        const pvx::core::PortMap reread = readPortMap(target, runtimeDir("/run/user/1000"), 1000);
        const pvx::core::PortMap original = readPortMap(loaded, runtimeDir("/run/user/1000"), 1000);
        EXPECT_EQ(reread.devices, original.devices) << c.loaded;
        EXPECT_EQ(reread.virtualPortDirectory, original.virtualPortDirectory) << c.loaded;
    }
}
