// The entry point of porvix-headless: porvix hands it every run without
// windows, as "porvix-headless PROGRAM ARGUMENTS...", where PROGRAM is the
// porvix users run. Built without the widgets, it maps no GUI libraries.
#include "console.h"
#include "start.h"

#include "platform/linux/open_file_limit.h"

#include <QString>

int main(int argc, char **argv)
{
    using namespace pvx;
    // porvix passes its own absolute path first; anything else is a person
    // at a shell, whose "--help" must not start an instance on the real home.
    if (argc < 2 || argv[1][0] != '/') {
        app::print(stderr, QStringLiteral("porvix-headless: started by porvix, not by hand\n"));
        return 2;
    }
    const QString programFile = QString::fromLocal8Bit(argv[1]);
    // From here on the arguments are the ones porvix was given.
    for (int i = 1; i < argc; ++i)
        argv[i] = argv[i + 1];
    --argc;

    platform::raiseOpenFileLimit();
    const shell::CommandLine line = shell::parseCommandLine(app::argumentsOf(argc, argv));
    if (const auto answered = app::answerWithoutStart(line))
        return *answered;
    return app::startHeadless(argc, argv, line, programFile);
}
