#include "app/OrvoApp.h"
#include "app/OrvoAppLogging.h"
#include "app/OrvoCommandLine.h"
#include "app/OrvoConsole.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoSaveFileChooser.h"
#include "device/OrvoTmpSaveFileChooser.h"
#include "devices/gal/OrvoGalLibrary.h"
#include "emulator/OrvoPlatformSelection.h"
#include "emulator/OrvoPlatformSetting.h"
#include "env/OrvoFunctionTrace.h"

#include <cstdlib>
#include <exception>
#include <optional>

namespace {

const QString kRole = QStringLiteral("daemon");
// The exit code of a start refused for its arguments.
constexpr int kUsageExitCode = 2;
const QString kProgram = QStringLiteral("orvo-daemon");
const QString kDescription = QStringLiteral(
    "Serves the attached devices and the device manager's web application on the setting \"listen_port\".\n"
    "ORVO_DATA_DIR names the data folder; ORVO_PLATFORM=emulator:<folder> serves the emulated devices\n"
    "of that folder instead of this computer's.");

// Without a display the daemon, which shows nothing, takes the platform that needs none.
void chooseOffscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The start-up after the environment: platform, Python with the web application, devices.
// False when the web application cannot serve.
bool startServing(OrvoApp &app, std::optional<OrvoPlatformSelection> &platform, OrvoGalLibrary &galLibrary)
{
    platform.emplace(qEnvironmentVariable(OrvoPlatformSelection::kVariable));
    OrvoDeviceWaits::install(platform->deviceWaits());
    if (!app.startScripting())
        return false;
    OrvoClient::setCapabilitySource(&galLibrary);
    OrvoClient::setDeviceScripts(pythonBridge());
    OrvoDaemon::instance()->setModelSetup(&galLibrary);
    OrvoDaemon::instance()->registerDevices(true);
    return true;
}

int runDaemon(int &argc, char **argv)
{
    // A platform the program cannot serve is refused before anything starts on it.
    const QString platformProblem =
        OrvoPlatformSetting::problem(qEnvironmentVariable(OrvoPlatformSelection::kVariable));
    if (!platformProblem.isEmpty()) {
        OrvoConsole(kProgram).error(platformProblem);
        return EXIT_FAILURE;
    }
    chooseOffscreenWithoutDisplay();
    OrvoApp app(argc, argv, kProgram);
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
        if (app.startEnvironment(kRole) && startServing(app, platform, galLibrary))
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
    OrvoCommandLine commandLine(kProgram, kDescription);
    const QStringList arguments = OrvoCommandLine::arguments(argc, argv);
    if (commandLine.asksForAnswer(arguments)) {
        OrvoConsole::print(commandLine.answer());
        return EXIT_SUCCESS;
    }
    // A mistyped option would otherwise start the daemon as if none were given.
    const QString refusal = commandLine.refusal(arguments);
    if (!refusal.isEmpty()) {
        OrvoConsole(kProgram).error(refusal);
        return kUsageExitCode;
    }
    try {
        return runDaemon(argc, argv);
    } catch (...) {
        return EXIT_FAILURE;
    }
}
