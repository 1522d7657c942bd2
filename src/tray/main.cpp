#include "app/OrvoApp.h"
#include "app/OrvoAppLogging.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoDialogSaveFileChooser.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoSystemDeviceWaits.h"
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
        // The tray program's controller serves no device: it hands log exports to the daemon.
        OrvoDaemon::instance();
        code = app.exec();
    } catch (...) {
        // Ends the program quietly, but not as a success, and still in order.
        ORVO_TRACE_CRITICAL(lcOrvoApp, "main") << "unexpected exception";
    }
    app.shutdown();
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
