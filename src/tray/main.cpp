#include "app/OrvoApp.h"
#include "app/OrvoAppLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <cstdlib>
#include <exception>

namespace {

int runTray(int &argc, char **argv)
{
    OrvoApp app(argc, argv, QStringLiteral("orvo-tray"));
    ORVO_TRACE_DEBUG(lcOrvoApp, "main") << "enter main";
    if (app.isRunning()) {
        if (!app.sendMessage(QLatin1String(OrvoApp::kInstanceMessage), OrvoApp::kInstanceTimeoutMs))
            ORVO_TRACE_WARNING(lcOrvoApp, "main") << "the running instance did not answer";
        return 0;
    }
    ORVO_TRACE_DEBUG(lcOrvoApp, "main") << "OrvoWinApp is created";
    const int started = app.init();
    if (started != 0)
        return started;
    const int code = app.exec();
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
        // An exception that escaped the program ends it quietly, but not as a success.
        return EXIT_FAILURE;
    }
}
