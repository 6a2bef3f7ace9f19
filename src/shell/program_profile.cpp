#include "shell/program_profile.h"

#include "core/ini_document.h"

namespace pvx::shell {

namespace {

QString key(const char *name)
{
    return QLatin1String(name);
}

int readInt(const core::IniDocument &document, const char *name, int defaultValue)
{
    return document.readInt(programSection(), key(name), defaultValue);
}

void writeInt(core::IniDocument &document, const char *name, int value)
{
    document.writeString(programSection(), key(name), QString::number(value));
}

} // namespace

QString programSection()
{
    return QStringLiteral("Porvix");
}

int readNumSessions(const core::IniDocument &document)
{
    return readInt(document, "NumSessions", 0);
}

void readPlacement(const core::IniDocument &document, WindowPlacement &placement)
{
    const WindowPlacement defaults;
    placement.left = readInt(document, "MainLeft", defaults.left);
    placement.top = readInt(document, "MainTop", defaults.top);
    if (const int width = readInt(document, "MainWidth", defaults.width); width >= 0)
        placement.width = width;
    if (const int height = readInt(document, "MainHeight", defaults.height); height >= 0)
        placement.height = height;
    if (const int state = readInt(document, "WindowState", defaults.state); state >= kStateNormal && state <= kStateMaximized)
        placement.state = state;
}

session::ProgramSettings readProgramSettings(const core::IniDocument &document)
{
    const session::ProgramSettings defaults;
    session::ProgramSettings settings;
    settings.OnErrorRunApp = document.readString(programSection(), key("OnErrorRunApp"), defaults.OnErrorRunApp);
    settings.Password = document.readString(programSection(), key("Password"), defaults.Password);
    settings.LogErrors = readInt(document, "LogErrors", defaults.LogErrors);
    settings.PingEnabled = readInt(document, "PingEnabled", defaults.PingEnabled);
    settings.PingFrequency = readInt(document, "PingFrequency", defaults.PingFrequency);
    settings.PingTimeout = readInt(document, "PingTimeout", defaults.PingTimeout);
    settings.PacketSize = readInt(document, "PacketSize", defaults.PacketSize);
    settings.LoadWithWindows = readInt(document, "LoadWithWindows", defaults.LoadWithWindows);
    return settings;
}

void writeProgramSection(core::IniDocument &document, const WindowPlacement &placement, int numSessions,
                         const session::ProgramSettings &settings)
{
    if (placement.state != kStateMinimized) {
        writeInt(document, "MainLeft", placement.left);
        writeInt(document, "MainTop", placement.top);
        writeInt(document, "MainWidth", placement.width);
        writeInt(document, "MainHeight", placement.height);
    }
    writeInt(document, "NumSessions", numSessions);
    writeInt(document, "WindowState", placement.state);
    document.writeString(programSection(), key("OnErrorRunApp"), settings.OnErrorRunApp);
    writeInt(document, "LogErrors", settings.LogErrors);
    writeInt(document, "LoadWithWindows", settings.LoadWithWindows);
    writeInt(document, "PingEnabled", settings.PingEnabled);
    writeInt(document, "PingFrequency", settings.PingFrequency);
    writeInt(document, "PingTimeout", settings.PingTimeout);
    writeInt(document, "PacketSize", settings.PacketSize);
    document.writeString(programSection(), key("Password"), settings.Password);
}

} // namespace pvx::shell
