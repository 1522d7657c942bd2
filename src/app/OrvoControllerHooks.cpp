#include "app/OrvoControllerHooks.h"

#include "app/OrvoAppLogging.h"
#include "env/OrvoFunctionTrace.h"

namespace {

OrvoControllerHooks::ExportLogHook g_exportLogHook;
OrvoControllerHooks::DisconnectDeviceHook g_disconnectDeviceHook;
OrvoControllerHooks::CurrentClientHook g_currentClientHook;

} // namespace

void OrvoControllerHooks::setExportLogHook(ExportLogHook hook)
{
    g_exportLogHook = std::move(hook);
}

void OrvoControllerHooks::setDisconnectDeviceHook(DisconnectDeviceHook hook)
{
    g_disconnectDeviceHook = std::move(hook);
}

void OrvoControllerHooks::setCurrentClientHook(CurrentClientHook hook)
{
    g_currentClientHook = std::move(hook);
}

bool OrvoControllerHooks::exportLog(const QString &dest, QString &error)
{
    if (!g_exportLogHook) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoControllerHooks::exportLog")
            << "no device controller, log not exported to" << dest;
        error = QStringLiteral("no device controller runs");
        return false;
    }
    return g_exportLogHook(dest, error);
}

void OrvoControllerHooks::disconnectDevice()
{
    if (!g_disconnectDeviceHook) {
        ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoControllerHooks::disconnectDevice") << "no device controller, no device";
        return;
    }
    g_disconnectDeviceHook();
}

OrvoClient *OrvoControllerHooks::currentClient()
{
    return g_currentClientHook ? g_currentClientHook() : nullptr;
}
