#pragma once

#include <QString>

#include <functional>

class OrvoClient;

// The device controller's part in commands that the environment wrapper, the client wrapper and
// the tray menu offer. The controller installs its hooks when it starts; until then the commands
// log that there is no controller and do nothing, and there is no current client. Used on the
// GUI thread only.
class OrvoControllerHooks
{
public:
    // Packs the logs into the zip file dest; false, with error saying why, when it is not there.
    using ExportLogHook = std::function<bool(const QString &dest, QString &error)>;
    // Releases the current device, when there is one.
    using DisconnectDeviceHook = std::function<void()>;
    // The client of the attached device; null when no device is attached.
    using CurrentClientHook = std::function<OrvoClient *()>;

    static void setExportLogHook(ExportLogHook hook);
    static void setDisconnectDeviceHook(DisconnectDeviceHook hook);
    static void setCurrentClientHook(CurrentClientHook hook);

    static bool exportLog(const QString &dest, QString &error);
    static void disconnectDevice();
    // The controller's current client; null without a controller or without a device.
    static OrvoClient *currentClient();
};
