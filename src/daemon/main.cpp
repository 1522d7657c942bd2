#include "app/OrvoApp.h"
#include "app/OrvoAppLogging.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoSaveFileChooser.h"
#include "device/OrvoTmpSaveFileChooser.h"
#include "devices/gal/OrvoGalLibrary.h"
#include "emulator/OrvoPlatformSelection.h"
#include "env/OrvoFunctionTrace.h"

#include <cstdlib>
#include <exception>
#include <optional>

namespace {

const QString kRole = QStringLiteral("daemon");

// Without a display the daemon, which shows nothing, takes the platform that needs none.
void chooseOffscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

int runDaemon(int &argc, char **argv)
{
    chooseOffscreenWithoutDisplay();
    OrvoApp app(argc, argv, QStringLiteral("orvo-daemon"));
    ORVO_TRACE_DEBUG(lcOrvoApp, "main") << "enter main";
    if (app.handOverToRunningInstance())
        return 0;
    ORVO_TRACE_DEBUG(lcOrvoApp, "main") << "OrvoWinApp is created";
    // Outlives the controller, whose device manager reaches the devices through it.
    std::optional<OrvoPlatformSelection> platform;
    // Outlives the controller and the clients, which reach the GAL device library through it.
    OrvoGalLibrary galLibrary;
    // Without a window, a file the user would name goes to the temporary folder.
    OrvoTmpSaveFileChooser chooser;
    OrvoSaveFileChooser::install(&chooser);
    int code = EXIT_FAILURE;
    try {
        app.setQuitOnLastWindowClosed(false);
        app.startEnvironment(kRole);
        platform.emplace(qEnvironmentVariable(OrvoPlatformSelection::kVariable));
        OrvoDeviceWaits::install(platform->deviceWaits());
        app.startScripting();
        OrvoClient::setCapabilitySource(&galLibrary);
        OrvoClient::setDeviceScripts(pythonBridge());
        OrvoDaemon::instance()->setModelSetup(&galLibrary);
        OrvoDaemon::instance()->registerDevices(true);
        code = app.exec();
    } catch (...) {
        // Ends the program quietly, but not as a success, and still in order.
        ORVO_TRACE_CRITICAL(lcOrvoApp, "main") << "unexpected exception";
    }
    OrvoClient::setDeviceScripts(nullptr);
    app.shutdown();
    OrvoClient::setCapabilitySource(nullptr);
    OrvoDeviceWaits::install(nullptr);
    OrvoSaveFileChooser::install(nullptr);
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    std::set_terminate(std::abort);
    try {
        return runDaemon(argc, argv);
    } catch (...) {
        return EXIT_FAILURE;
    }
}
