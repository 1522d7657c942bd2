#include "app/OrvoApp.h"
#include "app/OrvoAppLogging.h"
#include "app/OrvoCommandLine.h"
#include "app/OrvoConsole.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoDialogSaveFileChooser.h"
#include "app/OrvoMessageBoxNotice.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoSystemDeviceWaits.h"
#include "devices/gal/OrvoGalLibrary.h"
#include "env/OrvoFunctionTrace.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>
#include <exception>

namespace {

const QString kProgram = QStringLiteral("orvo-tray");
const QString kDescription = QStringLiteral(
    "The tray icon and the window of the device manager; the devices themselves are served by orvo-daemon.\n"
    "ORVO_DATA_DIR names the data folder.");

// Takes the installed waits, chooser and notice back before they go.
struct Uninstall
{
    ~Uninstall()
    {
        OrvoUserNotice::install(nullptr);
        OrvoSaveFileChooser::install(nullptr);
        OrvoDeviceWaits::install(nullptr);
    }
};

int runTray(int &argc, char **argv)
{
    OrvoApp app(argc, argv, kProgram);
    ORVO_TRACE_DEBUG(lcOrvoApp, "main") << "enter main";
    if (app.handOverToRunningInstance())
        return 0;
    ORVO_TRACE_DEBUG(lcOrvoApp, "main") << "OrvoWinApp is created";
    // Outlives the controller and the clients, which reach the GAL device library through it.
    OrvoGalLibrary galLibrary;
    OrvoSystemDeviceWaits waits;
    OrvoDeviceWaits::install(&waits);
    // Asks on the GUI thread, whichever thread wants the file.
    OrvoDialogSaveFileChooser chooser;
    OrvoSaveFileChooser::install(&chooser);
    // Failures of the menu's commands are shown, not only logged.
    OrvoMessageBoxNotice notice;
    OrvoUserNotice::install(&notice);
    const Uninstall uninstall;
    int code = EXIT_FAILURE;
    try {
        // A failed start still shuts down in order: Python may be running by then.
        code = app.init();
        if (code == 0) {
            OrvoClient::setCapabilitySource(&galLibrary);
            OrvoClient::setDeviceScripts(pythonBridge());
            // The tray program's controller serves no device: it hands log exports to the daemon.
            OrvoDaemon::instance()->setModelSetup(&galLibrary);
            code = app.exec();
        }
    } catch (...) {
        // Ends the program quietly, but not as a success, and still in order.
        ORVO_TRACE_CRITICAL(lcOrvoApp, "main") << "unexpected exception";
    }
    OrvoClient::setDeviceScripts(nullptr);
    app.shutdown();
    OrvoClient::setCapabilitySource(nullptr);
    return code;
}

// Whether Qt will find a display to open. A platform that draws nowhere (offscreen, minimal)
// needs none; without one, Qt would abort with its own message instead of saying what to do.
bool hasDisplay(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0)
            return true;
    }
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty())
        return x11 || wayland;
    if (platform.startsWith("xcb"))
        return x11;
    if (platform.startsWith("wayland"))
        return wayland;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::set_terminate(std::abort);
    OrvoCommandLine commandLine(kProgram, kDescription);
    if (commandLine.asksForAnswer(OrvoCommandLine::arguments(argc, argv))) {
        OrvoConsole::print(commandLine.answer());
        return EXIT_SUCCESS;
    }
    if (!hasDisplay(argc, argv)) {
        OrvoConsole(kProgram).error(
            QStringLiteral("needs a display (DISPLAY or WAYLAND_DISPLAY is not set); orvo-daemon serves the devices "
                           "and the page without one"));
        return EXIT_FAILURE;
    }
    try {
        return runTray(argc, argv);
    } catch (...) {
        return EXIT_FAILURE;
    }
}
