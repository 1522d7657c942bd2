#pragma once

#include <QString>

#include <functional>

// The device controller's part in commands that the environment wrapper and the tray menu offer.
// The controller installs its hooks when it starts; until then the commands log that there is
// no controller and do nothing. Used on the GUI thread only.
class OrvoControllerHooks
{
public:
    // Packs the logs into the zip file dest.
    using ExportLogHook = std::function<void(const QString &dest)>;
    // Releases the current device, when there is one.
    using DisconnectDeviceHook = std::function<void()>;

    static void setExportLogHook(ExportLogHook hook);
    static void setDisconnectDeviceHook(DisconnectDeviceHook hook);

    static void exportLog(const QString &dest);
    static void disconnectDevice();
};
