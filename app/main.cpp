#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--version"))) {
        out << "porvix " << PVX_VERSION << "\n";
        return 0;
    }
    out << "usage: porvix [--headless] [--home DIR] [FILE]\n";
    return 0;
}
