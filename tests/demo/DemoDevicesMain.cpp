#include "DemoDevicesFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

// Writes the demo folder of emulated devices into the folder named on the command line.
int main(int argc, char *argv[])
{
    // The Kavel50 drive's databases are written through Qt's SQLite driver, a plugin that needs
    // the application object.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvo-demo-devices"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a folder of emulated devices (a Kavel50 and a Kavel21 drive, a Kavel40 and a Kavel35 "
                       "flash device) for ORVO_PLATFORM=emulator:<folder>. Entries already there are replaced."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The folder to write (made when missing)."));
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 1) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.helpText()));
        return 2;
    }

    QString error;
    if (!DemoDevicesFolder::write(arguments.first(), error)) {
        std::fprintf(stderr, "orvo-demo-devices: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
