#include "app/OrvoApp.h"
#include "app/OrvoAppLogging.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoDialogSaveFileChooser.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoSystemDeviceWaits.h"
#include "devices/gal/OrvoGalLibrary.h"
#include "env/OrvoFunctionTrace.h"

#include <cstdlib>
#include <exception>

namespace {

// Takes the installed waits and chooser back before they go.
struct Uninstall
{
    ~Uninstall()
    {
        OrvoSaveFileChooser::install(nullptr);
        OrvoDeviceWaits::install(nullptr);
    }
};

int runTray(int &argc, char **argv)
{
    OrvoApp app(argc, argv, QStringLiteral("orvo-tray"));
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
    const Uninstall uninstall;
    int code = EXIT_FAILURE;
    try {
        const int started = app.init();
        if (started != 0)
            return started;
        OrvoClient::setCapabilitySource(&galLibrary);
        OrvoClient::setDeviceScripts(pythonBridge());
        // The tray program's controller serves no device: it hands log exports to the daemon.
        OrvoDaemon::instance()->setModelSetup(&galLibrary);
        code = app.exec();
    } catch (...) {
        // Ends the program quietly, but not as a success, and still in order.
        ORVO_TRACE_CRITICAL(lcOrvoApp, "main") << "unexpected exception";
    }
    OrvoClient::setDeviceScripts(nullptr);
    app.shutdown();
    OrvoClient::setCapabilitySource(nullptr);
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    std::set_terminate(std::abort);
    try {
        return runTray(argc, argv);
    } catch (...) {
        return EXIT_FAILURE;
    }
}
